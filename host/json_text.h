// JSON text written straight from UTF-16, for answers too large to build
// twice.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::host {

// Appends `text` as a JSON string: quoted, in UTF-8, escaped as the JSON
// library escapes (quote, backslash, control characters), an unpaired
// surrogate replaced by U+FFFD.
void AppendJsonString(std::u16string_view text, std::string& out);

}  // namespace quorvel::host
