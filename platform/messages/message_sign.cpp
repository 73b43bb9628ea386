#include "platform/messages/message_sign.h"

#include <openssl/bio.h>
#include <openssl/pkcs7.h>

#include <algorithm>

#include "platform/certificates/certificate_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/keyuse/key_use.h"
#include "platform/messages/message_support.h"

namespace quorvel::platform {
namespace {

constexpr size_t kMaxWrite = size_t{1} << 30;

}  // namespace

Status SignMessage(const CertContext& signer, std::string_view digestOid,
                   std::span<const uint8_t> content, bool detached, Bytes& message) {
  message.clear();
  const OpenSslErrorMark errors;

  EvpMdPtr digest;
  if (const Status status = message::FetchDigest(digestOid, digest); status != error::kOk)
    return status;
  if (const Status status = ApproveKeyUse(KeyAction::kSign, signer.certificate(), content);
      status != error::kOk) {
    return status;
  }
  EvpPkeyPtr key;
  if (const Status status = message::PrivateKeyOf(signer, key); status != error::kOk) return status;

  // Binary content, no signed attributes and no capabilities: the signature is
  // over the content's digest itself. The PKCS#7 encoder writes the NULL
  // parameters of every algorithm identifier (digests included), as the
  // platform's own messages have them and as simple parsers of this layout
  // expect.
  constexpr int kFlags = PKCS7_BINARY | PKCS7_NOATTR | PKCS7_NOSMIMECAP | PKCS7_PARTIAL;
  const Pkcs7Ptr signedData(PKCS7_sign_ex(nullptr, nullptr, nullptr, nullptr, kFlags,
                                          CryptoLibrary(), kCryptoProperties));
  if (!signedData) return error::kOutOfMemory;
  // Adding the signer also adds its certificate, the only one in the message.
  if (PKCS7_sign_add_signer(signedData.get(), X509Of(signer.certificate()), key.get(), digest.get(),
                            kFlags) == nullptr) {
    return error::kBadData;
  }
  if (detached && PKCS7_set_detached(signedData.get(), 1) != 1) return error::kOutOfMemory;
  // The content goes through the digest into the message in one write, so
  // that the message's copy of it is allocated once instead of grown block
  // by block.
  const BioPtr digesting(PKCS7_dataInit(signedData.get(), nullptr));
  if (!digesting) return error::kOutOfMemory;
  for (size_t offset = 0; offset < content.size();) {
    const int piece = static_cast<int>(std::min<size_t>(content.size() - offset, kMaxWrite));
    if (BIO_write(digesting.get(), content.data() + offset, piece) != piece) {
      return error::kOutOfMemory;
    }
    offset += static_cast<size_t>(piece);
  }
  (void)BIO_flush(digesting.get());
  if (PKCS7_dataFinal(signedData.get(), digesting.get()) != 1) return error::kBadData;

  return ToDer<i2d_PKCS7>(signedData.get(), message) ? error::kOk : error::kOutOfMemory;
}

}  // namespace quorvel::platform
