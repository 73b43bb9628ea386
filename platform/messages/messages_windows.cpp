// Signed and enveloped messages on the platform's message functions. Until
// they all do, envelopes answer kNotSupported.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <climits>
#include <string>

#include "platform/certificates/certificate_windows.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/keyuse/key_use.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_hash.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {

namespace {

Status LastError() {
  return static_cast<Status>(HRESULT_FROM_WIN32(GetLastError()));
}

bool IsDigest(std::string_view oid) {
  const uint32_t algId = OidToAlgId(oid);
  return algId == kCalgMd5 || algId == kCalgSha1 || algId == kCalgSha256 || algId == kCalgSha384 ||
         algId == kCalgSha512;
}

// A context of the certificate alone, naming where its key is.
class SignerContext {
 public:
  SignerContext(const Certificate& certificate, const KeyProvInfo& key) {
    const std::span<const uint8_t> der = certificate.Der();
    context_ = CertCreateCertificateContext(kCertificateEncoding, der.data(),
                                            static_cast<DWORD>(der.size()));
    status_ = context_ == nullptr ? LastError() : SetKeyProvInfo(context_, key);
  }
  SignerContext(const SignerContext&) = delete;
  SignerContext& operator=(const SignerContext&) = delete;
  ~SignerContext() {
    if (context_ != nullptr) CertFreeCertificateContext(context_);
  }
  Status status() const { return status_; }
  PCCERT_CONTEXT get() const { return context_; }

 private:
  PCCERT_CONTEXT context_ = nullptr;
  Status status_ = error::kOk;
};

}  // namespace

Status SignMessage(const CertContext& signer, std::string_view digestOid,
                   std::span<const uint8_t> content, bool detached, Bytes& message) {
  message.clear();
  if (!IsDigest(digestOid)) return error::kBadAlgId;
  if (content.size() > static_cast<size_t>(UINT_MAX)) return error::kInvalidArgument;
  KeyProvInfo key;
  if (signer.GetKeyProvInfo(key) != error::kOk) return error::kNoKeyProperty;
  if (const Status approved = ApproveKeyUse(KeyAction::kSign, signer.certificate(), content);
      approved != error::kOk) {
    return approved;
  }
  const SignerContext context(signer.certificate(), key);
  if (context.status() != error::kOk) return context.status();
  // No authenticated attributes: the signature is over the content's digest,
  // and the signer's certificate is the message's only one.
  std::string oid(digestOid);
  PCCERT_CONTEXT certificates[] = {context.get()};
  CRYPT_SIGN_MESSAGE_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.dwMsgEncodingType = kCertificateEncoding;
  parameters.pSigningCert = context.get();
  parameters.HashAlgorithm.pszObjId = oid.data();
  parameters.cMsgCert = 1;
  parameters.rgpMsgCert = certificates;
  const BYTE* pieces[] = {content.data()};
  DWORD sizes[] = {static_cast<DWORD>(content.size())};
  DWORD size = 0;
  if (CryptSignMessage(&parameters, detached ? TRUE : FALSE, 1, pieces, sizes, nullptr, &size) ==
      0) {
    return LastError();
  }
  Bytes signedMessage(size);
  if (CryptSignMessage(&parameters, detached ? TRUE : FALSE, 1, pieces, sizes, signedMessage.data(),
                       &size) == 0) {
    return LastError();
  }
  signedMessage.resize(size);
  message = std::move(signedMessage);
  return error::kOk;
}

namespace {

CRYPT_VERIFY_MESSAGE_PARA VerifyParameters() {
  CRYPT_VERIFY_MESSAGE_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.dwMsgAndCertEncodingType = kCertificateEncoding;
  return parameters;
}

// The signer's certificate, which the platform took from the message, as a
// context of no store.
Status SignerOf(PCCERT_CONTEXT context, CertContextRef& signer) {
  const Status made = CreateCertificateContext(
      std::span<const uint8_t>(context->pbCertEncoded, context->cbCertEncoded), signer);
  CertFreeCertificateContext(context);
  return made;
}

}  // namespace

Status VerifyMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                              Bytes& content, CertContextRef& signer) {
  content.clear();
  signer.reset();
  if (message.empty() || message.size() > static_cast<size_t>(UINT_MAX)) {
    return error::kAsn1Corrupt;
  }
  CRYPT_VERIFY_MESSAGE_PARA parameters = VerifyParameters();
  // The content is never longer than the message that carries it.
  Bytes carried(message.size());
  DWORD size = static_cast<DWORD>(carried.size());
  PCCERT_CONTEXT context = nullptr;
  if (CryptVerifyMessageSignature(&parameters, signerIndex, message.data(),
                                  static_cast<DWORD>(message.size()), carried.data(), &size,
                                  &context) == 0) {
    const Status failure = LastError();
    if (context != nullptr) CertFreeCertificateContext(context);
    return failure;
  }
  carried.resize(size);
  if (const Status made = SignerOf(context, signer); made != error::kOk) return made;
  content = std::move(carried);
  return error::kOk;
}

Status VerifyMessageSignature(Bytes&& message, uint32_t signerIndex, std::string& content,
                              CertContextRef& signer) {
  content.clear();
  Bytes carried;
  const Status verified = VerifyMessageSignature(message, signerIndex, carried, signer);
  Bytes().swap(message);
  if (verified != error::kOk) return verified;
  content.assign(carried.begin(), carried.end());
  return error::kOk;
}

Status VerifyDetachedMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                                      std::span<const uint8_t> content, CertContextRef& signer) {
  signer.reset();
  if (message.empty() || message.size() > static_cast<size_t>(UINT_MAX)) {
    return error::kAsn1Corrupt;
  }
  if (content.size() > static_cast<size_t>(UINT_MAX)) return error::kInvalidArgument;
  CRYPT_VERIFY_MESSAGE_PARA parameters = VerifyParameters();
  const BYTE* pieces[] = {content.data()};
  DWORD sizes[] = {static_cast<DWORD>(content.size())};
  PCCERT_CONTEXT context = nullptr;
  if (CryptVerifyDetachedMessageSignature(&parameters, signerIndex, message.data(),
                                          static_cast<DWORD>(message.size()), 1, pieces, sizes,
                                          &context) == 0) {
    const Status failure = LastError();
    if (context != nullptr) CertFreeCertificateContext(context);
    return failure;
  }
  return SignerOf(context, signer);
}

Status EncryptMessage(const Certificate&, std::string_view, std::span<const uint8_t>, Bytes&) {
  return error::kNotSupported;
}

Status DecryptMessage(CertStore&, std::span<const uint8_t>, Bytes&, CertContextRef&) {
  return error::kNotSupported;
}

Status SignAndEncryptMessage(const CertContext&, std::string_view, const Certificate&,
                             std::string_view, std::span<const uint8_t>, Bytes&) {
  return error::kNotSupported;
}

Status DecryptAndVerifyMessageSignature(CertStore&, std::span<const uint8_t>, uint32_t, Bytes&,
                                        CertContextRef&, CertContextRef&) {
  return error::kNotSupported;
}

Status HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash) {
  hash.clear();
  std::unique_ptr<Hash> digest;
  if (const Status created = Hash::Create(OidToAlgId(digestOid), digest); created != error::kOk) {
    return created;
  }
  if (const Status hashed = digest->HashData(content); hashed != error::kOk) return hashed;
  return digest->GetValue(hash);
}

}  // namespace quorvel::platform
