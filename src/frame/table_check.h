// Compile-time check shared by the tables whose rows carry only an offset
// (read-only setting rows, job value rows): the store or job service decides
// a value's width, so each field reaches at most to the next row's offset.
#pragma once

#include <cstddef>

namespace corvel::check {

template <typename Row, std::size_t N>
constexpr bool ascendingOffsets(const Row (&rows)[N], std::size_t record_size) {
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].offset >= record_size) return false;
        if (i > 0 && rows[i].offset <= rows[i - 1].offset) return false;
    }
    return true;
}

} // namespace corvel::check
