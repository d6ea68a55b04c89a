// Start-up: ID service set-up and every scheduler/report notification once;
// waiting for ID synchronisation.
#include <unistd.h>

#include "device_services.h"
#include "frame/diag.h"
#include "frame/export.h"

namespace corvel {
namespace {

constexpr uint32_t kIdServiceKind = 8;
constexpr uint32_t kIdSyncKind = 2;
constexpr uint32_t kProtocolId = 0x85005fec; // the SMTP group's protocol selector

// Start-up never stops at a failure: each failing step reports itself and
// leaves its code, so the last failing step's code is returned.
class Steps {
public:
    void check(uint32_t ret, Msg msg, Result code) {
        if (ret != 0) failed(ret, msg, code);
    }
    Result result() const { return result_; }

private:
    [[gnu::noinline, gnu::cold]] void failed(uint32_t ret, Msg msg, Result code) {
        diagNamed(msg, Msg::FnInit, ret);
        result_ = code;
    }
    Result result_ = ENTMLST_OK;
};

} // namespace
} // namespace corvel

using namespace corvel;

// The 13 steps, in the order the device expects them.
CORVEL_EXPORT uint32_t entMLSTInit(uint32_t dst_area) {
    Steps s;
    s.check(mectInitDefault(kIdServiceKind, 0), Msg::InitDefault, ENTMLST_ERR_INIT_DEFAULT);
    s.check(mectSetDstProduct(kIdServiceKind, 0), Msg::DstProduct, ENTMLST_ERR_DST_PRODUCT);
    s.check(mectSetDstArea(kIdServiceKind, dst_area), Msg::DstArea, ENTMLST_ERR_DST_AREA);
    // The protocol selector goes out as the store left it (0 unless written),
    // zero-extended, even when the read failed.
    uint8_t protocol = 0;
    s.check(meSTCGetStatus(ENTMLST_STATUS_AREA, kProtocolId, &protocol), Msg::InitStatusGet,
            ENTMLST_ERR_NOTIFY);
    s.check(mscMLRPTChgSMTPProtocol(protocol), Msg::NotifySmtpProto, ENTMLST_ERR_NOTIFY);
    for (uint32_t recipient = 1; recipient <= 3; ++recipient)
        s.check(mscMLRPTChgEventReportTime(recipient), Msg::NotifyEventTime, ENTMLST_ERR_NOTIFY);
    for (uint32_t recipient = 1; recipient <= 3; ++recipient)
        s.check(mscMLRPTChgScheduleReportTime(recipient), Msg::NotifySchTime, ENTMLST_ERR_NOTIFY);
    s.check(mscMLRPTChgMaintenanceReportTime(), Msg::NotifyMainteTime, ENTMLST_ERR_NOTIFY);
    s.check(mscMLPRNChgSchedule(0, 0), Msg::NotifySchedule00, ENTMLST_ERR_SCHEDULE);
    return s.result();
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
