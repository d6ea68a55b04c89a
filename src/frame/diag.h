// Result codes and the one way a diagnostic reaches the monitor.
#pragma once

#include <cstdint>

#include "corvellib.h"
#include "frame/messages.h"

namespace corvel {

using Result = uint32_t;

// Fixed-arity senders: each passes exactly as many values as its format has
// placeholders. The monitor's answer never changes the caller's course.
void diag(Msg format);
void diag(Msg format, uint32_t a, uint32_t b);
void diag(Msg format, uint32_t a, uint32_t b, uint32_t c);
// "%s():[Error] ..." texts: the sending function's name and a service code.
void diagNamed(Msg format, Msg function_name, uint32_t code);

// A refused argument: sends the check's text and gives ENTMLST_ERR_PARAM.
[[nodiscard]] Result paramError(Msg format);

} // namespace corvel
