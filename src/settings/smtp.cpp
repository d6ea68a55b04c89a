// SMTP server, event-report and schedule-report recipients, and their
// last-send values.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using S = ENTMLSTSMTP;
constexpr ENTMLSTDESC kSmtpRows[] = {
    CORVEL_ROW(0x85005fec, S, protocol, ENTMLST_MASK_SMTP_PROTOCOL, 1),
    CORVEL_ROW(0x85006334, S, port, ENTMLST_MASK_SMTP_PORT, 0),
    CORVEL_ROW(0x85005484, S, server, ENTMLST_MASK_SMTP_SERVER, 0),
    CORVEL_ROW(0x85005934, S, auth, ENTMLST_MASK_SMTP_AUTH, 0),
    CORVEL_ROW(0x85005d44, S, ssl, ENTMLST_MASK_SMTP_SSL, 0),
    CORVEL_ROW(0x85005f4c, S, pop_before_smtp, ENTMLST_MASK_SMTP_POP_BEFORE_SMTP, 0),
    CORVEL_ROW(0x8500568c, S, user, ENTMLST_MASK_SMTP_USER, 0),
    CORVEL_ROW(0x850056b4, S, password, ENTMLST_MASK_SMTP_PASSWORD, 0),
    CORVEL_ROW(0x850062e4, S, size_limit_on, ENTMLST_MASK_SMTP_SIZE_LIMIT_ON, 0),
    CORVEL_ROW(0x85006564, S, size_limit, ENTMLST_MASK_SMTP_SIZE_LIMIT, 0),
    CORVEL_ROW(0x850056dc, S, from, ENTMLST_MASK_SMTP_FROM, 0),
    CORVEL_ROW(0x850057f4, S, signature, ENTMLST_MASK_SMTP_SIGNATURE, 0),
    CORVEL_ROW(0x850057a4, S, reply_to, ENTMLST_MASK_SMTP_REPLY_TO, 0),
    CORVEL_ROW(0x8500595c, S, domain_filter, ENTMLST_MASK_SMTP_DOMAIN_FILTER, 0),
    CORVEL_ROW_AT(0x850052f4, S, domain, 0, ENTMLST_MASK_SMTP_DOMAIN(0), 0),
    CORVEL_ROW_AT(0x8500531c, S, domain, 1, ENTMLST_MASK_SMTP_DOMAIN(1), 0),
    CORVEL_ROW_AT(0x85005344, S, domain, 2, ENTMLST_MASK_SMTP_DOMAIN(2), 0),
    CORVEL_ROW_AT(0x8500536c, S, domain, 3, ENTMLST_MASK_SMTP_DOMAIN(3), 0),
    CORVEL_ROW_AT(0x85005394, S, domain, 4, ENTMLST_MASK_SMTP_DOMAIN(4), 0),
    CORVEL_ROW_AT(0x850053bc, S, domain, 5, ENTMLST_MASK_SMTP_DOMAIN(5), 0),
    CORVEL_ROW_AT(0x850053e4, S, domain, 6, ENTMLST_MASK_SMTP_DOMAIN(6), 0),
    CORVEL_ROW_AT(0x8500540c, S, domain, 7, ENTMLST_MASK_SMTP_DOMAIN(7), 0),
    CORVEL_ROW_AT(0x85005434, S, domain, 8, ENTMLST_MASK_SMTP_DOMAIN(8), 0),
    CORVEL_ROW_AT(0x8500545c, S, domain, 9, ENTMLST_MASK_SMTP_DOMAIN(9), 0),
};
static_assert(check::rows(kSmtpRows, sizeof(S)));

using E = ENTMLSTSMTPEVENT;
constexpr ENTMLSTRECIPDESC kEventRows[] = {
    CORVEL_RROW(0x8560572c, 0x85605754, 0x8560577c, E, address, ENTMLST_MASK_SMTPEVENT_ADDRESS, 0),
    CORVEL_RROW(0x8500581c, 0x85005844, 0x8500586c, E, name, ENTMLST_MASK_SMTPEVENT_NAME, 0),
    CORVEL_RROW_AT(0x85005ed4, 0x85005efc, 0x85005f24, E, event, 0, ENTMLST_MASK_SMTPEVENT_EVENT(0), 0),
    CORVEL_RROW_AT(0x85005c54, 0x85005c7c, 0x85005ca4, E, event, 1, ENTMLST_MASK_SMTPEVENT_EVENT(1), 0),
    CORVEL_RROW_AT(0x85005f74, 0x85005f9c, 0x85005fc4, E, event, 2, ENTMLST_MASK_SMTPEVENT_EVENT(2), 0),
    CORVEL_RROW_AT(0x85005e5c, 0x85005e84, 0x85005eac, E, event, 3, ENTMLST_MASK_SMTPEVENT_EVENT(3), 0),
    CORVEL_RROW_AT(0x85005bdc, 0x85005c04, 0x85005c2c, E, event, 4, ENTMLST_MASK_SMTPEVENT_EVENT(4), 0),
    CORVEL_RROW_AT(0x85005de4, 0x85005e0c, 0x85005e34, E, event, 5, ENTMLST_MASK_SMTPEVENT_EVENT(5), 0),
    CORVEL_RROW_AT(0x85005ccc, 0x85005cf4, 0x85005d1c, E, event, 6, ENTMLST_MASK_SMTPEVENT_EVENT(6), 0),
    CORVEL_RROW(0x85006474, 0x8500649c, 0x850064c4, E, interval, ENTMLST_MASK_SMTPEVENT_INTERVAL, 1),
};
static_assert(check::rows(kEventRows, sizeof(E)));
static_assert(check::recipientIds(kEventRows));

using H = ENTMLSTSMTPSCH;
constexpr ENTMLSTRECIPDESC kScheduleRows[] = {
    CORVEL_RROW(0x8560572c, 0x85605754, 0x8560577c, H, address, ENTMLST_MASK_SMTPSCH_ADDRESS, 0),
    CORVEL_RROW(0x8500581c, 0x85005844, 0x8500586c, H, name, ENTMLST_MASK_SMTPSCH_NAME, 0),
    CORVEL_RROW(0x85005d6c, 0x85005d94, 0x85005dbc, H, enable, ENTMLST_MASK_SMTPSCH_ENABLE, 0),
    CORVEL_RROW(0x85006104, 0x8500612c, 0x85006154, H, week, ENTMLST_MASK_SMTPSCH_WEEK, 1),
    CORVEL_RROW(0x8500617c, 0x850061a4, 0x850061cc, H, day, ENTMLST_MASK_SMTPSCH_DAY, 1),
    CORVEL_RROW(0x8500608c, 0x850060b4, 0x850060dc, H, hour, ENTMLST_MASK_SMTPSCH_HOUR, 1),
    CORVEL_RROW(0x850064ec, 0x85006514, 0x8500653c, H, period, ENTMLST_MASK_SMTPSCH_PERIOD, 1),
    CORVEL_RROW(0x850061f4, 0x8500621c, 0x85006244, H, minute, ENTMLST_MASK_SMTPSCH_MINUTE, 1),
    CORVEL_RROW(0x85006014, 0x8500603c, 0x85006064, H, report, ENTMLST_MASK_SMTPSCH_REPORT, 1),
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

constexpr Group kSmtp{kSmtpRows,
                      sizeof(S),
                      {.param = Msg::Param,
                       .store_set = Msg::StatusSetShort,
                       .nomem = Msg::NomemSmtp,
                       .notify_fail = Msg::NotifySmtpProto,
                       .set_name = Msg::FnSetSmtp},
                      Notify::SmtpProtocol};
constexpr Group kEvent{kEventRows,
                       sizeof(E),
                       {.recipient = Msg::ParamRecipNo,
                        .param = Msg::ParamSmtpEvent,
                        .store_set = Msg::StatusSetLong,
                        .nomem = Msg::NomemSmtpEvent,
                        .notify_fail = Msg::NotifyEventTime,
                        .set_name = Msg::FnSetSmtpEvent},
                       Notify::EventTime};
constexpr Group kSchedule{kScheduleRows,
                          sizeof(H),
                          {.recipient = Msg::ParamRecipNo,
                           .param = Msg::ParamSmtpSch,
                           .store_set = Msg::StatusSetLong,
                           .nomem = Msg::NomemSmtpSch,
                           .notify_fail = Msg::NotifySchTime,
                           .set_name = Msg::FnSetSmtpSch},
                          Notify::ScheduleTime};
constexpr Group kEvrLastSend{kEvrLastSendRows,
                             sizeof(L),
                             {.recipient = Msg::ParamRecipNo,
                              .param = Msg::ParamLastSend,
                              .store_set = Msg::StatusSetLong,
                              .nomem = Msg::NomemLastSend}};
constexpr Group kScrLastSend{kScrLastSendRows,
                             sizeof(L),
                             {.recipient = Msg::ParamRecipNo,
                              .param = Msg::ParamLastSend,
                              .store_set = Msg::StatusSetLong,
                              .nomem = Msg::NomemLastSend}};

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
