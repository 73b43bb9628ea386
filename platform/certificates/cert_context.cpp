// The parts of certificates and their contexts that rest on the certificate's
// bytes and fields alone: the fields kept as encoded, remembered issuer
// verdicts, properties, the key-provider encoding, integer and extension
// lookups.
#include <algorithm>
#include <mutex>
#include <new>

#include "platform/certificates/certificate.h"
#include "platform/certificates/certificate_fields.h"
#include "platform/crypto/der_reader.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

void AppendU32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendText(Bytes& out, std::u16string_view text) {
  AppendU32(out, static_cast<uint32_t>(text.size()));
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
}

bool ReadU32(std::span<const uint8_t>& in, uint32_t& value) {
  if (in.size() < 4) return false;
  value = uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
  in = in.subspan(4);
  return true;
}

bool ReadText(std::span<const uint8_t>& in, std::u16string& text) {
  uint32_t length = 0;
  if (!ReadU32(in, length) || in.size() / 2 < length) return false;
  text.clear();
  text.reserve(length);
  for (uint32_t i = 0; i < length; ++i) {
    text.push_back(static_cast<char16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
  }
  in = in.subspan(std::size_t{length} * 2);
  return true;
}

// Drops the octets that do not change an integer's value: high-order 0x00
// before a byte without its top bit, 0xFF before one with it.
std::span<const uint8_t> Significant(std::span<const uint8_t> value) {
  while (value.size() > 1) {
    const uint8_t top = value[value.size() - 1];
    const uint8_t next = value[value.size() - 2];
    if ((top == 0x00 && (next & 0x80) == 0) || (top == 0xFF && (next & 0x80) != 0)) {
      value = value.first(value.size() - 1);
    } else {
      break;
    }
  }
  return value;
}

}  // namespace

bool ReadRawFields(std::span<const uint8_t> der, Bytes& serial, Bytes& issuer, Bytes& subject) {
  der::Reader top(der);
  der::Reader certificate;
  der::Reader tbs;
  der::Reader version;
  bool versioned = false;
  der::Element serialNumber;
  der::Element algorithm;
  der::Element issuerName;
  der::Element validity;
  der::Element subjectName;
  if (!top.ReadElement(der::kSequence, certificate) || !top.AtEnd() ||
      !certificate.ReadElement(der::kSequence, tbs) ||
      !tbs.ReadOptional(der::kExplicit0, version, versioned) ||
      !tbs.ReadElement(der::kInteger, serialNumber) || !tbs.Next(algorithm) ||
      !tbs.ReadElement(der::kSequence, issuerName) || !tbs.Next(validity) ||
      !tbs.ReadElement(der::kSequence, subjectName)) {
    return false;
  }
  serial.assign(serialNumber.content.rbegin(), serialNumber.content.rend());
  issuer.assign(issuerName.encoding.begin(), issuerName.encoding.end());
  subject.assign(subjectName.encoding.begin(), subjectName.encoding.end());
  return true;
}

Bytes KeyProvInfo::Encode() const {
  Bytes out;
  AppendU32(out, providerType);
  AppendU32(out, flags);
  AppendU32(out, keySpec);
  AppendText(out, container);
  AppendText(out, provider);
  return out;
}

Status KeyProvInfo::Decode(std::span<const uint8_t> bytes, KeyProvInfo& info) {
  KeyProvInfo decoded;
  if (!ReadU32(bytes, decoded.providerType) || !ReadU32(bytes, decoded.flags) ||
      !ReadU32(bytes, decoded.keySpec) || !ReadText(bytes, decoded.container) ||
      !ReadText(bytes, decoded.provider) || !bytes.empty()) {
    return error::kBadData;
  }
  info = std::move(decoded);
  return error::kOk;
}

uint32_t CertContext::EnumProperties(uint32_t previous) const {
  // The SHA-1 hash is computed from the certificate, so every context has it.
  uint32_t next = previous < kSha1HashPropId ? kSha1HashPropId : 0;
  const auto after = properties_.upper_bound(previous);
  if (after != properties_.end() && (next == 0 || after->first < next)) next = after->first;
  return next;
}

Status CertContext::GetProperty(uint32_t id, uint8_t* buffer, uint32_t& size) const {
  std::span<const uint8_t> value;
  if (id == kSha1HashPropId) {
    value = certificate_->Sha1();
  } else {
    const auto found = properties_.find(id);
    if (found == properties_.end()) {
      size = 0;
      return error::kNotFound;
    }
    value = found->second;
  }
  if (buffer == nullptr) {
    size = static_cast<uint32_t>(value.size());
    return error::kOk;
  }
  if (size < value.size()) {
    size = static_cast<uint32_t>(value.size());
    return error::kMoreData;
  }
  std::copy(value.begin(), value.end(), buffer);
  size = static_cast<uint32_t>(value.size());
  return error::kOk;
}

Status CertContext::GetKeyProvInfo(KeyProvInfo& info) const {
  const auto found = properties_.find(kKeyProvInfoPropId);
  if (found == properties_.end()) return error::kNotFound;
  return KeyProvInfo::Decode(found->second, info);
}

Status CreateCertificateContext(std::span<const uint8_t> der, CertContextRef& context) {
  std::shared_ptr<const Certificate> certificate;
  if (const Status status = Certificate::FromDer(der, certificate); status != error::kOk)
    return status;
  try {
    context =
        std::make_shared<const CertContext>(std::move(certificate), CertContext::Properties{}, 0);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

bool CompareIntegerBlob(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  static constexpr uint8_t kZero[] = {0};
  const std::span<const uint8_t> left = Significant(a.empty() ? kZero : a);
  const std::span<const uint8_t> right = Significant(b.empty() ? kZero : b);
  return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

const Extension* FindExtension(const Certificate& certificate, std::string_view oid) {
  for (const Extension& extension : certificate.Extensions()) {
    if (extension.oid == oid) return &extension;
  }
  return nullptr;
}

bool Certificate::SignedBy(const Certificate& issuer) const {
  const std::span<const uint8_t> issuerDer = issuer.Der();
  {
    std::lock_guard lock(verdictsMutex_);
    for (const Verdict& verdict : verdicts_) {
      if (std::equal(verdict.issuerDer.begin(), verdict.issuerDer.end(), issuerDer.begin(),
                     issuerDer.end())) {
        return verdict.signedBy;
      }
    }
  }
  const bool signedBy = IssuerSigned(*this, issuer);
  std::lock_guard lock(verdictsMutex_);
  if (verdicts_.size() < kMaxVerdicts) {
    try {
      verdicts_.push_back({Bytes(issuerDer.begin(), issuerDer.end()), signedBy});
    } catch (const std::bad_alloc&) {
      // Not remembering costs a later verification, nothing else.
    }
  }
  return signedBy;
}

}  // namespace quorvel::platform
