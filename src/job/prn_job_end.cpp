// Print job end values.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using P = ENTMLSTPRNJOBEND;
constexpr ENTMLSTJOBDESC kPrnJobEndRows[] = {
    {0x00460022, offsetof(P, result)},
    {0x00460024, offsetof(P, reason)},
    {0x0046001c, offsetof(P, detail)},
};
static_assert(check::ascendingOffsets(kPrnJobEndRows, sizeof(P)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetPrnJobEnd(uint32_t job_id, ENTMLSTPRNJOBEND *rec) {
    return corvel::jobRecord(corvel::JobOp::Get, job_id, corvel::kPrnJobEndRows, rec);
}
