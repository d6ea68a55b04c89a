// Counters: sixteen 4-byte values, read only. Table order is record order.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

constexpr ENTMLSTDESC kCounterRows[] = {ENTMLST_FIELDS_Counter(CORVEL_READ_ROW, ENTMLSTCOUNTER)};
static_assert(check::rows(kCounterRows, sizeof(ENTMLSTCOUNTER)));

constexpr Group kCounter{kCounterRows, sizeof(ENTMLSTCOUNTER), Msg::Param};

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTCounter(ENTMLSTCOUNTER *rec) {
    return corvel::getAll(corvel::kCounter, 0, rec);
}
