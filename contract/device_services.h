/*
 * The device's services, imported by name and resolved when the library is
 * loaded. Every argument and result is 32 bits wide: unsigned values or
 * pointers. A result of 0 is success; anything else is a failure code that
 * the library prints and, apart from mectIdSync's "not yet" answer and the
 * codes entMLSTGetSendJobResult hands back, does not interpret.
 *
 * Plain C so that the simulator and the device implement the same list.
 */
#ifndef CORVELLIB_DEVICE_SERVICES_H
#define CORVELLIB_DEVICE_SERVICES_H

#include <stdint.h>

/*
 * Every service once: X(name, log kind, logged arguments, settings-ID
 * arguments, job- or value-ID arguments, (parameters), (argument names)).
 * The log kind is how a call is logged: call, notification or monitor.
 * Argument sets are bit masks, CORVEL_ARG(i) for argument i: the simulator
 * names a settings ID in its log, and a fault's match= looks for an ID among
 * them. The monitor logs its first three arguments; its line is the entry's
 * text. The prototypes below are expanded from the rows; the simulator
 * checks each row's argument count against its prototype.
 */
#define CORVEL_ARG(i) (1u << (i))
#define CORVEL_DEVICE_SERVICES(X)                                                                            \
    /* Settings store: the store knows each value's size and moves exactly that many bytes. */               \
    X(meSTCGetStatus, call, 3, CORVEL_ARG(1), 0, (uint32_t area, uint32_t settings_id, void *dst),           \
      (area, settings_id, dst))                                                                              \
    X(meSTCSetStatus, call, 4, CORVEL_ARG(2), 0,                                                             \
      (uint32_t writer, uint32_t area, uint32_t settings_id, const void *src),                               \
      (writer, area, settings_id, src))                                                                      \
    /* Job-value service: the service knows each value's width. */                                           \
    X(meSVCGetCurrent, call, 3, 0, CORVEL_ARG(0) | CORVEL_ARG(1),                                            \
      (uint32_t job_id, uint32_t value_id, void *dst), (job_id, value_id, dst))                              \
    X(meSVCSetCurrent, call, 4, 0, CORVEL_ARG(1) | CORVEL_ARG(2),                                            \
      (uint32_t writer, uint32_t job_id, uint32_t value_id, const void *src),                                \
      (writer, job_id, value_id, src))                                                                       \
    /* ID service. */                                                                                        \
    X(mectInitDefault, call, 2, 0, 0, (uint32_t kind, uint32_t arg), (kind, arg))                            \
    X(mectSetDstProduct, call, 2, 0, 0, (uint32_t kind, uint32_t product), (kind, product))                  \
    X(mectSetDstArea, call, 2, 0, 0, (uint32_t kind, uint32_t area), (kind, area))                           \
    X(mectIdSync, call, 1, 0, 0, (uint32_t kind), (kind))                                                    \
    /* Job-link service. */                                                                                  \
    X(mectSVCGetParentLink, call, 3, 0, CORVEL_ARG(1),                                                       \
      (uint32_t selector, uint32_t job_id, uint32_t * parent_id), (selector, job_id, parent_id))             \
    X(mectSVCGetChildLink, call, 5, 0, CORVEL_ARG(1),                                                        \
      (uint32_t selector, uint32_t job_id, uint32_t link_kind, uint32_t index, uint32_t * link_id),          \
      (selector, job_id, link_kind, index, link_id))                                                         \
    X(mectGetChildLinkNum, call, 4, 0, CORVEL_ARG(1),                                                        \
      (uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t * number),                             \
      (selector, job_id, link_kind, number))                                                                 \
    X(mectGetChildLink, call, 5, 0, CORVEL_ARG(1),                                                           \
      (uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t index, uint32_t * link_id),            \
      (selector, job_id, link_kind, index, link_id))                                                         \
    X(mectSVCGetCurrent, call, 3, 0, CORVEL_ARG(0) | CORVEL_ARG(1),                                          \
      (uint32_t link_id, uint32_t value_id, void *dst), (link_id, value_id, dst))                            \
    /* Mail scheduler and report services. */                                                                \
    X(mscMLPRNChgSchedule, notification, 2, 0, 0, (uint32_t a, uint32_t b), (a, b))                          \
    X(mscMLRPTChgSMTPProtocol, notification, 1, 0, 0, (uint32_t protocol), (protocol))                       \
    X(mscMLRPTChgEventReportTime, notification, 1, 0, 0, (uint32_t recipient), (recipient))                  \
    X(mscMLRPTChgScheduleReportTime, notification, 1, 0, 0, (uint32_t recipient), (recipient))               \
    X(mscMLRPTChgMaintenanceReportTime, notification, 0, 0, 0, (void), ())                                   \
    /* Memory partition. */                                                                                  \
    X(emwOSWOrgAllocMemPart, call, 3, 0, 0, (uint32_t partition, void **block, uint32_t size),               \
      (partition, block, size))                                                                              \
    X(emwOSWOrgFreeMemPart, call, 2, 0, 0, (uint32_t partition, void *block), (partition, block))            \
    /* Monitor: printf-style format; each value a 32-bit number or, for %s, a string. */                     \
    X(emwGENMonSendMessage, monitor, 3, 0, 0,                                                                \
      (uint32_t module, uint32_t msg_class, uint32_t zero, const char *format, ...),                         \
      (module, msg_class, zero, format))

#ifdef __cplusplus
extern "C" {
#endif

#define CORVEL_DEVICE_SERVICE_PROTOTYPE(name, kind, logged, settings, ids, params, args) uint32_t name params;
CORVEL_DEVICE_SERVICES(CORVEL_DEVICE_SERVICE_PROTOTYPE)
#undef CORVEL_DEVICE_SERVICE_PROTOTYPE

#ifdef __cplusplus
}
#endif

#endif /* CORVELLIB_DEVICE_SERVICES_H */
