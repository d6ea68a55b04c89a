/* abi_layout.c - compiled as plain C: the public header builds in a C program
 * (its layout checks run in C too), and the records' layouts as C sees them. */
#include "abi_layout.h"

#define CORVEL_FIELD(type, member, off) {#type, #member, offsetof(type, member), off},
#define CORVEL_RECORD(type, size) {#type, NULL, sizeof(type), size},
const struct corvel_layout corvel_c_layout[] = {
#include "abi_layout.inc"
};
const size_t corvel_c_layout_count = sizeof corvel_c_layout / sizeof corvel_c_layout[0];

uint32_t corvel_c_get_host_buffer(ENTMLSTHOSTBUFFER *rec) { return entMLSTGetHostBuffer(rec); }
