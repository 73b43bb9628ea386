
#include "platform/errors/platform_errors.h"
// Certificate extensions as single-line texts, in the platform's forms:
//
//   basic constraints    Subject Type=CA, Path Length Constraint=None
//   key usage            Digital Signature, Key Encipherment (a0)
//   extended key usage   Client Authentication (1.3.6.1.5.5.7.3.2), Unknown Key Usage (1.2.3.4)
//   key identifiers      3a 0f ... (subject) / KeyID=3a 0f ... (authority)
//   alternative names    RFC822 Name=a@b.cn, DNS Name=www.b.cn, URL=http://b.cn/, IP
//   Address=10.0.0.1 CRL distribution     [1]CRL Distribution Point: Distribution Point Name: Full
//   Name: URL=...
//
// Any other extension, and a known one whose value cannot be decoded, is shown
// as the lower-case hexadecimal of its value bytes separated by single spaces.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::platform {

// Formats the value of the extension `oid`. Returns an error value (only
// kOutOfMemory: every value has at least its hexadecimal form).
Status FormatExtension(std::string_view oid, std::span<const uint8_t> value, std::u16string& text);

// Lower-case hexadecimal bytes separated by single spaces.
std::u16string HexDump(std::span<const uint8_t> bytes);

}  // namespace quorvel::platform
