#include "platform/messages/message_envelope.h"

#include <openssl/objects.h>

#include <vector>

#include "platform/certificates/certificate_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/keyuse/key_use.h"
#include "platform/messages/message_envelope_internal.h"
#include "platform/messages/message_support.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform {
namespace message {
namespace {

// A failure of a hardware token (its PIN refused or not given, the token
// gone): the user has been asked already, so the search ends there.
bool IsTokenFailure(Status status) {
  return status == error::kCardCancelled || status == error::kCardWrongPin ||
         status == error::kCardPinLocked || status == error::kNoCard ||
         status == error::kCardRemoved || status == error::kCardFailure;
}

// The first key-transport recipient for which `certificates` holds a
// certificate with a usable key, that certificate and its key: kOk,
// kNoDecryptCertificate, or the failure of a token whose key was asked for.
Status FindRecipientKey(CMS_ContentInfo* envelope, const std::vector<CertContextRef>& certificates,
                        CertContextRef& certificate, EvpPkeyPtr& key) {
  STACK_OF(CMS_RecipientInfo)* recipients = CMS_get0_RecipientInfos(envelope);
  for (int i = 0; recipients != nullptr && i < sk_CMS_RecipientInfo_num(recipients); ++i) {
    CMS_RecipientInfo* recipient = sk_CMS_RecipientInfo_value(recipients, i);
    if (CMS_RecipientInfo_type(recipient) != CMS_RECIPINFO_TRANS) continue;
    for (const CertContextRef& candidate : certificates) {
      if (CMS_RecipientInfo_ktri_cert_cmp(recipient, X509Of(candidate->certificate())) != 0) {
        continue;
      }
      // A certificate without a key, or whose key is gone, cannot open it.
      const Status status = PrivateKeyOf(*candidate, key);
      if (IsTokenFailure(status)) return status;
      if (status != error::kOk) continue;
      certificate = candidate;
      return error::kOk;
    }
  }
  return error::kNoDecryptCertificate;
}

Status ReadAll(BIO* bio, Bytes& bytes) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  if (length < 0 || (length > 0 && data == nullptr)) return error::kOutOfMemory;
  bytes.assign(data, data + length);
  return error::kOk;
}

}  // namespace

Status Envelope(const Certificate& recipient, std::string_view cipherOid,
                std::span<const uint8_t> content, int contentType, Bytes& envelope) {
  envelope.clear();
  const OpenSslErrorMark errors;

  EvpCipherPtr cipher;
  if (const Status status = FetchCipher(cipherOid, cipher); status != error::kOk) return status;
  // Key transport is RSA's; other keys would make a different kind of recipient.
  EVP_PKEY* publicKey = X509_get0_pubkey(X509Of(recipient));
  if (publicKey == nullptr || EVP_PKEY_is_a(publicKey, "RSA") != 1) return error::kBadAlgId;

  // The message refers to the cipher until it is final, so it goes first.
  const CmsPtr enveloped(
      CMS_EnvelopedData_create_ex(cipher.get(), CryptoLibrary(), kCryptoProperties));
  if (!enveloped) return error::kOutOfMemory;
  if (CMS_add1_recipient_cert(enveloped.get(), X509Of(recipient), CMS_BINARY) == nullptr) {
    return error::kBadData;
  }
  // The encrypted content goes into the message, which needs a place for it.
  if (CMS_set_detached(enveloped.get(), 0) != 1) return error::kOutOfMemory;
  if (contentType != NID_pkcs7_data &&
      CMS_set1_eContentType(enveloped.get(), OBJ_nid2obj(contentType)) != 1) {
    return error::kOutOfMemory;
  }
  const BioPtr input = ReadBio(content);
  if (!input) return error::kOutOfMemory;
  if (CMS_final(enveloped.get(), input.get(), nullptr, CMS_BINARY) != 1) return error::kBadData;
  return EncodeMessage(enveloped.get(), envelope);
}

Status OpenEnvelope(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                    int& contentType, CertContextRef& decryptor) {
  content.clear();
  decryptor.reset();
  contentType = NID_undef;
  const OpenSslErrorMark errors;

  CmsPtr enveloped;
  if (const Status status = ParseMessage(envelope, enveloped); status != error::kOk) return status;
  if (OBJ_obj2nid(CMS_get0_type(enveloped.get())) != NID_pkcs7_enveloped) {
    return error::kUnexpectedMessageType;
  }
  ASN1_OCTET_STRING** encrypted = CMS_get0_content(enveloped.get());
  if (encrypted == nullptr || *encrypted == nullptr) return error::kAsn1Corrupt;

  std::vector<CertContextRef> certificates;
  if (const Status status = store.Certificates(certificates); status != error::kOk) return status;
  CertContextRef certificate;
  EvpPkeyPtr key;
  if (const Status found = FindRecipientKey(enveloped.get(), certificates, certificate, key);
      found != error::kOk) {
    return found;
  }
  if (const Status status =
          ApproveKeyUse(KeyAction::kDecrypt, certificate->certificate(), envelope);
      status != error::kOk) {
    return status;
  }
  if (CMS_decrypt_set1_pkey_and_peer(enveloped.get(), key.get(), X509Of(certificate->certificate()),
                                     nullptr) != 1) {
    return error::kBadData;
  }
  const BioPtr output(BIO_new(BIO_s_mem()));
  if (!output) return error::kOutOfMemory;
  if (CMS_decrypt(enveloped.get(), nullptr, nullptr, nullptr, output.get(), CMS_BINARY) != 1) {
    return LastErrorIs(ERR_LIB_CMS, CMS_R_UNKNOWN_CIPHER) ? error::kBadAlgId : error::kBadData;
  }
  Bytes decrypted;
  if (const Status status = ReadAll(output.get(), decrypted); status != error::kOk) return status;
  contentType = OBJ_obj2nid(CMS_get0_eContentType(enveloped.get()));
  content = std::move(decrypted);
  decryptor = std::move(certificate);
  return error::kOk;
}

}  // namespace message

Status EncryptMessage(const Certificate& recipient, std::string_view cipherOid,
                      std::span<const uint8_t> content, Bytes& envelope) {
  return message::Envelope(recipient, cipherOid, content, NID_pkcs7_data, envelope);
}

Status DecryptMessage(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                      CertContextRef& decryptor) {
  int contentType = NID_undef;
  return message::OpenEnvelope(store, envelope, content, contentType, decryptor);
}

}  // namespace quorvel::platform
