// SMTP server, event-report and schedule-report recipients, and their
// last-send values.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using S = ENTMLSTSMTP;
constexpr ENTMLSTDESC kSmtpRows[] = {ENTMLST_FIELDS_Smtp(CORVEL_ROW, S)};
static_assert(check::rows(kSmtpRows, sizeof(S)) && check::changeBits(kSmtpRows));

using E = ENTMLSTSMTPEVENT;
constexpr ENTMLSTDESC kEventRows[] = {ENTMLST_FIELDS_SmtpEvent(CORVEL_ROW, E)};
static_assert(check::rows(kEventRows, sizeof(E)) && check::changeBits(kEventRows));

using H = ENTMLSTSMTPSCH;
constexpr ENTMLSTDESC kScheduleRows[] = {ENTMLST_FIELDS_SmtpSch(CORVEL_ROW, H)};
static_assert(check::rows(kScheduleRows, sizeof(H)) && check::changeBits(kScheduleRows));

using L = ENTMLSTLASTSEND;
constexpr ENTMLSTDESC kEvrLastSendRows[] = {ENTMLST_FIELDS_EvrLastSend(CORVEL_ROW, L)};
constexpr ENTMLSTDESC kScrLastSendRows[] = {ENTMLST_FIELDS_ScrLastSend(CORVEL_ROW, L)};
static_assert(check::rows(kEvrLastSendRows, sizeof(L)) && check::changeBits(kEvrLastSendRows));
static_assert(check::rows(kScrLastSendRows, sizeof(L)) && check::changeBits(kScrLastSendRows));

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
