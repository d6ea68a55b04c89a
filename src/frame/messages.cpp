#include "frame/messages.h"

namespace corvel {

constexpr MessageBlob kMessages = {
#define CORVEL_MSG_TEXT(name, text) text,
    CORVEL_MESSAGES(CORVEL_MSG_TEXT)
#undef CORVEL_MSG_TEXT
};

} // namespace corvel
