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
 * arguments, job- or value-ID arguments). The log kind is how a call is
 * logged: call, notification or monitor. Argument sets are bit masks,
 * CORVEL_ARG(i) for argument i: the simulator names a settings ID in its
 * log, and a fault's match= looks for an ID among them. The monitor logs
 * its first three arguments; its line is the entry's text. The prototypes
 * below are tied to their rows where the simulator builds its table.
 */
#define CORVEL_ARG(i) (1u << (i))
#define CORVEL_DEVICE_SERVICES(X)                                                                            \
    X(meSTCGetStatus, call, 3, CORVEL_ARG(1), 0)                                                             \
    X(meSTCSetStatus, call, 4, CORVEL_ARG(2), 0)                                                             \
    X(meSVCGetCurrent, call, 3, 0, CORVEL_ARG(0) | CORVEL_ARG(1))                                            \
    X(meSVCSetCurrent, call, 4, 0, CORVEL_ARG(1) | CORVEL_ARG(2))                                            \
    X(mectInitDefault, call, 2, 0, 0)                                                                        \
    X(mectSetDstProduct, call, 2, 0, 0)                                                                      \
    X(mectSetDstArea, call, 2, 0, 0)                                                                         \
    X(mectIdSync, call, 1, 0, 0)                                                                             \
    X(mectSVCGetParentLink, call, 3, 0, CORVEL_ARG(1))                                                       \
    X(mectSVCGetChildLink, call, 5, 0, CORVEL_ARG(1))                                                        \
    X(mectGetChildLinkNum, call, 4, 0, CORVEL_ARG(1))                                                        \
    X(mectGetChildLink, call, 5, 0, CORVEL_ARG(1))                                                           \
    X(mectSVCGetCurrent, call, 3, 0, CORVEL_ARG(0) | CORVEL_ARG(1))                                          \
    X(mscMLPRNChgSchedule, notification, 2, 0, 0)                                                            \
    X(mscMLRPTChgSMTPProtocol, notification, 1, 0, 0)                                                        \
    X(mscMLRPTChgEventReportTime, notification, 1, 0, 0)                                                     \
    X(mscMLRPTChgScheduleReportTime, notification, 1, 0, 0)                                                  \
    X(mscMLRPTChgMaintenanceReportTime, notification, 0, 0, 0)                                               \
    X(emwOSWOrgAllocMemPart, call, 3, 0, 0)                                                                  \
    X(emwOSWOrgFreeMemPart, call, 2, 0, 0)                                                                   \
    X(emwGENMonSendMessage, monitor, 3, 0, 0)

#ifdef __cplusplus
extern "C" {
#endif

/* Settings store: the store knows each value's size and moves exactly that many bytes. */
uint32_t meSTCGetStatus(uint32_t area, uint32_t settings_id, void *dst);
uint32_t meSTCSetStatus(uint32_t writer, uint32_t area, uint32_t settings_id, const void *src);

/* Job-value service: the service knows each value's width. */
uint32_t meSVCGetCurrent(uint32_t job_id, uint32_t value_id, void *dst);
uint32_t meSVCSetCurrent(uint32_t writer, uint32_t job_id, uint32_t value_id, const void *src);

/* ID service. */
uint32_t mectInitDefault(uint32_t kind, uint32_t arg);
uint32_t mectSetDstProduct(uint32_t kind, uint32_t product);
uint32_t mectSetDstArea(uint32_t kind, uint32_t area);
uint32_t mectIdSync(uint32_t kind);

/* Job-link service. */
uint32_t mectSVCGetParentLink(uint32_t selector, uint32_t job_id, uint32_t *parent_id);
uint32_t mectSVCGetChildLink(uint32_t selector, uint32_t job_id, uint32_t link_kind, uint32_t index,
                             uint32_t *link_id);
uint32_t mectGetChildLinkNum(uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t *number);
uint32_t mectGetChildLink(uint32_t selector, uint32_t job_id, int32_t link_kind, int32_t index,
                          uint32_t *link_id);
uint32_t mectSVCGetCurrent(uint32_t link_id, uint32_t value_id, void *dst);

/* Mail scheduler and report services. */
uint32_t mscMLPRNChgSchedule(uint32_t a, uint32_t b);
uint32_t mscMLRPTChgSMTPProtocol(uint32_t protocol);
uint32_t mscMLRPTChgEventReportTime(uint32_t recipient);
uint32_t mscMLRPTChgScheduleReportTime(uint32_t recipient);
uint32_t mscMLRPTChgMaintenanceReportTime(void);

/* Memory partition. */
uint32_t emwOSWOrgAllocMemPart(uint32_t partition, void **block, uint32_t size);
uint32_t emwOSWOrgFreeMemPart(uint32_t partition, void *block);

/* Monitor: printf-style format; each value a 32-bit number or, for %s, a string. */
uint32_t emwGENMonSendMessage(uint32_t module, uint32_t msg_class, uint32_t zero, const char *format, ...);

#ifdef __cplusplus
}
#endif

#endif /* CORVELLIB_DEVICE_SERVICES_H */
