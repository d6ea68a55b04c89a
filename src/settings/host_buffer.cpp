// Host buffer values, read only. A null record is refused without a message.
#include "frame/export.h"
#include "settings/group.h"

namespace corvel {
namespace {

using H = ENTMLSTHOSTBUFFER;
constexpr ENTMLSTDESC kHostBufferRows[] = {ENTMLST_FIELDS_HostBuffer(CORVEL_READ_ROW, H)};
static_assert(check::rows(kHostBufferRows, sizeof(H)));

constexpr Group kHostBuffer{kHostBufferRows, sizeof(H), Msg::None};

} // namespace
} // namespace corvel

CORVEL_EXPORT uint32_t entMLSTGetHostBuffer(ENTMLSTHOSTBUFFER *rec) {
    return corvel::getAll(corvel::kHostBuffer, 0, rec);
}
