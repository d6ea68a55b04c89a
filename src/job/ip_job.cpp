// IP job values, the fax image path and fax report image of a job, and the
// send results of a job's children.
#include <cstring>

#include "device_services.h"
#include "frame/export.h"
#include "job/job_table.h"

namespace corvel {
namespace {

using J = ENTMLSTIPJOB;
constexpr ENTMLSTJOBDESC kIpJobRows[] = {ENTMLST_JOB_FIELDS_IpJob(CORVEL_JOB_ROW, J)};
constexpr ENTMLSTJOBDESC kParentJobRows[] = {ENTMLST_JOB_FIELDS_IpJobParent(CORVEL_JOB_ROW, J)};
static_assert(true ENTMLST_JOB_FIELDS_IpJob(CORVEL_JOB_WIDTH, J));
static_assert(true ENTMLST_JOB_FIELDS_IpJobParent(CORVEL_JOB_WIDTH, J));
static_assert(check::ascendingOffsets(kIpJobRows, offsetof(J, parent_job_id)));
static_assert(check::ascendingOffsets(kParentJobRows, sizeof(J)));

constexpr ENTMLSTJOBDESC kJobBoxRows[] = {ENTMLST_JOB_FIELDS_JobBox(CORVEL_JOB_VALUE_ROW, _)};
constexpr ENTMLSTJOBDESC kFaxRepAddImgRows[] = {ENTMLST_JOB_FIELDS_FaxRepAddImg(CORVEL_JOB_VALUE_ROW, _)};

// The fax image path is value kValueJobBox of the job's first link of this kind.
constexpr uint32_t kFaxImageLinkKind = 0x1000;
constexpr uint32_t kFaxImageLinkIndex = 0;

#define CORVEL_LINK_ROW(kind, link, name_id, status_id) ENTMLSTLINKDESC{kind, name_id, status_id},
constexpr ENTMLSTLINKDESC kSendResultKinds[] = {ENTMLST_JOB_LINKS(CORVEL_LINK_ROW)};
#undef CORVEL_LINK_ROW
// A fax child with an empty name is listed under this value instead.
constexpr uint32_t kFaxNameFallback = ENTMLST_JOB_FIELDS_FaxNameFallback(CORVEL_JOB_ID, _);
constexpr std::size_t kNameSize = sizeof(ENTMLSTSENDRESULT::name);

const ENTMLSTLINKDESC *findKind(int32_t kind) {
    for (const auto &row : kSendResultKinds)
        if (row.kind == kind) return &row;
    return nullptr;
}

// Reads child index's status and name; the entry is written only when all
// reads succeeded.
uint32_t listChild(uint32_t job_id, const ENTMLSTLINKDESC &row, int32_t index, ENTMLSTSENDRESULT *entry) {
    uint8_t name[kNameSize];
    uint8_t status = 0;
    std::memset(name, 0, sizeof name);
    uint32_t link_id = 0;
    uint32_t ret = mectGetChildLink(ENTMLST_LINK_SELECTOR, job_id, row.kind, index, &link_id);
    if (ret == 0) ret = mectSVCGetCurrent(link_id, row.status_id, &status);
    if (ret == 0) ret = mectSVCGetCurrent(link_id, row.name_id, name);
    if (ret == 0 && row.kind == ENTMLST_LINK_KIND_FAX && name[0] == 0)
        ret = mectSVCGetCurrent(link_id, kFaxNameFallback, name);
    if (ret != 0) return ret;
    std::memcpy(entry->name, name, sizeof name);
    entry->status = status;
    return 0;
}

} // namespace
} // namespace corvel

using namespace corvel;

CORVEL_EXPORT uint32_t entMLSTGetIpJob(uint32_t ip_job_id, ENTMLSTIPJOB *rec) {
    if (Result r = jobRecord(JobOp::Get, ip_job_id, kIpJobRows, rec); r != ENTMLST_OK) return r;
    uint32_t ret = mectSVCGetParentLink(ENTMLST_LINK_SELECTOR, ip_job_id, &rec->parent_job_id);
    if (ret != 0) {
        diag(Msg::ParentLink, ip_job_id, ret);
        return ENTMLST_ERR_PARENT_LINK;
    }
    return jobTable(JobOp::Get, rec->parent_job_id, kParentJobRows, rec, Msg::JobGetUser);
}

CORVEL_EXPORT uint32_t entMLSTGetIpJobRst(uint32_t job_id, uint32_t value_id, void *dst) {
    if (dst == nullptr) return paramError(Msg::Param);
    uint32_t ret = meSVCGetCurrent(job_id, value_id, dst);
    if (ret != 0) {
        diag(Msg::JobGetRst, job_id, value_id, ret);
        return ENTMLST_ERR_JOB_GET;
    }
    return ENTMLST_OK;
}

CORVEL_EXPORT uint32_t entMLSTGetIpJobBox(uint32_t job_id, void *dst) {
    return jobRecord(JobOp::Get, job_id, kJobBoxRows, dst);
}

CORVEL_EXPORT uint32_t entMLSTGetFaxRepAddImg(uint32_t job_id, void *dst) {
    return jobRecord(JobOp::Get, job_id, kFaxRepAddImgRows, dst);
}

CORVEL_EXPORT uint32_t entMLSTGetFaxImgDataPath(uint32_t job_id, void *dst) {
    uint32_t link_id = 0;
    if (dst == nullptr) return paramError(Msg::Param);
    uint32_t ret =
        mectSVCGetChildLink(ENTMLST_LINK_SELECTOR, job_id, kFaxImageLinkKind, kFaxImageLinkIndex, &link_id);
    if (ret != 0) {
        diag(Msg::ChildLink, job_id, link_id, ret);
        return ENTMLST_ERR_CHILD_LINK;
    }
    ret = meSVCGetCurrent(link_id, kValueJobBox, dst);
    if (ret != 0) {
        diag(Msg::JobGetLink, job_id, link_id, ret);
        return ENTMLST_ERR_JOB_GET;
    }
    return ENTMLST_OK;
}

// Reports nothing to the monitor; hands the services' own codes back.
CORVEL_EXPORT uint32_t entMLSTGetSendJobResult(uint32_t job_id, int32_t link_kind, int32_t capacity,
                                               ENTMLSTSENDRESULT *entries, int32_t *count) {
    if (count != nullptr) *count = 0;
    if (count == nullptr || entries == nullptr) return ENTMLST_ERR_PARAM;
    const ENTMLSTLINKDESC *row = findKind(link_kind);
    if (row == nullptr) return ENTMLST_SENDRESULT_BAD_KIND;

    int32_t number = 0;
    uint32_t ret = mectGetChildLinkNum(ENTMLST_LINK_SELECTOR, job_id, link_kind, &number);
    if (ret != 0) return ret;
    if (capacity < number) return ENTMLST_OK;
    *count = number;
    for (int32_t i = 0; i < number; ++i) {
        ret = listChild(job_id, *row, i, &entries[i]);
        if (ret != 0) return ret;
    }
    return ENTMLST_OK;
}
