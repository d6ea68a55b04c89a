// Job values: descriptor rows and the one table walk every table-driven job
// function uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/diag.h"
#include "frame/table_check.h"
#include "job_fields.h"

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
[[nodiscard]] Result jobTable(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC *rows, std::size_t count,
                              void *record, Msg fail_msg);

template <std::size_t N>
[[nodiscard]] inline Result jobTable(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC (&rows)[N], void *record,
                                     Msg fail_msg) {
    return jobTable(op, job_id, rows, N, record, fail_msg);
}

// The whole of a table-driven job function: a null record is refused, then
// the table is walked with the common failure text ("ipjobid=0x%x,id=0x%x").
// A Set only reads from the record.
[[nodiscard]] Result jobRecord(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC *rows, std::size_t count,
                               const void *record);

template <std::size_t N>
[[nodiscard]] inline Result jobRecord(JobOp op, uint32_t job_id, const ENTMLSTJOBDESC (&rows)[N],
                                      const void *record) {
    return jobRecord(op, job_id, rows, N, record);
}

// Rows built from a job record's field list (job_fields.h): a record's
// member at its offset; static_assert(true LIST(CORVEL_JOB_WIDTH, Rec))
// checks each member is as wide as the list says.
#define CORVEL_JOB_ROW(Rec, member, id, width, kind) ENTMLSTJOBDESC{id, offsetof(Rec, member)},
#define CORVEL_JOB_WIDTH(Rec, member, id, width, kind) &&sizeof(Rec::member) == (width)
// A one-value list's value ID, and its row for a caller's destination.
#define CORVEL_JOB_ID(a, member, id, width, kind) id
#define CORVEL_JOB_VALUE_ROW(a, member, id, width, kind) ENTMLSTJOBDESC{id, 0},

// The IP job box and, read from a linked job, the fax image data path.
inline constexpr uint32_t kValueJobBox = ENTMLST_JOB_FIELDS_JobBox(CORVEL_JOB_ID, _);

} // namespace corvel
