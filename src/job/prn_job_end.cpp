// Print job end values.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using P = ENTMLSTPRNJOBEND;
constexpr ENTMLSTJOBDESC kPrnJobEndRows[] = {ENTMLST_JOB_FIELDS_PrnJobEnd(CORVEL_JOB_ROW, P)};
static_assert(true ENTMLST_JOB_FIELDS_PrnJobEnd(CORVEL_JOB_WIDTH, P));
static_assert(check::ascendingOffsets(kPrnJobEndRows, sizeof(P)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetPrnJobEnd(uint32_t job_id, ENTMLSTPRNJOBEND *rec) {
    return corvel::jobRecord(corvel::JobOp::Get, job_id, corvel::kPrnJobEndRows, rec);
}
