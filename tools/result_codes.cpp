// result_codes.cpp - the one table of result code names.
#include "result_codes.h"

#include "corvellib.h"

#include <cstdio>

namespace entmlst {
namespace {

struct CodeName {
    uint32_t code;
    const char *name;
};

#define CODE(c)                                                                                              \
    CodeName { c, #c }
constexpr CodeName kCodes[] = {
    CODE(ENTMLST_OK),
    CODE(ENTMLST_ERR_PARAM),
    CODE(ENTMLST_ERR_NOMEM),
    CODE(ENTMLST_ERR_JOB_GET),
    CODE(ENTMLST_ERR_JOB_SET),
    CODE(ENTMLST_ERR_STATUS_GET),
    CODE(ENTMLST_ERR_STATUS_SET),
    CODE(ENTMLST_ERR_NOTIFY),
    CODE(ENTMLST_ERR_SCHEDULE),
    CODE(ENTMLST_ERR_PARENT_LINK),
    CODE(ENTMLST_ERR_CHILD_LINK),
    CODE(ENTMLST_ERR_INIT_DEFAULT),
    CODE(ENTMLST_ERR_DST_PRODUCT),
    CODE(ENTMLST_ERR_DST_AREA),
    CODE(ENTMLST_ERR_ID_SYNC),
};
constexpr CodeName kBadKind = CODE(ENTMLST_SENDRESULT_BAD_KIND);
#undef CODE

std::string hex8(uint32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", code);
    return buf;
}

std::string named(const char *name, uint32_t code) { return std::string(name) + " (" + hex8(code) + ")"; }

} // namespace

std::string codeText(uint32_t code) {
    for (const CodeName &c : kCodes)
        if (c.code == code) return named(c.name, code);
    return hex8(code);
}

std::string sendResultCodeText(uint32_t code) {
    return code == kBadKind.code ? named(kBadKind.name, code) : codeText(code);
}

Json codeJson(const std::string &text, uint32_t code) {
    auto space = text.find(' ');
    Json j = Json::object();
    j["code"] = code;
    j["name"] = space == std::string::npos ? Json(nullptr) : Json(text.substr(0, space));
    return j;
}

} // namespace entmlst
