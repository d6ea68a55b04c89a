/* A shared object that exports one symbol more than its one function: a data
 * object, plus the name of the version node its script declares. The ABI
 * test's export check must refuse it. */
#include <stdint.h>

const uint32_t entMLSTExtra = 1;

uint32_t entMLSTSyncMe(void) { return entMLSTExtra - 1; }
