// Subject values, read only. Row 0 is the maintenance record's first field.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using S = ENTMLSTSUBJECT;
constexpr ENTMLSTREADDESC kSubjectRows[] = {
    {0x8500513c, offsetof(S, subject)},  {0x850008c8, offsetof(S, device_name)},
    {0x840071cc, offsetof(S, location)}, {0x840073ac, offsetof(S, contact)},
    {0x85000288, offsetof(S, model)},    {0x85004a90, offsetof(S, serial)},
};
static_assert(check::ascendingOffsets(kSubjectRows, sizeof(S)));

constexpr Group kSubject{kSubjectRows, sizeof(S), Msg::Param};

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetSubject(ENTMLSTSUBJECT *rec) {
    return corvel::getAll(corvel::kSubject, 0, rec);
}
