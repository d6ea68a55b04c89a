// Maintenance report settings and the maintenance last-send value.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using M = ENTMLSTMAINTE;
constexpr ENTMLSTDESC kMainteRows[] = {ENTMLST_FIELDS_Mainte(CORVEL_ROW, M)};
static_assert(check::rows(kMainteRows, sizeof(M)) && check::changeBits(kMainteRows));

using L = ENTMLSTLASTSEND;
constexpr ENTMLSTDESC kMainteLastSendRows[] = {ENTMLST_FIELDS_MainteLastSend(CORVEL_ROW, L)};
static_assert(check::rows(kMainteLastSendRows, sizeof(L)) && check::changeBits(kMainteLastSendRows));

constexpr Group kMainte{kMainteRows,
                        sizeof(M),
                        {.param = Msg::Param,
                         .store_set = Msg::StatusSetShort,
                         .nomem = Msg::NomemMainte,
                         .notify_fail = Msg::NotifyMainteTime,
                         .set_name = Msg::FnSetMainte},
                        Notify::MainteTime};
constexpr Group kMainteLastSend{
    kMainteLastSendRows,
    sizeof(L),
    {.param = Msg::ParamLastSend, .store_set = Msg::StatusSetLong, .nomem = Msg::NomemLastSend}};

} // namespace
} // namespace corvel

using namespace corvel;

CORVEL_EXPORT uint32_t entMLSTGetMainte(ENTMLSTMAINTE *rec) { return getAll(kMainte, 0, rec); }

CORVEL_EXPORT uint32_t entMLSTSetMainte(uint32_t change_mask, const ENTMLSTMAINTE *rec) {
    return setChanged(kMainte, change_mask, 0, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetMainteLastSend(ENTMLSTLASTSEND *rec) {
    return getAll(kMainteLastSend, 0, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetMainteLastSend(uint32_t change_mask, const ENTMLSTLASTSEND *rec) {
    return setChanged(kMainteLastSend, change_mask, 0, rec);
}
