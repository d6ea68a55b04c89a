// Subject values, read only. Row 0 is the maintenance record's first field.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using S = ENTMLSTSUBJECT;
constexpr ENTMLSTDESC kSubjectRows[] = {ENTMLST_FIELDS_Subject(CORVEL_READ_ROW, S)};
static_assert(check::rows(kSubjectRows, sizeof(S)));

constexpr Group kSubject{kSubjectRows, sizeof(S), Msg::Param};

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetSubject(ENTMLSTSUBJECT *rec) {
    return corvel::getAll(corvel::kSubject, 0, rec);
}
