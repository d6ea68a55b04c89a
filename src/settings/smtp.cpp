// SMTP server, event-report and schedule-report recipients, and their
// last-send values.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using S = ENTMLSTSMTP;
constexpr ENTMLSTDESC kSmtpRows[] = {
    CORVEL_ROW(0x85005fec, S, protocol, 0x00000001, 1),
    CORVEL_ROW(0x85006334, S, port, 0x00000002, 0),
    CORVEL_ROW(0x85005484, S, server, 0x00000004, 0),
    CORVEL_ROW(0x85005934, S, auth, 0x00000008, 0),
    CORVEL_ROW(0x85005d44, S, ssl, 0x00000010, 0),
    CORVEL_ROW(0x85005f4c, S, pop_before_smtp, 0x00000020, 0),
    CORVEL_ROW(0x8500568c, S, user, 0x00000040, 0),
    CORVEL_ROW(0x850056b4, S, password, 0x00000080, 0),
    CORVEL_ROW(0x850062e4, S, size_limit_on, 0x00000100, 0),
    CORVEL_ROW(0x85006564, S, size_limit, 0x00000200, 0),
    CORVEL_ROW(0x850056dc, S, from, 0x00000400, 0),
    CORVEL_ROW(0x850057f4, S, signature, 0x00000800, 0),
    CORVEL_ROW(0x850057a4, S, reply_to, 0x00001000, 0),
    CORVEL_ROW(0x8500595c, S, domain_filter, 0x00002000, 0),
    CORVEL_ROW_AT(0x850052f4, S, domain, 0, 0x00004000, 0),
    CORVEL_ROW_AT(0x8500531c, S, domain, 1, 0x00008000, 0),
    CORVEL_ROW_AT(0x85005344, S, domain, 2, 0x00010000, 0),
    CORVEL_ROW_AT(0x8500536c, S, domain, 3, 0x00020000, 0),
    CORVEL_ROW_AT(0x85005394, S, domain, 4, 0x00040000, 0),
    CORVEL_ROW_AT(0x850053bc, S, domain, 5, 0x00080000, 0),
    CORVEL_ROW_AT(0x850053e4, S, domain, 6, 0x00100000, 0),
    CORVEL_ROW_AT(0x8500540c, S, domain, 7, 0x00200000, 0),
    CORVEL_ROW_AT(0x85005434, S, domain, 8, 0x00400000, 0),
    CORVEL_ROW_AT(0x8500545c, S, domain, 9, 0x00800000, 0),
};
static_assert(check::rows(kSmtpRows, sizeof(S)));

using E = ENTMLSTSMTPEVENT;
constexpr ENTMLSTRECIPDESC kEventRows[] = {
    CORVEL_RROW(0x8560572c, 0x85605754, 0x8560577c, E, address, 0x001, 0),
    CORVEL_RROW(0x8500581c, 0x85005844, 0x8500586c, E, name, 0x002, 0),
    CORVEL_RROW_AT(0x85005ed4, 0x85005efc, 0x85005f24, E, event, 0, 0x004, 0),
    CORVEL_RROW_AT(0x85005c54, 0x85005c7c, 0x85005ca4, E, event, 1, 0x008, 0),
    CORVEL_RROW_AT(0x85005f74, 0x85005f9c, 0x85005fc4, E, event, 2, 0x010, 0),
    CORVEL_RROW_AT(0x85005e5c, 0x85005e84, 0x85005eac, E, event, 3, 0x020, 0),
    CORVEL_RROW_AT(0x85005bdc, 0x85005c04, 0x85005c2c, E, event, 4, 0x040, 0),
    CORVEL_RROW_AT(0x85005de4, 0x85005e0c, 0x85005e34, E, event, 5, 0x080, 0),
    CORVEL_RROW_AT(0x85005ccc, 0x85005cf4, 0x85005d1c, E, event, 6, 0x100, 0),
    CORVEL_RROW(0x85006474, 0x8500649c, 0x850064c4, E, interval, 0x200, 1),
};
static_assert(check::rows(kEventRows, sizeof(E)));
static_assert(check::recipientIds(kEventRows));

using H = ENTMLSTSMTPSCH;
constexpr ENTMLSTRECIPDESC kScheduleRows[] = {
    CORVEL_RROW(0x8560572c, 0x85605754, 0x8560577c, H, address, 0x001, 0),
    CORVEL_RROW(0x8500581c, 0x85005844, 0x8500586c, H, name, 0x002, 0),
    CORVEL_RROW(0x85005d6c, 0x85005d94, 0x85005dbc, H, enable, 0x004, 0),
    CORVEL_RROW(0x85006104, 0x8500612c, 0x85006154, H, week, 0x008, 1),
    CORVEL_RROW(0x8500617c, 0x850061a4, 0x850061cc, H, day, 0x010, 1),
    CORVEL_RROW(0x8500608c, 0x850060b4, 0x850060dc, H, hour, 0x020, 1),
    CORVEL_RROW(0x850064ec, 0x85006514, 0x8500653c, H, period, 0x040, 1),
    CORVEL_RROW(0x850061f4, 0x8500621c, 0x85006244, H, minute, 0x080, 1),
    CORVEL_RROW(0x85006014, 0x8500603c, 0x85006064, H, report, 0x100, 1),
};
static_assert(check::rows(kScheduleRows, sizeof(H)));
static_assert(check::recipientIds(kScheduleRows));

using L = ENTMLSTLASTSEND;
constexpr ENTMLSTRECIPDESC kEvrLastSendRows[] = {
    CORVEL_RROW(0x850065b4, 0x850065dc, 0x85006604, L, time, ENTMLST_MASK_EVR_LASTSEND, 0),
};
constexpr ENTMLSTRECIPDESC kScrLastSendRows[] = {
    CORVEL_RROW(0x8500662c, 0x85006654, 0x8500667c, L, time, ENTMLST_MASK_SCR_LASTSEND, 0),
};
static_assert(check::rows(kEvrLastSendRows, sizeof(L)) && check::recipientIds(kEvrLastSendRows));
static_assert(check::rows(kScrLastSendRows, sizeof(L)) && check::recipientIds(kScrLastSendRows));

constexpr Group kSmtp{kSmtpRows,           sizeof(S),       Msg::Param,
                      Msg::StatusSetShort, Msg::NomemSmtp, Notify::SmtpProtocol,
                      Msg::NotifySmtpProto, Msg::FnSetSmtp};
constexpr Group kEvent{kEventRows,          sizeof(E),           Msg::ParamRecipNo,
                       Msg::ParamSmtpEvent, Msg::StatusSetLong,  Msg::NomemSmtpEvent,
                       Notify::EventTime,   Msg::NotifyEventTime, Msg::FnSetSmtpEvent};
constexpr Group kSchedule{kScheduleRows,       sizeof(H),          Msg::ParamRecipNo,
                          Msg::ParamSmtpSch,   Msg::StatusSetLong, Msg::NomemSmtpSch,
                          Notify::ScheduleTime, Msg::NotifySchTime, Msg::FnSetSmtpSch};
constexpr Group kEvrLastSend{kEvrLastSendRows, sizeof(L),          Msg::ParamRecipNo,
                             Msg::ParamLastSend, Msg::StatusSetLong, Msg::NomemLastSend};
constexpr Group kScrLastSend{kScrLastSendRows, sizeof(L),          Msg::ParamRecipNo,
                             Msg::ParamLastSend, Msg::StatusSetLong, Msg::NomemLastSend};

} // namespace
} // namespace corvel

using namespace corvel;

CORVEL_EXPORT uint32_t entMLSTGetSmtp(ENTMLSTSMTP *rec) { return getAll(kSmtp, 0, rec); }

CORVEL_EXPORT uint32_t entMLSTSetSmtp(uint32_t change_mask, const ENTMLSTSMTP *rec) {
    return setChanged(kSmtp, change_mask, 0, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetSmtpEvent(uint32_t recipient, ENTMLSTSMTPEVENT *rec) {
    return getAll(kEvent, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetSmtpEvent(uint32_t change_mask, uint32_t recipient,
                                           const ENTMLSTSMTPEVENT *rec) {
    return setChanged(kEvent, change_mask, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetSmtpSch(uint32_t recipient, ENTMLSTSMTPSCH *rec) {
    return getAll(kSchedule, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetSmtpSch(uint32_t change_mask, uint32_t recipient,
                                         const ENTMLSTSMTPSCH *rec) {
    return setChanged(kSchedule, change_mask, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetEvrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec) {
    return getAll(kEvrLastSend, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetEvrLastSend(uint32_t change_mask, uint32_t recipient,
                                             const ENTMLSTLASTSEND *rec) {
    return setChanged(kEvrLastSend, change_mask, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTGetScrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec) {
    return getAll(kScrLastSend, recipient, rec);
}

CORVEL_EXPORT uint32_t entMLSTSetScrLastSend(uint32_t change_mask, uint32_t recipient,
                                             const ENTMLSTLASTSEND *rec) {
    return setChanged(kScrLastSend, change_mask, recipient, rec);
}
