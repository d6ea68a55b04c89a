// Job values: descriptor rows and the one table walk every table-driven job
// function uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/diag.h"

namespace corvel {

// One value of a job; the job-value service alone knows its width.
struct ENTMLSTJOBDESC {
    uint32_t value_id;
    uint32_t offset; // where the value goes in (or comes from) the record
};
static_assert(sizeof(ENTMLSTJOBDESC) == 8);

// One send-result link kind: the child values listed as name and status.
struct ENTMLSTLINKDESC {
    int32_t kind;
    uint32_t name_id;
    uint32_t status_id;
};
static_assert(sizeof(ENTMLSTLINKDESC) == 12);

enum class JobOp : uint8_t { Get, Set };

// Reads (meSVCGetCurrent) or writes (meSVCSetCurrent) every row in order;
// the first failure sends fail_msg (job ID, value ID, code) and ends the walk
// with ENTMLST_ERR_JOB_GET or ENTMLST_ERR_JOB_SET.
[[nodiscard]] Result jobTable(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC *rows,
                              std::size_t count, void *record, Msg fail_msg);

template <std::size_t N>
[[nodiscard]] inline Result jobTable(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC (&rows)[N],
                                     void *record, Msg fail_msg) {
    return jobTable(op, job_id, rows, N, record, fail_msg);
}

// Offsets ascend: each field reaches at most to the next one.
template <std::size_t N>
constexpr bool ascending(const ENTMLSTJOBDESC (&rows)[N], std::size_t record_size) {
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].offset >= record_size) return false;
        if (i > 0 && rows[i].offset <= rows[i - 1].offset) return false;
    }
    return true;
}

// Value 0x00d17000 is the IP job box and, read from a linked job, the fax
// image data path.
inline constexpr uint32_t kValueJobBox = 0x00d17000;

} // namespace corvel
