// text.h - small helpers every layer of the simulator formats with.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace devsim {

// Joins text piece by piece ("literal" + string trips GCC 12's -Wrestrict).
inline std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) out += p;
    return out;
}

// "0x" and lower-case hex digits, as the log shows numbers (without
// printf: a log of thousands of entries shows tens of thousands).
inline std::string hex(uint64_t v) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, 16).ptr;
    std::string out = "0x";
    out.append(buf, end);
    return out;
}

// The low 32 bits: IDs are 32 bits wide wherever they are kept wider.
inline uint32_t u32(uint64_t v) { return static_cast<uint32_t>(v); }

} // namespace devsim
