// field_names.h - how a field of a record is named: an array member's
// elements are numbered from 1 (domain1..domain10), a plain member is its
// own name. The tool's fields and the simulator's setting names both follow it.
#pragma once

#include <string>

namespace corvel::registry {

// element: the element's index from 0, or -1 for the whole member.
inline std::string fieldName(const char *member, int element) {
    return element < 0 ? std::string(member) : member + std::to_string(element + 1);
}

} // namespace corvel::registry
