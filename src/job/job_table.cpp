#include "job/job_table.h"

#include "device_services.h"

namespace corvel {

Result jobTable(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC *rows, std::size_t count, void *record,
                Msg fail_msg) {
    auto *rec = static_cast<uint8_t *>(record);
    for (std::size_t i = 0; i < count; ++i) {
        const ENTMLSTJOBDESC &row = rows[i];
        uint32_t ret = op == JobOp::Get
                           ? meSVCGetCurrent(job_id, row.value_id, rec + row.offset)
                           : meSVCSetCurrent(ENTMLST_MODULE_ID, job_id, row.value_id, rec + row.offset);
        if (ret != 0) {
            diag(fail_msg, job_id, row.value_id, ret);
            return op == JobOp::Get ? ENTMLST_ERR_JOB_GET : ENTMLST_ERR_JOB_SET;
        }
    }
    return ENTMLST_OK;
}

Result jobRecord(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC *rows, std::size_t count,
                 const void *record) {
    if (record == nullptr) return paramError(Msg::Param);
    return jobTable(op, job_id, rows, count, const_cast<void *>(record),
                    op == JobOp::Get ? Msg::JobGet : Msg::JobSet);
}

} // namespace corvel
