/* abi_layout.h - the public header as a C program sees it. */
#ifndef CORVEL_TEST_ABI_LAYOUT_H
#define CORVEL_TEST_ABI_LAYOUT_H

#include "corvellib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An exported function called from C code. */
uint32_t corvel_c_get_host_buffer(ENTMLSTHOSTBUFFER *rec);

#ifdef __cplusplus
}
#endif

#endif
