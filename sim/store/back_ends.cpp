// back_ends.cpp - the back ends by name, as their files register them.
#include "store/store.h"

#include <vector>

namespace devsim {
namespace {

struct Named {
    const char *name;
    StoreMaker make;
};

// Built at first use: back ends register while the library is loaded.
std::vector<Named> &backEnds() {
    static std::vector<Named> all;
    return all;
}

} // namespace

BackEnd::BackEnd(const char *name, StoreMaker make) { backEnds().push_back({name, make}); }

StoreMaker storeMaker(std::string_view name) {
    for (const Named &b : backEnds())
        if (name == b.name) return b.make;
    return nullptr;
}

} // namespace devsim
