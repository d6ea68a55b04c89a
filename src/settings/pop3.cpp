// POP3 server and POP3 user settings.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using P = ENTMLSTPOP3;
constexpr ENTMLSTDESC kPop3Rows[] = {
    CORVEL_ROW(0x85005b3c, P, receive, ENTMLST_MASK_POP3_RECEIVE, 1),
    CORVEL_ROW(0x850063d4, P, interval, ENTMLST_MASK_POP3_INTERVAL, 1),
    CORVEL_ROW(0x85005894, P, auth, ENTMLST_MASK_POP3_AUTH, 0),
    CORVEL_ROW_AT(0x85005164, P, domain, 0, ENTMLST_MASK_POP3_DOMAIN(0), 0),
    CORVEL_ROW_AT(0x8500518c, P, domain, 1, ENTMLST_MASK_POP3_DOMAIN(1), 0),
    CORVEL_ROW_AT(0x850051b4, P, domain, 2, ENTMLST_MASK_POP3_DOMAIN(2), 0),
    CORVEL_ROW_AT(0x850051dc, P, domain, 3, ENTMLST_MASK_POP3_DOMAIN(3), 0),
    CORVEL_ROW_AT(0x85005204, P, domain, 4, ENTMLST_MASK_POP3_DOMAIN(4), 0),
    CORVEL_ROW_AT(0x8500522c, P, domain, 5, ENTMLST_MASK_POP3_DOMAIN(5), 0),
    CORVEL_ROW_AT(0x85005254, P, domain, 6, ENTMLST_MASK_POP3_DOMAIN(6), 0),
    CORVEL_ROW_AT(0x8500527c, P, domain, 7, ENTMLST_MASK_POP3_DOMAIN(7), 0),
    CORVEL_ROW_AT(0x850052a4, P, domain, 8, ENTMLST_MASK_POP3_DOMAIN(8), 0),
    CORVEL_ROW_AT(0x850052cc, P, domain, 9, ENTMLST_MASK_POP3_DOMAIN(9), 0),
};
static_assert(check::rows(kPop3Rows, sizeof(P)));

using U = ENTMLSTPOP3USER;
constexpr ENTMLSTRECIPDESC kPop3UserRows[] = {
    CORVEL_RROW(0x85005b64, 0x85005b8c, 0x85005bb4, U, enable, ENTMLST_MASK_POP3USER_ENABLE, 0),
    CORVEL_RROW(0x850054ac, 0x850054d4, 0x850054fc, U, server, ENTMLST_MASK_POP3USER_SERVER, 0),
    CORVEL_RROW(0x8500559c, 0x850055c4, 0x850055ec, U, user, ENTMLST_MASK_POP3USER_USER, 0),
    CORVEL_RROW(0x850063fc, 0x85006424, 0x8500644c, U, port, ENTMLST_MASK_POP3USER_PORT, 0),
    CORVEL_RROW(0x850058bc, 0x850058e4, 0x8500590c, U, auth, ENTMLST_MASK_POP3USER_AUTH, 0),
    CORVEL_RROW(0x85005614, 0x8500563c, 0x85005664, U, password, ENTMLST_MASK_POP3USER_PASSWORD, 0),
    CORVEL_RROW(0x85005524, 0x8500554c, 0x85005574, U, mailbox, ENTMLST_MASK_POP3USER_MAILBOX, 0),
    CORVEL_RROW(0x8500626c, 0x85006294, 0x850062bc, U, ssl, ENTMLST_MASK_POP3USER_SSL, 0),
    CORVEL_RROW(0x8500635c, 0x85006384, 0x850063ac, U, timeout, ENTMLST_MASK_POP3USER_TIMEOUT, 0),
    CORVEL_RROW(0x850059fc, 0x85005a24, 0x85005a4c, U, leave_on_server, ENTMLST_MASK_POP3USER_LEAVE_ON_SERVER,
                0),
    CORVEL_RROW(0x85005984, 0x850059ac, 0x850059d4, U, apop, ENTMLST_MASK_POP3USER_APOP, 0),
};
static_assert(check::rows(kPop3UserRows, sizeof(U)));
static_assert(check::recipientIds(kPop3UserRows));

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
