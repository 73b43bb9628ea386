#include "platform/certificates/certificate.h"

#include <openssl/evp.h>
#include <openssl/objects.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/certificates/certificate_openssl.h"
#include "platform/certificates/file_time.h"
#include "platform/certificates/parsed_certificates.h"
#include "platform/crypto/der_reader.h"
#include "platform/crypto/fetched_algorithms.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

// The file time of a certificate or CRL time; false when it cannot be read.
bool Asn1TimeToFileTime(const ASN1_TIME* asn1Time, uint64_t& fileTime) {
  if (asn1Time == nullptr) return false;
  std::tm fields{};
  // ASN1_TIME_to_tm reads the time as written (UTC for certificate times); it
  // does not consult the local time zone.
  if (ASN1_TIME_to_tm(asn1Time, &fields) != 1) return false;
  SystemTime time;
  time.year = fields.tm_year + 1900;
  time.month = fields.tm_mon + 1;
  time.day = fields.tm_mday;
  time.hour = fields.tm_hour;
  time.minute = fields.tm_min;
  time.second = fields.tm_sec;
  return SystemTimeToFileTime(time, fileTime);
}

// Takes the TBSCertificate apart far enough to keep the serial number and the
// two names exactly as encoded; OpenSSL would hand back re-encodings.
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
  if (!top.ReadElement(der::kSequence, certificate) ||
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

Certificate::Certificate() : native_(std::make_unique<Native>()) {}
Certificate::~Certificate() = default;

Status Certificate::FromDer(std::span<const uint8_t> der, std::shared_ptr<const Certificate>& out) {
  if (der.empty() || der.size() > 0x7FFFFFFF) return error::kAsn1Corrupt;
  try {
    Bytes sha1(20);
    unsigned int digestLength = 0;
    const EVP_MD* sha1Algorithm = FetchedDigest("SHA1");
    if (sha1Algorithm == nullptr || EVP_Digest(der.data(), der.size(), sha1.data(), &digestLength,
                                               sha1Algorithm, nullptr) != 1) {
      return error::kStorageFailure;
    }
    if (std::shared_ptr<const Certificate> parsed = FindParsedCertificate(sha1, der)) {
      out = std::move(parsed);
      return error::kOk;
    }
    std::shared_ptr<Certificate> certificate(new Certificate());
    certificate->sha1_ = std::move(sha1);
    certificate->der_.assign(der.begin(), der.end());
    certificate->native_->x509.reset(X509_new_ex(CryptoLibrary(), kCryptoProperties));
    if (!certificate->native_->x509) return error::kOutOfMemory;
    const unsigned char* cursor = certificate->der_.data();
    X509* target = certificate->native_->x509.get();
    if (d2i_X509(&target, &cursor, static_cast<long>(der.size())) == nullptr) {
      // d2i frees the object it was given on failure.
      static_cast<void>(certificate->native_->x509.release());
      return error::kAsn1Corrupt;
    }
    if (cursor != certificate->der_.data() + der.size()) return error::kAsn1Corrupt;
    if (!ReadRawFields(certificate->der_, certificate->serial_, certificate->issuer_,
                       certificate->subject_)) {
      return error::kAsn1Corrupt;
    }
    X509* x509 = certificate->native_->x509.get();
    if (!Asn1TimeToFileTime(X509_get0_notBefore(x509), certificate->notBefore_) ||
        !Asn1TimeToFileTime(X509_get0_notAfter(x509), certificate->notAfter_)) {
      return error::kAsn1Corrupt;
    }
    const int count = X509_get_ext_count(x509);
    for (int i = 0; i < count; ++i) {
      X509_EXTENSION* extension = X509_get_ext(x509, i);
      const ASN1_OBJECT* object = X509_EXTENSION_get_object(extension);
      const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(extension);
      char oid[128];
      const int oidLength = OBJ_obj2txt(oid, sizeof oid, object, 1);
      if (oidLength <= 0 || oidLength >= static_cast<int>(sizeof oid) || data == nullptr) {
        return error::kAsn1Corrupt;
      }
      Extension entry;
      entry.oid.assign(oid, static_cast<std::size_t>(oidLength));
      entry.critical = X509_EXTENSION_get_critical(extension) > 0;
      const unsigned char* bytes = ASN1_STRING_get0_data(data);
      entry.value.assign(bytes, bytes + ASN1_STRING_length(data));
      certificate->extensions_.push_back(std::move(entry));
    }
    KeepParsedCertificate(certificate);
    out = std::move(certificate);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
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
  const OpenSslErrorMark mark;
  EVP_PKEY* key = X509_get0_pubkey(X509Of(issuer));
  const bool signedBy = key != nullptr && X509_verify(native_->x509.get(), key) == 1;
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

}  // namespace quorvel::platform
