// Certificates on the platform's certificate functions: a parsed certificate
// holds the platform's certificate context; the serial number and names are
// kept exactly as encoded, as on every platform.
#include <climits>
#include <cwchar>
#include <new>

#include "platform/certificates/certificate.h"
#include "platform/certificates/certificate_fields.h"
#include "platform/certificates/certificate_windows.h"
#include "platform/certificates/extension_format.h"
#include "platform/certificates/parsed_certificates.h"
#include "platform/errors/platform_errors_windows.h"

namespace quorvel::platform {

namespace {

constexpr DWORD kEncoding = kCertificateEncoding;

uint64_t FileTimeOf(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

Certificate::Certificate() : native_(std::make_unique<Native>()) {}
Certificate::~Certificate() = default;

Status Certificate::FromDer(std::span<const uint8_t> der, std::shared_ptr<const Certificate>& out) {
  if (der.empty() || der.size() > static_cast<size_t>(INT_MAX)) return error::kAsn1Corrupt;
  try {
    std::shared_ptr<Certificate> certificate(new Certificate());
    certificate->der_.assign(der.begin(), der.end());
    // Exactly one certificate: its outer element spans the bytes.
    if (!ReadRawFields(certificate->der_, certificate->serial_, certificate->issuer_,
                       certificate->subject_)) {
      return error::kAsn1Corrupt;
    }
    PCCERT_CONTEXT context = CertCreateCertificateContext(
        kEncoding, certificate->der_.data(), static_cast<DWORD>(certificate->der_.size()));
    if (context == nullptr) return error::kAsn1Corrupt;
    certificate->native_->context = context;
    Bytes sha1(20);
    DWORD size = static_cast<DWORD>(sha1.size());
    if (CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, sha1.data(), &size) ==
            0 ||
        size != sha1.size()) {
      return error::kStorageFailure;
    }
    if (std::shared_ptr<const Certificate> parsed = FindParsedCertificate(sha1, der)) {
      out = std::move(parsed);
      return error::kOk;
    }
    certificate->sha1_ = std::move(sha1);
    const CERT_INFO& info = *context->pCertInfo;
    certificate->notBefore_ = FileTimeOf(info.NotBefore);
    certificate->notAfter_ = FileTimeOf(info.NotAfter);
    for (DWORD i = 0; i < info.cExtension; ++i) {
      const CERT_EXTENSION& extension = info.rgExtension[i];
      if (extension.pszObjId == nullptr) return error::kAsn1Corrupt;
      Extension entry;
      entry.oid = extension.pszObjId;
      entry.critical = extension.fCritical != FALSE;
      entry.value.assign(extension.Value.pbData, extension.Value.pbData + extension.Value.cbData);
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
  return CryptVerifyCertificateSignatureEx(
             0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
             const_cast<CERT_CONTEXT*>(subject.native().context),
             CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT, const_cast<CERT_CONTEXT*>(issuer.native().context),
             0, nullptr) != 0;
}

// The platform's own text of an extension, as its certificate dialogs show it.
Status FormatExtension(std::string_view oid, std::span<const uint8_t> value, std::u16string& text) {
  if (value.size() > static_cast<size_t>(INT_MAX)) return error::kInvalidArgument;
  const std::string oidText(oid);
  DWORD size = 0;
  if (CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oidText.c_str(), value.data(),
                        static_cast<DWORD>(value.size()), nullptr, &size) == 0) {
    return LastPlatformError();
  }
  std::wstring formatted(size / sizeof(wchar_t) + 1, L'\0');
  if (CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oidText.c_str(), value.data(),
                        static_cast<DWORD>(value.size()), formatted.data(), &size) == 0) {
    return LastPlatformError();
  }
  formatted.resize(size / sizeof(wchar_t));
  while (!formatted.empty() && formatted.back() == L'\0') formatted.pop_back();
  text.assign(formatted.begin(), formatted.end());
  return error::kOk;
}

Bytes EncodedKeyProvInfo(const CRYPT_KEY_PROV_INFO& native) {
  const auto text = [](const wchar_t* units) {
    return units == nullptr ? std::u16string() : std::u16string(units, units + wcslen(units));
  };
  KeyProvInfo info;
  info.container = text(native.pwszContainerName);
  info.provider = text(native.pwszProvName);
  info.providerType = native.dwProvType;
  info.flags = native.dwFlags;
  info.keySpec = native.dwKeySpec;
  return info.Encode();
}

Status SetKeyProvInfo(PCCERT_CONTEXT context, const KeyProvInfo& info) {
  std::wstring container(info.container.begin(), info.container.end());
  std::wstring provider(info.provider.begin(), info.provider.end());
  CRYPT_KEY_PROV_INFO native{};
  native.pwszContainerName = container.data();
  native.pwszProvName = provider.data();
  native.dwProvType = info.providerType;
  native.dwFlags = info.flags;
  native.dwKeySpec = info.keySpec;
  if (CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &native) == 0) {
    return LastPlatformError();
  }
  return error::kOk;
}

}  // namespace quorvel::platform
