#include "files/safe_file_name.h"

#include "platform/fileio/whole_file.h"
#include "platform/text/code_page.h"

namespace quorvel::files {
namespace {

// An extension up to this long survives when a long name is cut.
constexpr size_t kMaxKeptExtensionBytes = 32;

// C0, DEL and C1 controls, and the format and direction controls that make a
// name display other than it is ("invoice\u202Efdp.exe" shown as "invoiceexe.pdf").
bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
         c == 0x2028 || c == 0x2029;
}

// The longest prefix of `text` of at most `limit` bytes that ends on a
// character boundary.
std::string_view CutAtBoundary(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string Shorten(const std::string& name) {
  if (name.size() <= kMaxSafeFileNameBytes) return name;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxKeptExtensionBytes) {
    const std::string_view extension = std::string_view(name).substr(dot);
    return std::string(CutAtBoundary(name, kMaxSafeFileNameBytes - extension.size())) +
           std::string(extension);
  }
  return std::string(CutAtBoundary(name, kMaxSafeFileNameBytes));
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, alone or before an extension,
// name devices wherever they appear on platforms that reserve them.
bool IsDeviceName(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  std::u16string upper;
  for (const char16_t c : stem) {
    upper.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c);
  }
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL") return true;
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
         upper[3] >= u'1' && upper[3] <= u'9';
}

void DropTrailingDotsAndSpaces(std::string& name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  // Working on UTF-16 makes every character, and every ill-formed byte, one
  // unit or a surrogate pair, none of which can look like a separator.
  const std::u16string wide = platform::Utf8ToUtf16(name);
  const size_t separator = wide.find_last_of(u"/\\");
  const std::u16string_view last =
      std::u16string_view(wide).substr(separator == std::u16string::npos ? 0 : separator + 1);
  const platform::FileNameRules rules = platform::PlatformFileNameRules();
  std::u16string kept;
  for (const char16_t c : last) {
    if (IsControl(c) || rules.forbidden.find(c) != std::u16string_view::npos) continue;
    if (c == u'.' && !kept.empty() && kept.back() == u'.') continue;
    kept.push_back(c);
  }
  std::string safe = platform::Utf16ToUtf8(kept);
  if (rules.trailingDotsAndSpacesDropped) DropTrailingDotsAndSpaces(safe);
  if (rules.devicesReserved && IsDeviceName(kept)) safe.insert(0, "_");
  safe = Shorten(safe);
  if (rules.trailingDotsAndSpacesDropped) DropTrailingDotsAndSpaces(safe);
  if (safe.empty() || safe == ".") return std::string(kFallbackFileName);
  return safe;
}

}  // namespace quorvel::files
