// Code page 52936: HZ, GB2312 text in 7-bit bytes.
//
// ASCII stays ASCII and "~" is written "~~"; every run of GB2312 characters is
// written between "~{" and "~}" with the high bit of each byte cleared, so the
// encoding of a text ends in ASCII mode. Decoding also takes what other HZ
// encoders write: "~" before a line break continues the line, a line break
// ends a GB2312 run that was left open, and anything else that is not HZ
// becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "platform/text/code_page.h"

namespace quorvel::platform {

CodePageStatus EncodeHz(std::u16string_view text, std::string& out);
CodePageStatus DecodeHz(std::string_view bytes, std::u16string& out);

}  // namespace quorvel::platform
