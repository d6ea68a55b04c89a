// escaped.h - text with some characters written another way, as roff and
// JSON pointers want them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace entmlst {

// text with each character that has a replacement replaced by it.
inline std::string escaped(std::string_view text,
                           std::initializer_list<std::pair<char, std::string_view>> replacements) {
    std::string out;
    for (char c : text) {
        bool replaced = false;
        for (const auto &[from, to] : replacements)
            if (!replaced && c == from) {
                out += to;
                replaced = true;
            }
        if (!replaced) out += c;
    }
    return out;
}

} // namespace entmlst
