// POP3 server and POP3 user settings.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using P = ENTMLSTPOP3;
constexpr ENTMLSTDESC kPop3Rows[] = {ENTMLST_FIELDS_Pop3(CORVEL_ROW, P)};
static_assert(check::rows(kPop3Rows, sizeof(P)) && check::changeBits(kPop3Rows));

using U = ENTMLSTPOP3USER;
constexpr ENTMLSTDESC kPop3UserRows[] = {ENTMLST_FIELDS_Pop3User(CORVEL_ROW, U)};
static_assert(check::rows(kPop3UserRows, sizeof(U)) && check::changeBits(kPop3UserRows));

constexpr Group kPop3{kPop3Rows,
                      sizeof(P),
                      {.param = Msg::Param,
                       .store_set = Msg::StatusSetShort,
                       .nomem = Msg::NomemPop3,
                       .notify_fail = Msg::NotifySchedule0,
                       .set_name = Msg::FnSetPop3},
                      Notify::Schedule};
constexpr Group kPop3User{kPop3UserRows,
                          sizeof(U),
                          {.recipient = Msg::ParamPop3UserNo,
                           .param = Msg::ParamPop3User,
                           .store_set = Msg::StatusSetLong,
                           .nomem = Msg::NomemPop3User}};

} // namespace
} // namespace corvel

using namespace corvel;

CORVEL_EXPORT uint32_t entMLSTGetPop3(ENTMLSTPOP3 *rec) { return getAll(kPop3, 0, rec); }

CORVEL_EXPORT uint32_t entMLSTSetPop3(uint32_t change_mask, const ENTMLSTPOP3 *rec) {
    return setChanged(kPop3, change_mask, 0, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetPop3User(uint32_t user_no, ENTMLSTPOP3USER *rec) {
    return getAll(kPop3User, user_no, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetPop3User(uint32_t change_mask, uint32_t user_no,
                                          const ENTMLSTPOP3USER *rec) {
    return setChanged(kPop3User, change_mask, user_no, rec);
}
