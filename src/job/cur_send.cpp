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
static_assert(check::ascendingOffsets(kCurSendRows, sizeof(C)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetCurSend(uint32_t job_id, ENTMLSTCURSEND *rec) {
    return corvel::jobRecord(corvel::JobOp::Get, job_id, corvel::kCurSendRows, rec);
}
