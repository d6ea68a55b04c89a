// Current send values.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using C = ENTMLSTCURSEND;
constexpr ENTMLSTJOBDESC kCurSendRows[] = {ENTMLST_JOB_FIELDS_CurSend(CORVEL_JOB_ROW, C)};
static_assert(true ENTMLST_JOB_FIELDS_CurSend(CORVEL_JOB_WIDTH, C));
static_assert(check::ascendingOffsets(kCurSendRows, sizeof(C)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetCurSend(uint32_t job_id, ENTMLSTCURSEND *rec) {
    return corvel::jobRecord(corvel::JobOp::Get, job_id, corvel::kCurSendRows, rec);
}
