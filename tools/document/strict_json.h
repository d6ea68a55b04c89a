// strict_json.h - reading a JSON document that a person may have edited:
// not only its syntax but also repeated keys (which ordinary parsers drop
// silently) and absurd nesting are reported.
#pragma once

#include "document/record_fields.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace entmlst {

// One thing wrong with a document, at a place given as a JSON pointer
// (empty: the document as a whole).
struct Problem {
    std::string pointer;
    std::string message;
};

// "/a~1b/0" for the tokens "a/b" and "0".
std::string pointerToken(std::string_view token);

// Parses text as one JSON value; nothing when it is not JSON. Problems found
// are appended. A repeated key keeps its first value and is reported at its
// own pointer, and the value is still returned so that it can be checked on.
std::optional<Json> parseStrict(std::string_view text, std::vector<Problem> &problems);

} // namespace entmlst
