// The mail scheduler and report notifications, sent by the Set functions
// after a change and by start-up once each.
#pragma once

#include <cstdint>

namespace corvel {

enum class Notify : uint8_t {
    None,
    Schedule,     // mscMLPRNChgSchedule(0, 0)
    SmtpProtocol, // mscMLRPTChgSMTPProtocol(protocol byte, zero-extended)
    EventTime,    // mscMLRPTChgEventReportTime(recipient)
    ScheduleTime, // mscMLRPTChgScheduleReportTime(recipient)
    MainteTime,   // mscMLRPTChgMaintenanceReportTime()
};

// Calls the notification's service with arg where it takes one; returns the
// service's answer (0 for Notify::None).
[[nodiscard]] uint32_t sendNotification(Notify n, uint32_t arg);

} // namespace corvel
