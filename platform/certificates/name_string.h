
#include "platform/errors/platform_errors.h"
// Encoded X.500 names (the DER of a Name) as the platform's name strings.
//
// The X.500 form lists the relative distinguished names in the order in which
// they are encoded (never reversed), separated by ", " or, with
// kNameStrCrlfFlag, by CR LF; the attributes of one multi-valued RDN are joined
// by " + "; each attribute is KEY=value with the platform's keys (CN, O, OU, C,
// E, ..., or OID.dotted.form for other types). The simple form is the same
// without the keys. Values are quoted when they are empty, have leading or
// trailing white space, or contain one of , + = " < > # ; or a line feed, with
// inner quotes doubled; values of non-string types are written as '#' and the
// hexadecimal of their encoding.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

inline constexpr uint32_t kSimpleNameStr = 1;
inline constexpr uint32_t kX500NameStr = 3;
inline constexpr uint32_t kNameStrCrlfFlag = 0x08000000;

// One attribute of a name, as encoded.
struct NameAttribute {
  std::string oid;                    // dotted form
  uint8_t tag = 0;                    // the value's ASN.1 tag
  std::span<const uint8_t> value;     // the value's content octets
  std::span<const uint8_t> encoding;  // the value's whole encoding
};
using RelativeName = std::vector<NameAttribute>;

// Takes an encoded Name apart; the spans point into `encodedName`. Fails with
// kAsn1Corrupt for anything that is not a well-formed Name.
Status ParseName(std::span<const uint8_t> encodedName, std::vector<RelativeName>& rdns);

// The key of an attribute type ("CN", "OID.1.2.3" for unknown types).
std::string NameKeyForOid(std::string_view oid);

// An attribute's value as text, without quoting: string types decoded to UTF-16,
// other types as '#' and the hexadecimal of their encoding.
std::u16string AttributeValueText(const NameAttribute& attribute);

// The name as a string of `strType` (kX500NameStr or kSimpleNameStr, optionally
// with kNameStrCrlfFlag). Returns an error value.
Status NameToString(std::span<const uint8_t> encodedName, uint32_t strType, std::u16string& text);

// The same with the platform's two-call protocol: returns the count of characters
// including the terminating zero (0 when the name cannot be decoded); when
// `buffer` is given, copies at most bufferChars - 1 characters and a zero.
uint32_t NameToStr(std::span<const uint8_t> encodedName, uint32_t strType, char16_t* buffer,
                   uint32_t bufferChars);

// The simple display name: the value of the first CN; else the first OU; else
// the first O; else the first E; else the empty text.
Status SimpleDisplayName(std::span<const uint8_t> encodedName, std::u16string& text);

}  // namespace quorvel::platform
