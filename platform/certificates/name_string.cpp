#include "platform/certificates/name_string.h"

#include <algorithm>
#include <array>
#include <new>

#include "platform/crypto/der_reader.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {
namespace {

struct NameKey {
  std::string_view oid;
  std::string_view key;
};

constexpr std::array<NameKey, 17> kNameKeys = {{
    {"2.5.4.3", "CN"},
    {"2.5.4.4", "SN"},
    {"2.5.4.5", "SERIALNUMBER"},
    {"2.5.4.6", "C"},
    {"2.5.4.7", "L"},
    {"2.5.4.8", "S"},
    {"2.5.4.9", "STREET"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"2.5.4.12", "T"},
    {"2.5.4.42", "G"},
    {"2.5.4.43", "I"},
    {"1.2.840.113549.1.9.1", "E"},
    {"0.9.2342.19200300.100.1.25", "DC"},
    {"2.5.4.13", "Description"},
    {"2.5.4.17", "PostalCode"},
    {"2.5.4.46", "dnQualifier"},
}};

// ASN.1 universal tags of the string types a name value may have.
constexpr uint8_t kUtf8String = 0x0C;
constexpr uint8_t kNumericString = 0x12;
constexpr uint8_t kPrintableString = 0x13;
constexpr uint8_t kTeletexString = 0x14;
constexpr uint8_t kIa5String = 0x16;
constexpr uint8_t kVisibleString = 0x1A;
constexpr uint8_t kUniversalString = 0x1C;
constexpr uint8_t kBmpString = 0x1E;

constexpr char16_t kReplacement = 0xFFFD;

bool IsValidUtf8(std::span<const uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = bytes[i];
    std::size_t extra = 0;
    uint32_t minimum = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, minimum = 0x80, code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, minimum = 0x800, code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, minimum = 0x10000, code = lead & 0x07u;
    } else {
      return false;
    }
    if (bytes.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (bytes[i + k] & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::u16string Latin1(std::span<const uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (const uint8_t byte : bytes) text.push_back(byte);
  return text;
}

std::u16string Utf8(std::span<const uint8_t> bytes) {
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::u16string Bmp(std::span<const uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
  }
  if (bytes.size() % 2 != 0) text.push_back(kReplacement);
  return text;
}

std::u16string Universal(std::span<const uint8_t> bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
    const uint32_t code = (uint32_t{bytes[i]} << 24) | (uint32_t{bytes[i + 1]} << 16) |
                          (uint32_t{bytes[i + 2]} << 8) | bytes[i + 3];
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      text.push_back(kReplacement);
    } else if (code >= 0x10000) {
      const uint32_t offset = code - 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(code));
    }
  }
  if (bytes.size() % 4 != 0) text.push_back(kReplacement);
  return text;
}

std::u16string Hex(std::span<const uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  text.reserve(bytes.size() * 2 + 1);
  text.push_back(u'#');
  for (const uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

bool NeedsQuotes(std::u16string_view value) {
  if (value.empty() || IsWhiteSpace(value.front()) || IsWhiteSpace(value.back())) return true;
  return value.find_first_of(u",+=\"<>#;\n") != std::u16string_view::npos;
}

bool IsStringType(uint8_t tag) {
  switch (tag) {
    case kUtf8String:
    case kNumericString:
    case kPrintableString:
    case kTeletexString:
    case kIa5String:
    case kVisibleString:
    case kUniversalString:
    case kBmpString:
      return true;
    default:
      return false;
  }
}

void AppendValue(std::u16string& text, const NameAttribute& attribute) {
  const std::u16string value = AttributeValueText(attribute);
  // The '#' form of a non-string value is written as it is: its leading '#'
  // is what marks it.
  if (!IsStringType(attribute.tag) || !NeedsQuotes(value)) {
    text += value;
    return;
  }
  text.push_back(u'"');
  for (const char16_t c : value) {
    if (c == u'"') text.push_back(u'"');
    text.push_back(c);
  }
  text.push_back(u'"');
}

}  // namespace

Status ParseName(std::span<const uint8_t> encodedName, std::vector<RelativeName>& rdns) {
  der::Reader outer(encodedName);
  der::Reader sets;
  if (!outer.ReadElement(der::kSequence, sets) || !outer.AtEnd()) return error::kAsn1Corrupt;
  std::vector<RelativeName> parsed;
  while (!sets.AtEnd()) {
    der::Reader attributes;
    if (!sets.ReadElement(der::kSet, attributes)) return error::kAsn1Corrupt;
    RelativeName rdn;
    while (!attributes.AtEnd()) {
      der::Reader fields;
      der::Element type;
      der::Element value;
      if (!attributes.ReadElement(der::kSequence, fields) ||
          !fields.ReadElement(der::kObjectIdentifier, type) || !fields.Next(value) ||
          !fields.AtEnd()) {
        return error::kAsn1Corrupt;
      }
      NameAttribute attribute;
      if (!der::OidToDotted(type.content, attribute.oid)) return error::kAsn1Corrupt;
      attribute.tag = value.tag;
      attribute.value = value.content;
      attribute.encoding = value.encoding;
      rdn.push_back(std::move(attribute));
    }
    if (rdn.empty()) return error::kAsn1Corrupt;  // a SET OF with no attribute
    parsed.push_back(std::move(rdn));
  }
  rdns = std::move(parsed);
  return error::kOk;
}

std::string NameKeyForOid(std::string_view oid) {
  for (const NameKey& entry : kNameKeys) {
    if (entry.oid == oid) return std::string(entry.key);
  }
  return "OID." + std::string(oid);
}

std::u16string AttributeValueText(const NameAttribute& attribute) {
  switch (attribute.tag) {
    case kUtf8String:
      return Utf8(attribute.value);
    case kBmpString:
      return Bmp(attribute.value);
    case kUniversalString:
      return Universal(attribute.value);
    case kNumericString:
    case kPrintableString:
    case kIa5String:
    case kVisibleString:
      return Latin1(attribute.value);
    case kTeletexString:
      return IsValidUtf8(attribute.value) ? Utf8(attribute.value) : Latin1(attribute.value);
    default:
      return Hex(attribute.encoding);
  }
}

Status NameToString(std::span<const uint8_t> encodedName, uint32_t strType, std::u16string& text) {
  const uint32_t form = strType & 0xFF;
  if (form != kX500NameStr && form != kSimpleNameStr) return error::kInvalidArgument;
  try {
    std::vector<RelativeName> rdns;
    if (const Status status = ParseName(encodedName, rdns); status != error::kOk) return status;
    const std::u16string_view separator = (strType & kNameStrCrlfFlag) ? u"\r\n" : u", ";
    std::u16string result;
    for (std::size_t i = 0; i < rdns.size(); ++i) {
      if (i > 0) result += separator;
      for (std::size_t k = 0; k < rdns[i].size(); ++k) {
        if (k > 0) result += u" + ";
        const NameAttribute& attribute = rdns[i][k];
        if (form == kX500NameStr) {
          const std::string key = NameKeyForOid(attribute.oid);
          result.append(key.begin(), key.end());
          result.push_back(u'=');
        }
        AppendValue(result, attribute);
      }
    }
    text = std::move(result);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

uint32_t NameToStr(std::span<const uint8_t> encodedName, uint32_t strType, char16_t* buffer,
                   uint32_t bufferChars) {
  std::u16string text;
  if (NameToString(encodedName, strType, text) != error::kOk) {
    if (buffer != nullptr && bufferChars > 0) buffer[0] = 0;
    return 0;
  }
  const std::size_t count = text.size() + 1;
  if (count > UINT32_MAX) return 0;
  if (buffer != nullptr && bufferChars > 0) {
    const std::size_t copied = std::min<std::size_t>(text.size(), bufferChars - 1);
    std::copy_n(text.data(), copied, buffer);
    buffer[copied] = 0;
  }
  return static_cast<uint32_t>(count);
}

Status SimpleDisplayName(std::span<const uint8_t> encodedName, std::u16string& text) {
  try {
    std::vector<RelativeName> rdns;
    if (const Status status = ParseName(encodedName, rdns); status != error::kOk) return status;
    for (const std::string_view oid : {"2.5.4.3", "2.5.4.11", "2.5.4.10", "1.2.840.113549.1.9.1"}) {
      for (const RelativeName& rdn : rdns) {
        for (const NameAttribute& attribute : rdn) {
          if (attribute.oid == oid) {
            text = AttributeValueText(attribute);
            return error::kOk;
          }
        }
      }
    }
    text.clear();
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

}  // namespace quorvel::platform
