#include "platform/messages/message_signed_envelope.h"

#include <openssl/objects.h>

#include "platform/errors/platform_errors.h"
#include "platform/messages/message_envelope_internal.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {

Status SignAndEncryptMessage(const CertContext& signer, std::string_view digestOid,
                             const Certificate& recipient, std::string_view cipherOid,
                             std::span<const uint8_t> content, Bytes& envelope) {
  envelope.clear();
  Bytes signedMessage;
  if (const Status status = SignMessage(signer, digestOid, content, false, signedMessage);
      status != error::kOk) {
    return status;
  }
  return message::Envelope(recipient, cipherOid, signedMessage, NID_pkcs7_signed, envelope);
}

Status DecryptAndVerifyMessageSignature(CertStore& store, std::span<const uint8_t> envelope,
                                        uint32_t signerIndex, Bytes& content,
                                        CertContextRef& decryptor, CertContextRef& signer) {
  content.clear();
  decryptor.reset();
  signer.reset();
  Bytes inner;
  int contentType = NID_undef;
  CertContextRef opened;
  if (const Status status = message::OpenEnvelope(store, envelope, inner, contentType, opened);
      status != error::kOk) {
    return status;
  }
  // Other tools label the signed message inside as plain data; the bytes decide.
  if (contentType != NID_pkcs7_signed && contentType != NID_pkcs7_data) {
    return error::kInvalidMessageType;
  }
  Bytes signedContent;
  CertContextRef verifiedSigner;
  const Status status = VerifyMessageSignature(inner, signerIndex, signedContent, verifiedSigner);
  if (status == error::kAsn1Corrupt && contentType == NID_pkcs7_data) {
    return error::kInvalidMessageType;  // an envelope of plain data
  }
  if (status != error::kOk) return status;
  content = std::move(signedContent);
  decryptor = std::move(opened);
  signer = std::move(verifiedSigner);
  return error::kOk;
}

}  // namespace quorvel::platform
