// job_fields.h - each job record's fields and the link values, listed once.
//
// The library builds its job rows from these lists, the entmlst tool its job
// record tables and the simulator the names of job value IDs. As with
// fields.h, the tests and the simulator's catalogue never expand them: they
// keep their own widths and values, which is what catches a wrong ID here.
//
// ENTMLST_JOB_FIELDS_<Name>(X, a), in the record's member order, expands
//   X(a, member, value ID, width, kind)
//   width   the member's size: the width the device keeps the value at
//   kind    number (big-endian) or text
// A job value is named RECORD.member after the record that lists it first
// (ENTMLST_JOB_RECORDS' order); a later record listing the same value ID
// reads or writes that same value under the first name.
#pragma once

#include <cstdint>

// ENTMLSTIPJOB: the job's own values, then (after parent_job_id, which the
// job-link service fills) the parent job's.
#define ENTMLST_JOB_FIELDS_IpJob(X, a)                                                                       \
    X(a, address, 0x00317800, 128, text)                                                                     \
    X(a, subject, 0x00318002, 256, text)                                                                     \
    X(a, body, 0x00318003, 256, text)                                                                        \
    X(a, kind, 0x0036000b, 1, number)                                                                        \
    X(a, attach_mode, 0x00460000, 1, number)                                                                 \
    X(a, attach_format, 0x00460001, 1, number)                                                               \
    X(a, status, 0x00360044, 1, number)                                                                      \
    X(a, file_name, 0x00317000, 128, text)
#define ENTMLST_JOB_FIELDS_IpJobParent(X, a)                                                                 \
    X(a, user_info1, 0x00182000, 4, number)                                                                  \
    X(a, user_info2, 0x00282000, 4, number)

#define ENTMLST_JOB_FIELDS_PrnJobEnd(X, a)                                                                   \
    X(a, result, 0x00460022, 1, number)                                                                      \
    X(a, reason, 0x00460024, 1, number)                                                                      \
    X(a, detail, 0x0046001c, 1, number)

#define ENTMLST_JOB_FIELDS_CurSend(X, a)                                                                     \
    X(a, address, 0x00617800, 128, text)                                                                     \
    X(a, sender, 0x00417000, 128, text)                                                                      \
    X(a, subject, 0x00318000, 256, text)                                                                     \
    X(a, body, 0x00318001, 256, text)

#define ENTMLST_JOB_FIELDS_MailAttach(X, a)                                                                  \
    X(a, attach_mode, 0x00460000, 1, number)                                                                 \
    X(a, attach_format, 0x00460001, 1, number)                                                               \
    X(a, resolution, 0x00360005, 1, number)

// The values a job function reads alone, as one-field records: the job box
// (on a fax child, its image path), the fax report image, and the name a fax
// child with an empty name is listed under.
#define ENTMLST_JOB_FIELDS_JobBox(X, a) X(a, path, 0x00d17000, 256, text)
#define ENTMLST_JOB_FIELDS_FaxRepAddImg(X, a) X(a, image, 0x0036000e, 1, number)
#define ENTMLST_JOB_FIELDS_FaxNameFallback(X, a) X(a, name_fallback, 0x00817001, 128, text)

// Every list above under its record's name, in naming order:
//   X(list, record name)
#define ENTMLST_JOB_RECORDS(X)                                                                               \
    X(IpJob, "ip")                                                                                           \
    X(IpJobParent, "ip")                                                                                     \
    X(PrnJobEnd, "print-end")                                                                                \
    X(CurSend, "current-send")                                                                               \
    X(MailAttach, "attach")                                                                                  \
    X(JobBox, "fax")                                                                                         \
    X(FaxRepAddImg, "fax-report")                                                                            \
    X(FaxNameFallback, "fax")

// Each send-result link kind with its children's name and status values,
// named LINK.name and LINK.status (after the records):
//   X(kind, link name, name value ID, status value ID)
#define ENTMLST_JOB_LINKS(X)                                                                                 \
    X(ENTMLST_LINK_KIND_FAX, "fax", 0x00716800, 0x00860004)                                                  \
    X(ENTMLST_LINK_KIND_MAIL, "mail", 0x00617800, 0x00660000)                                                \
    X(ENTMLST_LINK_KIND_0100, "link-0100", 0x00916000, 0x00960000)                                           \
    X(ENTMLST_LINK_KIND_0200, "link-0200", 0x00a16000, 0x00a60000)

// Link kinds by the names the tools take them by: the send-result kinds
// and the link to a job's fax image (entMLSTGetFaxImgDataPath, index 0).
//   X(kind, name)
#define ENTMLST_LINK_KIND_NAMES(X)                                                                           \
    X(ENTMLST_LINK_KIND_FAX, "fax")                                                                          \
    X(ENTMLST_LINK_KIND_MAIL, "mail")                                                                        \
    X(ENTMLST_LINK_KIND_0100, "0100")                                                                        \
    X(ENTMLST_LINK_KIND_0200, "0200")                                                                        \
    X(0x1000, "fax-image")

namespace corvel::registry {

// One job value as it is named: record, member and value ID.
struct JobValue {
    const char *record;
    const char *member;
    uint32_t value_id;
};

#define ENTMLST_JOB_VALUE_ROW_(a, member, id, width, kind) JobValue{a, #member, id},
#define ENTMLST_JOB_RECORD_ROWS_(List, record) ENTMLST_JOB_FIELDS_##List(ENTMLST_JOB_VALUE_ROW_, record)
#define ENTMLST_JOB_LINK_ROWS_(kind, link, name_id, status_id)                                               \
    JobValue{link, "name", name_id}, JobValue{link, "status", status_id},
// Every job value in naming order; a value ID's first row names it.
inline constexpr JobValue kJobValues[] = {ENTMLST_JOB_RECORDS(ENTMLST_JOB_RECORD_ROWS_)
                                              ENTMLST_JOB_LINKS(ENTMLST_JOB_LINK_ROWS_)};
#undef ENTMLST_JOB_LINK_ROWS_
#undef ENTMLST_JOB_RECORD_ROWS_
#undef ENTMLST_JOB_VALUE_ROW_

} // namespace corvel::registry
