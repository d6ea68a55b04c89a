// Start-up: ID service set-up and every scheduler/report notification once;
// waiting for ID synchronisation.
#include <unistd.h>

#include "frame/device_services.h"
#include "frame/export.h"
#include "frame/notify.h"
#include "frame/diag.h"

namespace corvel {
namespace {

enum class Op : uint8_t { InitDefault, DstProduct, DstArea, ReadProtocol, Notification };

// One start-up step: its call, the argument it takes from the table, the
// message of its failure and the code it then leaves in the result.
struct Step {
    Op op;
    Notify notify;
    uint8_t arg;
    Msg msg;
    uint8_t code; // low byte of the 0x7002xxxx code
};

constexpr uint32_t kIdServiceKind = 8;
constexpr uint32_t kIdSyncKind = 2;
constexpr uint32_t kProtocolId = 0x85005fec; // the SMTP group's protocol selector
constexpr uint32_t kCodeBase = 0x70020000;

constexpr uint8_t low(uint32_t code) { return static_cast<uint8_t>(code - kCodeBase); }

constexpr Step kSteps[] = {
    {Op::InitDefault, Notify::None, 0, Msg::InitDefault, low(ENTMLST_ERR_INIT_DEFAULT)},
    {Op::DstProduct, Notify::None, 0, Msg::DstProduct, low(ENTMLST_ERR_DST_PRODUCT)},
    {Op::DstArea, Notify::None, 0, Msg::DstArea, low(ENTMLST_ERR_DST_AREA)},
    {Op::ReadProtocol, Notify::None, 0, Msg::InitStatusGet, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::SmtpProtocol, 0, Msg::NotifySmtpProto, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::EventTime, 1, Msg::NotifyEventTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::EventTime, 2, Msg::NotifyEventTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::EventTime, 3, Msg::NotifyEventTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::ScheduleTime, 1, Msg::NotifySchTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::ScheduleTime, 2, Msg::NotifySchTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::ScheduleTime, 3, Msg::NotifySchTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::MainteTime, 0, Msg::NotifyMainteTime, low(ENTMLST_ERR_NOTIFY)},
    {Op::Notification, Notify::Schedule, 0, Msg::NotifySchedule00, low(ENTMLST_ERR_SCHEDULE)},
};
static_assert(sizeof(kSteps) / sizeof(kSteps[0]) == 13, "start-up makes 13 calls");

uint32_t runStep(const Step &s, uint32_t dst_area, uint8_t &protocol) {
    switch (s.op) {
    case Op::InitDefault: return mectInitDefault(kIdServiceKind, 0);
    case Op::DstProduct: return mectSetDstProduct(kIdServiceKind, 0);
    case Op::DstArea: return mectSetDstArea(kIdServiceKind, dst_area);
    case Op::ReadProtocol: return meSTCGetStatus(ENTMLST_STATUS_AREA, kProtocolId, &protocol);
    case Op::Notification: break;
    }
    // The protocol selector goes out as the store left it, zero-extended.
    return sendNotification(s.notify, s.notify == Notify::SmtpProtocol ? protocol : s.arg);
}

} // namespace
} // namespace corvel

using namespace corvel;

CORVEL_EXPORT uint32_t entMLSTInit(uint32_t dst_area) {
    Result result = ENTMLST_OK;
    uint8_t protocol = 0;
    for (const Step &s : kSteps) {
        if (uint32_t ret = runStep(s, dst_area, protocol); ret != 0) {
            diagNamed(s.msg, Msg::FnInit, ret);
            result = kCodeBase + s.code;
        }
    }
    return result;
}

CORVEL_EXPORT uint32_t entMLSTSyncMe(void) {
    for (;;) {
        uint32_t ret = mectIdSync(kIdSyncKind);
        if (ret == ENTMLST_OK) return ENTMLST_OK;
        if (ret != ENTMLST_ID_SYNC_PENDING) {
            diagNamed(Msg::IdSync, Msg::FnSyncMe, ret);
            return ENTMLST_ERR_ID_SYNC;
        }
        usleep(ENTMLST_ID_SYNC_POLL_US);
    }
}
