// Maintenance report settings and the maintenance last-send value.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using M = ENTMLSTMAINTE;
constexpr ENTMLSTDESC kMainteRows[] = {
    CORVEL_ROW(0x8500513c, M, subject, ENTMLST_MASK_MAINTE_SUBJECT, 0),
    CORVEL_ROW(0x85605704, M, address, ENTMLST_MASK_MAINTE_ADDRESS, 0),
    CORVEL_ROW(0x850057cc, M, name, ENTMLST_MASK_MAINTE_NAME, 0),
    CORVEL_ROW(0x85005a74, M, week, ENTMLST_MASK_MAINTE_WEEK, 1),
    CORVEL_ROW(0x85005aec, M, day, ENTMLST_MASK_MAINTE_DAY, 1),
    CORVEL_ROW(0x85005ac4, M, hour, ENTMLST_MASK_MAINTE_HOUR, 1),
    CORVEL_ROW(0x8500630c, M, period, ENTMLST_MASK_MAINTE_PERIOD, 1),
    CORVEL_ROW(0x85005b14, M, minute, ENTMLST_MASK_MAINTE_MINUTE, 1),
    CORVEL_ROW(0x85005a9c, M, enable, ENTMLST_MASK_MAINTE_ENABLE, 1),
};
static_assert(check::rows(kMainteRows, sizeof(M)));

using L = ENTMLSTLASTSEND;
constexpr ENTMLSTDESC kMainteLastSendRows[] = {
    CORVEL_ROW(0x8500658c, L, time, ENTMLST_MASK_MAINTE_LASTSEND, 0),
};
static_assert(check::rows(kMainteLastSendRows, sizeof(L)));

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
