// Mail attachment values: every row written on every call, no comparison.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using M = ENTMLSTMAILATTACH;
constexpr ENTMLSTJOBDESC kMailAttachRows[] = {
    {0x00460000, offsetof(M, attach_mode)},
    {0x00460001, offsetof(M, attach_format)},
    {0x00360005, offsetof(M, resolution)},
};
static_assert(check::ascendingOffsets(kMailAttachRows, sizeof(M)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTSetMailAttach(uint32_t job_id, const ENTMLSTMAILATTACH *rec) {
    return corvel::jobRecord(corvel::JobOp::Set, job_id, corvel::kMailAttachRows, rec);
}
