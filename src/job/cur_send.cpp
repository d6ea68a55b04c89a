// Current send values.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using C = ENTMLSTCURSEND;
constexpr ENTMLSTJOBDESC kCurSendRows[] = {
    {0x00617800, offsetof(C, address)},
    {0x00417000, offsetof(C, sender)},
    {0x00318000, offsetof(C, subject)},
    {0x00318001, offsetof(C, body)},
};
static_assert(ascending(kCurSendRows, sizeof(C)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetCurSend(uint32_t job_id, ENTMLSTCURSEND *rec) {
    using namespace corvel;
    if (rec == nullptr) return paramError(Msg::Param);
    return jobTable(JobOp::Get, job_id, kCurSendRows, rec, Msg::JobGet);
}
