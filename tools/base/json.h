// json.h - the JSON every report and document of entmlst is made of: keys
// keep the order they were given in.
#pragma once

#include <nlohmann/json.hpp>

namespace entmlst {

using Json = nlohmann::ordered_json;

} // namespace entmlst
