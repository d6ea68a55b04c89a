// mhd_library.h - libmicrohttpd, loaded when serve starts. Linked in, it
// and its TLS libraries would be loaded by every entmlst command, which are
// processes of a few milliseconds.
#pragma once

#include <microhttpd.h>

namespace entmlst::mhd {

#define ENTMLST_MHD_FUNCTIONS(X)                                                                             \
    X(MHD_start_daemon)                                                                                      \
    X(MHD_stop_daemon)                                                                                       \
    X(MHD_queue_response)                                                                                    \
    X(MHD_create_response_from_buffer)                                                                       \
    X(MHD_create_response_from_callback)                                                                     \
    X(MHD_add_response_header)                                                                               \
    X(MHD_destroy_response)                                                                                  \
    X(MHD_get_connection_values)                                                                             \
    X(MHD_lookup_connection_value)

struct Library {
#define ENTMLST_MHD_POINTER(f) decltype(&::f) f = nullptr;
    ENTMLST_MHD_FUNCTIONS(ENTMLST_MHD_POINTER)
#undef ENTMLST_MHD_POINTER
};

// The library, or nullptr when this machine has none.
const Library *library();

} // namespace entmlst::mhd
