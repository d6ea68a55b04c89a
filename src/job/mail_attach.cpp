// Mail attachment values: every row written on every call, no comparison.
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using M = ENTMLSTMAILATTACH;
constexpr ENTMLSTJOBDESC kMailAttachRows[] = {ENTMLST_JOB_FIELDS_MailAttach(CORVEL_JOB_ROW, M)};
static_assert(true ENTMLST_JOB_FIELDS_MailAttach(CORVEL_JOB_WIDTH, M));
static_assert(check::ascendingOffsets(kMailAttachRows, sizeof(M)));

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTSetMailAttach(uint32_t job_id, const ENTMLSTMAILATTACH *rec) {
    return corvel::jobRecord(corvel::JobOp::Set, job_id, corvel::kMailAttachRows, rec);
}
