// Conversion between UTF-16 text and the bytes of a platform code page.
//
// Code pages are identified by the platform's numbers (936, 65001, 1252, ...);
// 0 means the character set of the process's current locale. Encoding never
// substitutes: a character the code page cannot represent fails the whole
// conversion, so that a signature or envelope always covers exactly the text
// the caller gave. Decoding replaces byte sequences that are invalid in the
// code page with U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::platform {

enum class CodePageStatus {
  kOk,
  kUnknownCodePage,  // no converter for this number
  kUnmappable,       // a character has no representation in the code page
  kFailed,           // any other converter failure (ill-formed UTF-16, ...)
};

// The converter name behind a platform code-page number, or empty when the
// number is unknown. Code page 0 resolves to the locale's character set.
std::string ConverterNameForCodePage(uint32_t codePage);

// True for the code pages whose bytes 0x00-0x7F are U+0000-U+007F, one to one
// both ways; text entirely in that range converts without a converter.
bool KeepsAsciiAsIs(uint32_t codePage);

CodePageStatus EncodeToCodePage(uint32_t codePage, std::u16string_view text, std::string& out);
CodePageStatus DecodeFromCodePage(uint32_t codePage, std::string_view bytes, std::u16string& out);

// UTF-8 <-> UTF-16 for the host boundary. Ill-formed input is replaced by
// U+FFFD rather than rejected: these conversions only move text between
// transports, they never feed a signature.
std::u16string Utf8ToUtf16(std::string_view utf8);
// The same conversion in two steps, for a caller that owns the buffer: the
// number of UTF-16 units of `utf8` (0 when it is too long to convert), then
// the units into `out`, which holds exactly that many.
size_t Utf16Length(std::string_view utf8);
void Utf8ToUtf16(std::string_view utf8, std::span<char16_t> out);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace quorvel::platform
