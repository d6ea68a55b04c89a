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
