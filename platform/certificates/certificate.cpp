#include "platform/certificates/certificate.h"

#include <openssl/evp.h>
#include <openssl/objects.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/certificates/certificate_fields.h"
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

bool IssuerSigned(const Certificate& subject, const Certificate& issuer) {
  const OpenSslErrorMark mark;
  EVP_PKEY* key = X509_get0_pubkey(X509Of(issuer));
  return key != nullptr && X509_verify(X509Of(subject), key) == 1;
}

}  // namespace quorvel::platform
