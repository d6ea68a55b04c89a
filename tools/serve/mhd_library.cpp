// mhd_library.cpp - libmicrohttpd's functions, looked up once.
#include "serve/mhd_library.h"

#include <dlfcn.h>

namespace entmlst::mhd {

const Library *library() {
    static const Library *const loaded = []() -> const Library * {
        void *handle = ::dlopen(ENTMLST_MHD_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        static Library lib;
        bool all = true;
#define ENTMLST_MHD_LOOKUP(f)                                                                                \
    lib.f = reinterpret_cast<decltype(lib.f)>(::dlsym(handle, #f));                                          \
    all = all && lib.f != nullptr;
        ENTMLST_MHD_FUNCTIONS(ENTMLST_MHD_LOOKUP)
#undef ENTMLST_MHD_LOOKUP
        return all ? &lib : nullptr;
    }();
    return loaded;
}

} // namespace entmlst::mhd
