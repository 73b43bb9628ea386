#include "platform/text/case_fold.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace quorvel::platform {

bool UppercaseUtf8(std::string_view text, std::string* upper, std::size_t& utf16Length) {
  utf16Length = 0;
  if (upper != nullptr) upper->clear();
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c <= 0) return false;
    utf16Length += static_cast<std::size_t>(U16_LENGTH(c));
    if (upper == nullptr) continue;
    const UChar32 mapped = u_toupper(c);
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t written = 0;
    U8_APPEND_UNSAFE(encoded, written, mapped);
    upper->append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(written));
  }
  return true;
}

bool ContainsFolded(std::u16string_view text, std::u16string_view part) {
  icu::UnicodeString haystack(false, text.data(), static_cast<int32_t>(text.size()));
  icu::UnicodeString needle(false, part.data(), static_cast<int32_t>(part.size()));
  icu::UnicodeString foldedHaystack(haystack);
  icu::UnicodeString foldedNeedle(needle);
  foldedHaystack.foldCase();
  foldedNeedle.foldCase();
  return foldedHaystack.indexOf(foldedNeedle) >= 0;
}

}  // namespace quorvel::platform
