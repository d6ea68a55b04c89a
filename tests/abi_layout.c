/* abi_layout.c - compiled as plain C: the public header builds in a C program,
 * its layout checks of every record running in C too. */
#include "abi_layout.h"

uint32_t corvel_c_get_host_buffer(ENTMLSTHOSTBUFFER *rec) { return entMLSTGetHostBuffer(rec); }
