// call_trace.cpp - a program's service calls as stable text, and the
// comparison of two such texts.
#include "device/call_trace.h"

#include "document/record_fields.h"
#include "document/setting_groups.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>

namespace entmlst {
namespace {

using devsim::LogEntry;
using devsim::LogKind;
using devsim::Service;

std::string hexNumber(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

// The field that shows a settings ID's value (the first, where groups share it).
const Field *settingField(uint32_t id) {
    static const std::map<uint32_t, Field> fields = [] {
        std::map<uint32_t, Field> out;
        for (const Group &g : groups())
            for (Field f : expand(g.members))
                for (int r = 0; r < (g.per_recipient ? 3 : 1); ++r) {
                    f.offset = 0;
                    out.emplace(f.ids[r], f);
                }
        return out;
    }();
    auto it = fields.find(id);
    return it == fields.end() ? nullptr : &it->second;
}

std::string settingText(uint32_t id, const devsim::Bytes &data, bool &shown) {
    std::string names;
    for (const std::string &n : devsim::settingNames(id)) names += (names.empty() ? "" : "|") + n;
    if (names.empty()) names = hexNumber(id);
    if (data.empty()) return names;
    shown = true;
    const Field *f = settingField(id);
    if (f != nullptr && f->secret) return names + "=" + Json(kMaskedSecret).dump();
    Field bytes{"", 0, data.size(), Kind::hex, 0};
    return names + "=" + jsonValue(f != nullptr && f->size == data.size() ? *f : bytes, data.data()).dump();
}

// The services that move a job value; its ID is their last ID argument.
bool movesJobValue(Service s) {
    return s == Service::meSVCGetCurrent || s == Service::meSVCSetCurrent || s == Service::mectSVCGetCurrent;
}

std::string traceLine(const LogEntry &e) {
    const unsigned pointers = devsim::pointerArguments(e.service);
    const unsigned settings = devsim::settingsArguments(e.service);
    const int value_at = movesJobValue(e.service) ? std::bit_width(devsim::idArguments(e.service)) - 1 : -1;
    bool shown = false;
    std::string line = devsim::serviceName(e.service);
    line += '(';
    std::string comma;
    for (std::size_t i = 0; i < e.args.size(); ++i) {
        if ((pointers >> i & 1) != 0) continue;
        line += comma;
        comma = ", ";
        const auto arg = static_cast<uint32_t>(e.args[i]);
        if ((settings >> i & 1) != 0) {
            line += settingText(arg, e.data, shown);
        } else if (static_cast<int>(i) == value_at) {
            line += devsim::valueName(arg).value_or(hexNumber(arg));
            if (!e.data.empty() || (e.done && devsim::widthPerValue(arg))) {
                line += "=" + valueJson(arg, e.data).dump();
                shown = true;
            }
        } else {
            line += hexNumber(arg);
        }
    }
    line += ')';
    if (e.kind == LogKind::monitor) {
        const std::string text = e.text.substr(0, e.text.find_last_not_of('\n') + 1);
        line += " \"" + devsim::escapeLogText(text, true) + "\"";
    }
    if (!shown && e.data.size() == 4)
        line += " -> " + std::to_string(uint32_t{e.data[0]} << 24 | uint32_t{e.data[1]} << 16 |
                                        uint32_t{e.data[2]} << 8 | e.data[3]);
    return line + " = " + hexNumber(e.result);
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// Past this many cells, the lines between the common head and tail are
// shown as all removed and all added.
constexpr std::size_t kDiffCells = std::size_t{1} << 24;

} // namespace

std::string callTrace(const std::vector<LogEntry> &entries) {
    std::string out;
    for (const LogEntry &e : entries)
        if (e.kind == LogKind::call || e.kind == LogKind::notification || e.kind == LogKind::monitor)
            out += traceLine(e) + "\n";
    return out;
}

std::optional<std::string> notATrace(std::string_view text) {
    if (!text.empty() && text.back() != '\n') return "its last line does not end";
    std::size_t number = 0;
    for (const std::string &line : lines(std::string(text))) {
        ++number;
        const std::size_t open = line.find('(');
        const std::size_t result = line.rfind(") ");
        const std::size_t answer = line.rfind(" = 0x");
        if (open == std::string::npos || !devsim::serviceByName(line.substr(0, open)) ||
            result == std::string::npos || answer == std::string::npos || answer < result ||
            line.find_first_not_of("0123456789abcdef", answer + 5) != std::string::npos ||
            line.find('\0') != std::string::npos)
            return "line " + std::to_string(number) + " is not a service call";
    }
    return std::nullopt;
}

std::string unifiedDiff(const std::string &from_name, const std::string &from, const std::string &to_name,
                        const std::string &to) {
    const std::vector<std::string> a = lines(from), b = lines(to);
    std::size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    if (head == a.size() && head == b.size()) return {};
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    // Longest common subsequence of the middles, from their ends.
    const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
    const std::size_t cells = (n + 1) * (m + 1);
    std::vector<uint32_t> table(cells <= kDiffCells ? cells : 0, 0);
    auto lcs = [&](std::size_t i, std::size_t j) -> uint32_t & {
        static uint32_t none = 0; // past kDiffCells: nothing in common
        return table.empty() ? (none = 0) : table[i * (m + 1) + j];
    };
    for (std::size_t i = n; !table.empty() && i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs(i, j) =
                a[head + i] == b[head + j] ? lcs(i + 1, j + 1) + 1 : std::max(lcs(i + 1, j), lcs(i, j + 1));
    // The script: ' ' kept, '-' only in from, '+' only in to, with each line's index in a and b.
    struct Op {
        char what;
        std::size_t i, j;
    };
    std::vector<Op> ops;
    for (std::size_t k = 0; k < head; ++k) ops.push_back({' ', k, k});
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j] && lcs(i, j) > 0) {
            ops.push_back({' ', head + i++, head + j++});
        } else if (j == m || (i < n && lcs(i + 1, j) >= lcs(i, j + 1))) {
            ops.push_back({'-', head + i++, head + j});
        } else {
            ops.push_back({'+', head + i, head + j++});
        }
    }
    for (std::size_t k = 0; k < tail; ++k) ops.push_back({' ', head + n + k, head + m + k});

    std::string out = "--- " + from_name + "\n+++ " + to_name + "\n";
    constexpr std::size_t kContext = 3;
    for (std::size_t k = 0; k < ops.size();) {
        if (ops[k].what == ' ') {
            ++k;
            continue;
        }
        // A hunk: the changes at most 2 * kContext kept lines apart, with
        // kContext lines around them.
        std::size_t last = k;
        for (std::size_t x = k + 1; x < ops.size() && x <= last + 2 * kContext + 1; ++x)
            if (ops[x].what != ' ') last = x;
        const std::size_t start = k > kContext ? k - kContext : 0;
        const std::size_t end = std::min(ops.size(), last + 1 + kContext);
        std::size_t count_a = 0, count_b = 0;
        for (std::size_t x = start; x < end; ++x) {
            count_a += ops[x].what != '+';
            count_b += ops[x].what != '-';
        }
        // As diff -u numbers an empty side: the line before it.
        const std::size_t first_a = count_a == 0 ? ops[start].i : ops[start].i + 1;
        const std::size_t first_b = count_b == 0 ? ops[start].j : ops[start].j + 1;
        out += "@@ -" + std::to_string(first_a) + "," + std::to_string(count_a) + " +" +
               std::to_string(first_b) + "," + std::to_string(count_b) + " @@\n";
        for (std::size_t x = start; x < end; ++x)
            out += ops[x].what + (ops[x].what == '+' ? b[ops[x].j] : a[ops[x].i]) + "\n";
        k = end;
    }
    return out;
}

Json valueJson(uint32_t value_id, const devsim::Bytes &bytes) {
    const uint32_t width = devsim::valueWidth(value_id).value_or(static_cast<uint32_t>(bytes.size()));
    std::vector<uint8_t> padded(bytes);
    padded.resize(std::max<std::size_t>(width, bytes.size()) + 1, 0);
    const std::size_t size = padded.size() - 1;
    return jsonValue(Field{"", 0, size, size <= 4 ? Kind::number : Kind::text, 0}, padded.data());
}

} // namespace entmlst
