// A strict check of an XML property-list document before libplist parses it; private to
// platform/cf.
//
// libplist forgives much: an integer that is not a number reads as 0, bad base64 as empty
// data, a key without a value vanishes. A file in that state was damaged, and reading it as if
// it were whole would let the next write make the damage permanent; so only documents of the
// property-list grammar pass: an optional XML declaration, comments and a DOCTYPE without
// internal subset, one <plist> root holding one value, values of the known kinds with
// well-formed contents, dictionaries of key/value pairs, nesting within a limit, and only the
// five predefined entities and character references.
#pragma once

#include <string_view>

namespace kelo::cf::detail {

/// True when `document` is a well-formed XML property list nested at most `maximumDepth`.
bool isStrictPropertyList(std::string_view document, int maximumDepth);

}  // namespace kelo::cf::detail
