#include "frame/notify.h"

#include "device_services.h"

namespace corvel {

uint32_t sendNotification(Notify n, uint32_t arg) {
    switch (n) {
    case Notify::Schedule:
        return mscMLPRNChgSchedule(0, 0);
    case Notify::SmtpProtocol:
        return mscMLRPTChgSMTPProtocol(arg);
    case Notify::EventTime:
        return mscMLRPTChgEventReportTime(arg);
    case Notify::ScheduleTime:
        return mscMLRPTChgScheduleReportTime(arg);
    case Notify::MainteTime:
        return mscMLRPTChgMaintenanceReportTime();
    case Notify::None:
        break;
    }
    return 0;
}

} // namespace corvel
