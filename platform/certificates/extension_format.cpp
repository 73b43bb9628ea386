#include "platform/certificates/extension_format.h"

#include <openssl/objects.h>

#include <array>
#include <new>

#include "platform/certificates/name_string.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {
namespace {

using Text = std::u16string;

Text Ascii(std::string_view text) {
  return Text(text.begin(), text.end());
}

Text FromAsn1String(const ASN1_STRING* string) {
  const unsigned char* data = ASN1_STRING_get0_data(string);
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data),
                                      static_cast<std::size_t>(ASN1_STRING_length(string))));
}

std::span<const uint8_t> BytesOf(const ASN1_STRING* string) {
  return {ASN1_STRING_get0_data(string), static_cast<std::size_t>(ASN1_STRING_length(string))};
}

bool DottedOid(const ASN1_OBJECT* object, std::string& dotted) {
  char buffer[128];
  const int length = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
  if (length <= 0 || length >= static_cast<int>(sizeof buffer)) return false;
  dotted.assign(buffer, static_cast<std::size_t>(length));
  return true;
}

bool FormatBasicConstraints(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  BasicConstraintsPtr constraints(
      d2i_BASIC_CONSTRAINTS(nullptr, &cursor, static_cast<long>(value.size())));
  if (!constraints || cursor != value.data() + value.size()) return false;
  text = constraints->ca ? u"Subject Type=CA" : u"Subject Type=End Entity";
  text += u", Path Length Constraint=";
  if (constraints->pathlen == nullptr) {
    text += u"None";
  } else {
    BignumPtr length(ASN1_INTEGER_to_BN(constraints->pathlen, nullptr));
    OpenSslMemoryPtr<char> decimal(length ? BN_bn2dec(length.get()) : nullptr);
    if (!decimal) return false;
    text += Ascii(decimal.get());
  }
  return true;
}

bool FormatKeyUsage(std::span<const uint8_t> value, Text& text) {
  static constexpr std::array<std::u16string_view, 9> kNames = {
      u"Digital Signature",    u"Non-Repudiation", u"Key Encipherment",
      u"Data Encipherment",    u"Key Agreement",   u"Certificate Signing",
      u"Off-line CRL Signing", u"Encipher Only",   u"Decipher Only"};
  const unsigned char* cursor = value.data();
  Asn1BitStringPtr bits(d2i_ASN1_BIT_STRING(nullptr, &cursor, static_cast<long>(value.size())));
  if (!bits || cursor != value.data() + value.size()) return false;
  Text names;
  for (int bit = 0; bit < 9; ++bit) {
    if (ASN1_BIT_STRING_get_bit(bits.get(), bit) == 0) continue;
    if (!names.empty()) names += u", ";
    // Bit 6 is both off-line and on-line CRL signing.
    names += bit == 6 ? u"Off-line CRL Signing, CRL Signing" : kNames[static_cast<size_t>(bit)];
  }
  const std::span<const uint8_t> bytes = BytesOf(bits.get());
  if (bytes.empty()) {
    text = u"(00)";
    return true;
  }
  text = names.empty() ? Text() : names + u" ";
  text += u"(" + HexDump(bytes) + u")";
  return true;
}

Text KeyPurposeName(std::string_view oid) {
  struct Purpose {
    std::string_view oid;
    std::u16string_view name;
  };
  static constexpr std::array<Purpose, 12> kPurposes = {{
      {"1.3.6.1.5.5.7.3.1", u"Server Authentication"},
      {"1.3.6.1.5.5.7.3.2", u"Client Authentication"},
      {"1.3.6.1.5.5.7.3.3", u"Code Signing"},
      {"1.3.6.1.5.5.7.3.4", u"Secure Email"},
      {"1.3.6.1.5.5.7.3.5", u"IP security end system"},
      {"1.3.6.1.5.5.7.3.6", u"IP security tunnel termination"},
      {"1.3.6.1.5.5.7.3.7", u"IP security user"},
      {"1.3.6.1.5.5.7.3.8", u"Time Stamping"},
      {"1.3.6.1.5.5.7.3.9", u"OCSP Signing"},
      {"1.3.6.1.4.1.311.10.3.4", u"Encrypting File System"},
      {"1.3.6.1.4.1.311.20.2.2", u"Smart Card Logon"},
      {"2.5.29.37.0", u"Any Purpose"},
  }};
  for (const Purpose& purpose : kPurposes) {
    if (purpose.oid == oid) return Text(purpose.name);
  }
  return u"Unknown Key Usage";
}

bool FormatExtendedKeyUsage(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  ExtendedKeyUsagePtr usages(
      d2i_EXTENDED_KEY_USAGE(nullptr, &cursor, static_cast<long>(value.size())));
  if (!usages || cursor != value.data() + value.size()) return false;
  Text result;
  for (int i = 0; i < sk_ASN1_OBJECT_num(usages.get()); ++i) {
    std::string oid;
    if (!DottedOid(sk_ASN1_OBJECT_value(usages.get(), i), oid)) return false;
    if (!result.empty()) result += u", ";
    result += KeyPurposeName(oid) + u" (" + Ascii(oid) + u")";
  }
  text = std::move(result);
  return true;
}

bool FormatSubjectKeyId(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  Asn1OctetStringPtr id(d2i_ASN1_OCTET_STRING(nullptr, &cursor, static_cast<long>(value.size())));
  if (!id || cursor != value.data() + value.size()) return false;
  text = HexDump(BytesOf(id.get()));
  return true;
}

bool FormatIpAddress(const ASN1_OCTET_STRING* address, Text& text) {
  const std::span<const uint8_t> bytes = BytesOf(address);
  if (bytes.size() == 4) {
    text = Ascii(std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                 std::to_string(bytes[2]) + "." + std::to_string(bytes[3]));
    return true;
  }
  if (bytes.size() == 16) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    text.clear();
    for (std::size_t i = 0; i < 16; i += 2) {
      if (i > 0) text.push_back(u':');
      for (const uint8_t byte : {bytes[i], bytes[i + 1]}) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
      }
    }
    return true;
  }
  text = HexDump(bytes);
  return true;
}

bool FormatGeneralName(const GENERAL_NAME* name, Text& text) {
  switch (name->type) {
    case GEN_EMAIL:
      text = u"RFC822 Name=" + FromAsn1String(name->d.rfc822Name);
      return true;
    case GEN_DNS:
      text = u"DNS Name=" + FromAsn1String(name->d.dNSName);
      return true;
    case GEN_URI:
      text = u"URL=" + FromAsn1String(name->d.uniformResourceIdentifier);
      return true;
    case GEN_IPADD: {
      Text address;
      if (!FormatIpAddress(name->d.iPAddress, address)) return false;
      text = u"IP Address=" + address;
      return true;
    }
    case GEN_DIRNAME: {
      Bytes encoded;
      if (!ToDer<i2d_X509_NAME>(name->d.directoryName, encoded)) return false;
      Text directory;
      if (NameToString(encoded, kX500NameStr, directory) != error::kOk) return false;
      text = u"Directory Address=" + directory;
      return true;
    }
    case GEN_RID: {
      std::string oid;
      if (!DottedOid(name->d.registeredID, oid)) return false;
      text = u"Registered ID=" + Ascii(oid);
      return true;
    }
    default: {
      Bytes encoded;
      if (!ToDer<i2d_GENERAL_NAME>(name, encoded)) return false;
      text = u"Other Name=" + HexDump(encoded);
      return true;
    }
  }
}

bool FormatGeneralNames(const GENERAL_NAMES* names, Text& text) {
  Text result;
  for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
    Text one;
    if (!FormatGeneralName(sk_GENERAL_NAME_value(names, i), one)) return false;
    if (!result.empty()) result += u", ";
    result += one;
  }
  text = std::move(result);
  return true;
}

bool FormatAlternativeName(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  GeneralNamesPtr names(d2i_GENERAL_NAMES(nullptr, &cursor, static_cast<long>(value.size())));
  if (!names || cursor != value.data() + value.size()) return false;
  return FormatGeneralNames(names.get(), text);
}

bool FormatAuthorityKeyId(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  AuthorityKeyIdPtr id(d2i_AUTHORITY_KEYID(nullptr, &cursor, static_cast<long>(value.size())));
  if (!id || cursor != value.data() + value.size()) return false;
  Text result;
  if (id->keyid != nullptr) result = u"KeyID=" + HexDump(BytesOf(id->keyid));
  if (id->issuer != nullptr) {
    Text issuer;
    if (!FormatGeneralNames(id->issuer, issuer)) return false;
    if (!result.empty()) result += u", ";
    result += u"Certificate Issuer: " + issuer;
  }
  if (id->serial != nullptr) {
    if (!result.empty()) result += u", ";
    result += u"Certificate SerialNumber=" + HexDump(BytesOf(id->serial));
  }
  text = std::move(result);
  return true;
}

bool FormatCrlDistributionPoints(std::span<const uint8_t> value, Text& text) {
  const unsigned char* cursor = value.data();
  CrlDistPointsPtr points(d2i_CRL_DIST_POINTS(nullptr, &cursor, static_cast<long>(value.size())));
  if (!points || cursor != value.data() + value.size()) return false;
  Text result;
  for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
    const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
    if (!result.empty()) result += u", ";
    result += u"[" + Ascii(std::to_string(i + 1)) + u"]CRL Distribution Point: ";
    if (point->distpoint != nullptr && point->distpoint->type == 0) {
      Text names;
      if (!FormatGeneralNames(point->distpoint->name.fullname, names)) return false;
      result += u"Distribution Point Name: Full Name: " + names;
    } else if (point->distpoint != nullptr) {
      result += u"Distribution Point Name: Name Relative to Issuer";
    }
    if (point->CRLissuer != nullptr) {
      Text issuer;
      if (!FormatGeneralNames(point->CRLissuer, issuer)) return false;
      result += u", CRL Issuer: " + issuer;
    }
  }
  text = std::move(result);
  return true;
}

}  // namespace

std::u16string HexDump(std::span<const uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text;
  text.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text.push_back(u' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

Status FormatExtension(std::string_view oid, std::span<const uint8_t> value, std::u16string& text) {
  try {
    Text formatted;
    bool done = false;
    if (value.size() <= 0x7FFFFFFF) {
      if (oid == "2.5.29.19") {
        done = FormatBasicConstraints(value, formatted);
      } else if (oid == "2.5.29.15") {
        done = FormatKeyUsage(value, formatted);
      } else if (oid == "2.5.29.37") {
        done = FormatExtendedKeyUsage(value, formatted);
      } else if (oid == "2.5.29.14") {
        done = FormatSubjectKeyId(value, formatted);
      } else if (oid == "2.5.29.35") {
        done = FormatAuthorityKeyId(value, formatted);
      } else if (oid == "2.5.29.17" || oid == "2.5.29.18") {
        done = FormatAlternativeName(value, formatted);
      } else if (oid == "2.5.29.31") {
        done = FormatCrlDistributionPoints(value, formatted);
      }
    }
    text = done ? std::move(formatted) : HexDump(value);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

}  // namespace quorvel::platform
