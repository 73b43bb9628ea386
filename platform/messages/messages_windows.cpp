// Signed and enveloped messages on the platform's message functions: the
// simplified ones for signing and verifying, the low-level ones (which every
// version of the platform has) for envelopes.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <climits>
#include <string>

#include "platform/certificates/certificate_windows.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/der_reader.h"
#include "platform/crypto/hash.h"
#include "platform/crypto/provider_windows.h"
#include "platform/errors/platform_errors_windows.h"
#include "platform/keyuse/key_use.h"
#include "platform/messages/block_envelope_windows.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_hash.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_verify.h"
#include "platform/stores/cert_store_windows.h"

namespace quorvel::platform {

namespace {

// A context of the certificate alone, naming where its key is.
class SignerContext {
 public:
  SignerContext(const Certificate& certificate, const KeyProvInfo& key) {
    const std::span<const uint8_t> der = certificate.Der();
    context_ = CertCreateCertificateContext(kCertificateEncoding, der.data(),
                                            static_cast<DWORD>(der.size()));
    status_ = context_ == nullptr ? LastPlatformError() : SetKeyProvInfo(context_, key);
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
  if (!IsCreatableHash(OidToAlgId(digestOid))) return error::kBadAlgId;
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
    return LastPlatformError();
  }
  Bytes signedMessage(size);
  if (CryptSignMessage(&parameters, detached ? TRUE : FALSE, 1, pieces, sizes, signedMessage.data(),
                       &size) == 0) {
    return LastPlatformError();
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
    const Status failure = LastPlatformError();
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
    const Status failure = LastPlatformError();
    if (context != nullptr) CertFreeCertificateContext(context);
    return failure;
  }
  return SignerOf(context, signer);
}

namespace {

bool IsCipher(std::string_view oid) {
  const uint32_t algId = OidToAlgId(oid);
  return algId == kCalgRc4 || algId == kCalgRc2 || algId == kCalgDes || algId == kCalg3Des ||
         algId == kCalgAes128 || algId == kCalgAes256;
}

class OpenMessage {
 public:
  explicit OpenMessage(HCRYPTMSG message) : message_(message) {}
  OpenMessage(const OpenMessage&) = delete;
  OpenMessage& operator=(const OpenMessage&) = delete;
  ~OpenMessage() {
    if (message_ != nullptr) CryptMsgClose(message_);
  }
  HCRYPTMSG get() const { return message_; }

 private:
  HCRYPTMSG message_;
};

// One of the message's parameters, read whole.
bool ReadParameter(HCRYPTMSG message, DWORD type, DWORD index, Bytes& value) {
  DWORD size = 0;
  if (CryptMsgGetParam(message, type, index, nullptr, &size) == 0) return false;
  value.resize(size);
  if (CryptMsgGetParam(message, type, index, value.data(), &size) == 0) return false;
  value.resize(size);
  return true;
}

// Envelops `content` of type `innerType` (null for data) for `recipient`:
// with the message functions underneath, which every version of the platform
// has, for RC4 (a 128-bit key); with the provider's key functions for block
// ciphers.
Status Envelope(const Certificate& recipient, std::string_view cipherOid,
                std::span<const uint8_t> content, const char* innerType, Bytes& envelope) {
  envelope.clear();
  if (!IsCipher(cipherOid)) return error::kBadAlgId;
  if (content.size() > static_cast<size_t>(UINT_MAX)) return error::kInvalidArgument;
  const CERT_INFO* recipientInfo = recipient.native().context->pCertInfo;
  if (recipientInfo->SubjectPublicKeyInfo.Algorithm.pszObjId == nullptr ||
      std::string_view(recipientInfo->SubjectPublicKeyInfo.Algorithm.pszObjId) != szOID_RSA_RSA) {
    return error::kBadAlgId;
  }
  const uint32_t algId = OidToAlgId(cipherOid);
  if (IsBlockCipher(algId)) {
    return EnvelopeWithBlockCipher(recipient.native().context, cipherOid, content,
                                   innerType == nullptr ? szOID_RSA_data : innerType, envelope);
  }
  std::string oid(cipherOid);
  CMSG_RC2_AUX_INFO rc2{sizeof rc2, 128};
  CMSG_RC4_AUX_INFO rc4{sizeof rc4, 128};
  PCERT_INFO recipients[] = {const_cast<PCERT_INFO>(recipientInfo)};
  CMSG_ENVELOPED_ENCODE_INFO info{};
  info.cbSize = sizeof info;
  info.hCryptProv = VerificationProvider();
  info.ContentEncryptionAlgorithm.pszObjId = oid.data();
  info.pvEncryptionAuxInfo = algId == kCalgRc2   ? static_cast<void*>(&rc2)
                             : algId == kCalgRc4 ? static_cast<void*>(&rc4)
                                                 : nullptr;
  info.cRecipients = 1;
  info.rgpRecipients = recipients;
  const OpenMessage message(CryptMsgOpenToEncode(kCertificateEncoding, 0, CMSG_ENVELOPED, &info,
                                                 const_cast<char*>(innerType), nullptr));
  if (message.get() == nullptr) return LastPlatformError();
  if (CryptMsgUpdate(message.get(), content.data(), static_cast<DWORD>(content.size()), TRUE) ==
      0) {
    return LastPlatformError();
  }
  Bytes encoded;
  if (!ReadParameter(message.get(), CMSG_CONTENT_PARAM, 0, encoded)) return LastPlatformError();
  envelope = std::move(encoded);
  return error::kOk;
}

// The type of the content an envelope carries, from its bytes: Wine's
// message functions do not give it for envelopes. Empty when the envelope
// does not parse that far.
std::string InnerContentType(std::span<const uint8_t> envelope) {
  der::Reader recipients;
  der::Reader encryptedContent;
  der::Element innerType;
  std::string dotted;
  if (!ReadEnvelopeBody(envelope, recipients, encryptedContent) ||
      !encryptedContent.ReadElement(der::kObjectIdentifier, innerType) ||
      !der::OidToDotted(innerType.content, dotted)) {
    return {};
  }
  return dotted;
}

// The key of a recipient whose certificate a store holds.
class RecipientKey {
 public:
  RecipientKey() = default;
  RecipientKey(const RecipientKey&) = delete;
  RecipientKey& operator=(const RecipientKey&) = delete;
  ~RecipientKey() {
    if (provider != 0 && mustRelease) CryptReleaseContext(provider, 0);
  }
  HCRYPTPROV provider = 0;
  DWORD keySpec = 0;
  BOOL mustRelease = FALSE;
  CertContextRef certificate;
};

// The key of the recipient `info` names, when `store` holds its certificate
// with a usable key and the user lets it open `envelope`:
// kNoDecryptCertificate when there is none, the refusal when not let.
Status FindRecipientKey(CertStore& store, const CERT_INFO& info, std::span<const uint8_t> envelope,
                        RecipientKey& key) {
  PCCERT_CONTEXT found = CertFindCertificateInStore(store.native()->store, kCertificateEncoding, 0,
                                                    CERT_FIND_SUBJECT_CERT, &info, nullptr);
  if (found == nullptr) return error::kNoDecryptCertificate;
  const bool usable =
      CryptAcquireCertificatePrivateKey(found, CRYPT_ACQUIRE_SILENT_FLAG, nullptr, &key.provider,
                                        &key.keySpec, &key.mustRelease) != 0 &&
      StoreContextOf(found, 0, key.certificate) == error::kOk;
  CertFreeCertificateContext(found);
  if (!usable) return error::kNoDecryptCertificate;
  return ApproveKeyUse(KeyAction::kDecrypt, key.certificate->certificate(), envelope);
}

// Opens a DER envelope whose content a block cipher enciphered.
Status OpenBlockCipherEnvelope(CertStore& store, std::span<const uint8_t> envelope,
                               const BlockEnvelope& parts, Bytes& content,
                               CertContextRef& decryptor) {
  for (size_t index = 0; index < parts.recipients.size(); ++index) {
    const BlockEnvelope::Recipient& recipient = parts.recipients[index];
    CERT_INFO info{};
    info.Issuer = {static_cast<DWORD>(recipient.issuer.size()),
                   const_cast<BYTE*>(recipient.issuer.data())};
    info.SerialNumber = {static_cast<DWORD>(recipient.serialNumber.size()),
                         const_cast<BYTE*>(recipient.serialNumber.data())};
    RecipientKey key;
    const Status found = FindRecipientKey(store, info, envelope, key);
    if (found == error::kNoDecryptCertificate) continue;
    if (found != error::kOk) return found;
    const Status opened = OpenBlockEnvelope(key.provider, key.keySpec, parts, index, content);
    if (opened == error::kOk) decryptor = std::move(key.certificate);
    return opened;
  }
  return error::kNoDecryptCertificate;
}

// Opens `envelope` with the first recipient whose certificate `store` holds
// with a usable key: its content, the type of that content, and the
// certificate's context.
Status OpenEnvelope(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                    std::string& innerType, CertContextRef& decryptor) {
  content.clear();
  decryptor.reset();
  if (envelope.empty() || envelope.size() > static_cast<size_t>(UINT_MAX)) {
    return error::kAsn1Corrupt;
  }
  if (BlockEnvelope parts; ReadBlockEnvelope(envelope, parts)) {
    innerType = parts.innerType;
    return OpenBlockCipherEnvelope(store, envelope, parts, content, decryptor);
  }
  const OpenMessage message(CryptMsgOpenToDecode(kCertificateEncoding, 0, 0, 0, nullptr, nullptr));
  if (message.get() == nullptr) return LastPlatformError();
  if (CryptMsgUpdate(message.get(), envelope.data(), static_cast<DWORD>(envelope.size()), TRUE) ==
      0) {
    return error::kAsn1Corrupt;
  }
  DWORD type = 0;
  DWORD size = sizeof type;
  if (CryptMsgGetParam(message.get(), CMSG_TYPE_PARAM, 0, &type, &size) == 0)
    return LastPlatformError();
  if (type != CMSG_ENVELOPED) return error::kUnexpectedMessageType;
  DWORD count = 0;
  size = sizeof count;
  if (CryptMsgGetParam(message.get(), CMSG_RECIPIENT_COUNT_PARAM, 0, &count, &size) == 0) {
    return LastPlatformError();
  }
  for (DWORD index = 0; index < count; ++index) {
    Bytes recipient;
    if (!ReadParameter(message.get(), CMSG_RECIPIENT_INFO_PARAM, index, recipient)) continue;
    RecipientKey key;
    const Status found = FindRecipientKey(
        store, *reinterpret_cast<const CERT_INFO*>(recipient.data()), envelope, key);
    if (found == error::kNoDecryptCertificate) continue;
    if (found != error::kOk) return found;
    CMSG_CTRL_DECRYPT_PARA decrypt{};
    decrypt.cbSize = sizeof decrypt;
    decrypt.hCryptProv = key.provider;
    decrypt.dwKeySpec = key.keySpec;
    decrypt.dwRecipientIndex = index;
    if (CryptMsgControl(message.get(), 0, CMSG_CTRL_DECRYPT, &decrypt) == 0) return error::kBadData;
    if (!ReadParameter(message.get(), CMSG_CONTENT_PARAM, 0, content)) {
      content.clear();
      return LastPlatformError();
    }
    innerType = InnerContentType(envelope);
    decryptor = std::move(key.certificate);
    return error::kOk;
  }
  return error::kNoDecryptCertificate;
}

}  // namespace

Status EncryptMessage(const Certificate& recipient, std::string_view cipherOid,
                      std::span<const uint8_t> content, Bytes& envelope) {
  return Envelope(recipient, cipherOid, content, nullptr, envelope);
}

Status DecryptMessage(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                      CertContextRef& decryptor) {
  std::string innerType;
  return OpenEnvelope(store, envelope, content, innerType, decryptor);
}

// Signing, then enveloping the signed message.
Status SignAndEncryptMessage(const CertContext& signer, std::string_view digestOid,
                             const Certificate& recipient, std::string_view cipherOid,
                             std::span<const uint8_t> content, Bytes& envelope) {
  envelope.clear();
  if (!IsCipher(cipherOid)) return error::kBadAlgId;
  Bytes signedMessage;
  if (const Status signedOk = SignMessage(signer, digestOid, content, false, signedMessage);
      signedOk != error::kOk) {
    return signedOk;
  }
  return Envelope(recipient, cipherOid, signedMessage, szOID_RSA_signedData, envelope);
}

Status DecryptAndVerifyMessageSignature(CertStore& store, std::span<const uint8_t> envelope,
                                        uint32_t signerIndex, Bytes& content,
                                        CertContextRef& decryptor, CertContextRef& signer) {
  content.clear();
  decryptor.reset();
  signer.reset();
  Bytes inner;
  std::string innerType;
  CertContextRef opened;
  if (const Status status = OpenEnvelope(store, envelope, inner, innerType, opened);
      status != error::kOk) {
    return status;
  }
  // Wine's message functions write every envelope's content type as data,
  // so a signed message inside one typed as data is verified as well: the
  // verification refuses anything but a signed message.
  if (innerType != szOID_RSA_signedData && innerType != szOID_RSA_data) {
    return error::kUnexpectedMessageType;
  }
  if (const Status verified = VerifyMessageSignature(inner, signerIndex, content, signer);
      verified != error::kOk) {
    return verified;
  }
  decryptor = std::move(opened);
  return error::kOk;
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
