// values.h - the one grammar of the values a user types, for set, import and
// the numeric options alike: whole numbers in decimal or 0x hex (a leading
// zero is still decimal), raw bytes as "hex:" and pairs of hex digits, and
// text that is valid UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace entmlst {

// Raw bytes are given as this prefix and two hex digits a byte.
inline constexpr std::string_view kHexPrefix = "hex:";

// A whole number min..max; throws UsageError naming `what` and that range.
// An empty text is refused like any other.
uint64_t parseUnsigned(const std::string &what, std::string_view text, uint64_t max, uint64_t min = 0);
// The same for 0..4294967295.
uint32_t parseNumber(const std::string &what, std::string_view text);

// The bytes of exactly pairs of hex digits (no sign, no blanks); nullopt
// for anything else.
std::optional<std::vector<uint8_t>> hexDigits(std::string_view digits);

bool isUtf8(std::string_view s);

// A moment given as a time or as how long ago, in microseconds since the
// epoch: "90s", "10m", "2h", "1d" ago, with a fraction too ("0.5s"); a date "YYYY-MM-DD"; a date and time
// "YYYY-MM-DD[T| ]HH:MM[:SS[.fraction]]", local unless it ends in "Z"; or
// "HH:MM[:SS[.fraction]]" today. Only real dates and times: anything else
// throws UsageError naming `what`.
int64_t parseMoment(const std::string &what, const std::string &text, int64_t now_us);
// A length of time in seconds, "5" or "0.25", as microseconds; throws
// UsageError naming `what` for anything else.
int64_t parseSeconds(const std::string &what, const std::string &text);

// A job link kind: one of linkKindNames(), else a number; throws UsageError.
int32_t parseLinkKind(std::string_view text);
// The kind's name, else its number.
std::string linkKindText(int32_t kind);
// Every name, in the list's order.
std::vector<std::string> linkKindNames();
// The help of a KIND argument, the same wherever one is taken.
std::string linkKindHelp();

// Splits FIELD=VALUE; throws UsageError without '='.
std::pair<std::string, std::string> splitAssignment(const std::string &arg);

} // namespace entmlst
