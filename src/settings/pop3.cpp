// POP3 server and POP3 user settings.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using P = ENTMLSTPOP3;
constexpr ENTMLSTDESC kPop3Rows[] = {
    CORVEL_ROW(0x85005b3c, P, receive, 0x00000001, 1),
    CORVEL_ROW(0x850063d4, P, interval, 0x00000002, 1),
    CORVEL_ROW(0x85005894, P, auth, 0x00000004, 0),
    CORVEL_ROW_AT(0x85005164, P, domain, 0, 0x00000008, 0),
    CORVEL_ROW_AT(0x8500518c, P, domain, 1, 0x00000010, 0),
    CORVEL_ROW_AT(0x850051b4, P, domain, 2, 0x00000020, 0),
    CORVEL_ROW_AT(0x850051dc, P, domain, 3, 0x00000040, 0),
    CORVEL_ROW_AT(0x85005204, P, domain, 4, 0x00000080, 0),
    CORVEL_ROW_AT(0x8500522c, P, domain, 5, 0x00000100, 0),
    CORVEL_ROW_AT(0x85005254, P, domain, 6, 0x00000200, 0),
    CORVEL_ROW_AT(0x8500527c, P, domain, 7, 0x00000400, 0),
    CORVEL_ROW_AT(0x850052a4, P, domain, 8, 0x00000800, 0),
    CORVEL_ROW_AT(0x850052cc, P, domain, 9, 0x00001000, 0),
};
static_assert(check::rows(kPop3Rows, sizeof(P)));

using U = ENTMLSTPOP3USER;
constexpr ENTMLSTRECIPDESC kPop3UserRows[] = {
    CORVEL_RROW(0x85005b64, 0x85005b8c, 0x85005bb4, U, enable, 0x00000001, 0),
    CORVEL_RROW(0x850054ac, 0x850054d4, 0x850054fc, U, server, 0x00000002, 0),
    CORVEL_RROW(0x8500559c, 0x850055c4, 0x850055ec, U, user, 0x00000004, 0),
    CORVEL_RROW(0x850063fc, 0x85006424, 0x8500644c, U, port, 0x00000008, 0),
    CORVEL_RROW(0x850058bc, 0x850058e4, 0x8500590c, U, auth, 0x00000010, 0),
    CORVEL_RROW(0x85005614, 0x8500563c, 0x85005664, U, password, 0x00000020, 0),
    CORVEL_RROW(0x85005524, 0x8500554c, 0x85005574, U, mailbox, 0x00000040, 0),
    CORVEL_RROW(0x8500626c, 0x85006294, 0x850062bc, U, ssl, 0x00000080, 0),
    CORVEL_RROW(0x8500635c, 0x85006384, 0x850063ac, U, timeout, 0x00000100, 0),
    CORVEL_RROW(0x850059fc, 0x85005a24, 0x85005a4c, U, leave_on_server, 0x00000200, 0),
    CORVEL_RROW(0x85005984, 0x850059ac, 0x850059d4, U, apop, 0x00000400, 0),
};
static_assert(check::rows(kPop3UserRows, sizeof(U)));
static_assert(check::recipientIds(kPop3UserRows));

constexpr Group kPop3{kPop3Rows,          sizeof(P),       Msg::Param,
                      Msg::StatusSetShort, Msg::NomemPop3, Notify::Schedule,
                      Msg::NotifySchedule0, Msg::FnSetPop3};
constexpr Group kPop3User{kPop3UserRows,     sizeof(U),         Msg::ParamPop3UserNo,
                          Msg::ParamPop3User, Msg::StatusSetLong, Msg::NomemPop3User};

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
