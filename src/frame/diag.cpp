#include "frame/diag.h"

#include "device_services.h"

namespace corvel {

void diag(Msg format) { emwGENMonSendMessage(ENTMLST_MODULE_ID, ENTMLST_MSG_ERROR, 0, text(format)); }

void diag(Msg format, uint32_t a, uint32_t b) {
    emwGENMonSendMessage(ENTMLST_MODULE_ID, ENTMLST_MSG_ERROR, 0, text(format), a, b);
}

void diag(Msg format, uint32_t a, uint32_t b, uint32_t c) {
    emwGENMonSendMessage(ENTMLST_MODULE_ID, ENTMLST_MSG_ERROR, 0, text(format), a, b, c);
}

void diagNamed(Msg format, Msg function_name, uint32_t code) {
    emwGENMonSendMessage(ENTMLST_MODULE_ID, ENTMLST_MSG_ERROR, 0, text(format), text(function_name), code);
}

Result paramError(Msg format) {
    diag(format);
    return ENTMLST_ERR_PARAM;
}

} // namespace corvel
