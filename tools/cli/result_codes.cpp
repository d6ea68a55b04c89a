// result_codes.cpp - result codes by name, from the header's map.
#include "cli/result_codes.h"

#include "base/hex.h"
#include "corvellib.h"

namespace entmlst {
namespace {

struct CodeName {
    uint32_t code;
    const char *name;
};

#define NAMED(c) (CodeName{c, #c})
// Not through NAMED: there the name would be replaced by its value first.
#define CODE(name, value) CodeName{name, #name},
constexpr CodeName kCodes[] = {ENTMLST_RESULT_MAP(CODE)};
// Only entMLSTGetSendJobResult answers 1, for an unknown link kind.
constexpr CodeName kBadKind = NAMED(ENTMLST_SENDRESULT_BAD_KIND);
#undef CODE
#undef NAMED

std::string named(const char *name, uint32_t code) { return std::string(name) + " (" + hex8(code) + ")"; }

} // namespace

std::string codeText(uint32_t code) {
    for (const CodeName &c : kCodes)
        if (c.code == code) return named(c.name, code);
    return hex8(code);
}

std::string sendResultCodeText(uint32_t code, int32_t kind) {
    // A service may answer 1 too: only for a kind the library does not know is it that answer.
    const bool known = kind == ENTMLST_LINK_KIND_FAX || kind == ENTMLST_LINK_KIND_MAIL ||
                       kind == ENTMLST_LINK_KIND_0100 || kind == ENTMLST_LINK_KIND_0200;
    return code == kBadKind.code && !known ? named(kBadKind.name, code) : codeText(code);
}

Json codeJson(const std::string &text, uint32_t code) {
    auto space = text.find(' ');
    Json j = Json::object();
    j["code"] = code;
    j["name"] = space == std::string::npos ? Json(nullptr) : Json(text.substr(0, space));
    return j;
}

} // namespace entmlst
