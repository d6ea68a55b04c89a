// result_codes.h - the library's result codes by name.
#pragma once

#include "base/json.h"

#include <cstdint>
#include <string>

namespace entmlst {

// "ENTMLST_ERR_STATUS_SET (0x70020006)", or just the hex for a code the
// library does not name (a service's own code).
std::string codeText(uint32_t code);
// The same for entMLSTGetSendJobResult, which also answers 1.
std::string sendResultCodeText(uint32_t code, int32_t kind);
Json codeJson(const std::string &text, uint32_t code);

} // namespace entmlst
