
#include "platform/errors/error_numbers.h"
// Text to and from the control's code page, reporting the control's error
// numbers (0, -10034 for wide to multibyte, -10036 for multibyte to wide).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::control {

// Bytes of `text` in `codePage`, without a terminating NUL. An empty text
// converts to no bytes; members check emptiness before converting.
ErrorNumber ToCodePageBytes(uint32_t codePage, std::u16string_view text, std::string& bytes);

// A new wide text from `bytes` in `codePage`. No bytes is a failure, as the
// platform reports zero characters for them.
ErrorNumber FromCodePageBytes(uint32_t codePage, std::string_view bytes, std::u16string& text);

}  // namespace quorvel::control
