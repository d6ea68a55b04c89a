// Counters: sixteen 4-byte values, read only. Table order is record order.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

constexpr ENTMLSTREADDESC kCounterRows[] = {
    {0x94009470, 0x00}, {0x85004fb8, 0x04}, {0x85005030, 0x08}, {0x85005008, 0x0c},
    {0x850050a8, 0x10}, {0x85004fe0, 0x14}, {0x940092b8, 0x18}, {0x94009308, 0x1c},
    {0x94009380, 0x20}, {0x94009330, 0x24}, {0x94009358, 0x28}, {0x940093a8, 0x2c},
    {0x940093d0, 0x30}, {0x940093f8, 0x34}, {0x94009448, 0x38}, {0x94009420, 0x3c},
};
static_assert(check::ascendingOffsets(kCounterRows, sizeof(ENTMLSTCOUNTER)));

constexpr Group kCounter{kCounterRows, sizeof(ENTMLSTCOUNTER), Msg::Param};

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTCounter(ENTMLSTCOUNTER *rec) {
    return corvel::getAll(corvel::kCounter, 0, rec);
}
