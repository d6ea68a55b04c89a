/* abi_layout.h - record layouts as a C compiler and a C++ compiler see them.
 * abi_layout.inc is generated from the header's own layout checks. */
#ifndef CORVEL_TEST_ABI_LAYOUT_H
#define CORVEL_TEST_ABI_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

#include "corvellib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One record (member null: size) or one member (offset). */
struct corvel_layout {
    const char *type;
    const char *member;
    size_t measured;
    size_t declared;
};

extern const struct corvel_layout corvel_c_layout[];
extern const size_t corvel_c_layout_count;

/* An exported function called from C code. */
uint32_t corvel_c_get_host_buffer(ENTMLSTHOSTBUFFER *rec);

#ifdef __cplusplus
}
#endif

#endif
