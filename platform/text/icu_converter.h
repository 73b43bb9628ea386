// Whole-string conversions through one ICU converter, named as ICU names it.
// Encoding stops at the first character the converter cannot represent;
// decoding writes U+FFFD for every invalid byte sequence.
#pragma once

#include <string>
#include <string_view>

#include "platform/text/code_page.h"

namespace quorvel::platform {

CodePageStatus EncodeWithConverter(const std::string& name, std::u16string_view text,
                                   std::string& out);
CodePageStatus DecodeWithConverter(const std::string& name, std::string_view bytes,
                                   std::u16string& out);

}  // namespace quorvel::platform
