// hex.h - a 32-bit code or ID as entmlst prints it: 0x and eight digits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace entmlst {

inline std::string hex8(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", value);
    return buf;
}

} // namespace entmlst
