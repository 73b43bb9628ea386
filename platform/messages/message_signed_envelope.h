// Signed and enveloped messages: an envelopedData whose encrypted content is
// the DER of an attached signedData, with the inner content type signedData.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

class CertStore;

// Signs `content` as SignMessage does (attached), then envelopes the signed
// message for `recipient` as EncryptMessage does, labelling the inner content
// signedData. Fails with the errors of either step; `envelope` is empty then.
Status SignAndEncryptMessage(const CertContext& signer, std::string_view digestOid,
                             const Certificate& recipient, std::string_view cipherOid,
                             std::span<const uint8_t> content, Bytes& envelope);

// Opens `envelope` as DecryptMessage does and verifies the signed message
// inside as VerifyMessageSignature does. On success `content` receives the
// signed content, `decryptor` the certificate whose key opened the envelope
// and `signer` the signer's certificate. An envelope of plain data, or of any
// inner message but a signedData, fails with kInvalidMessageType; other
// failures are those of the two steps. The outputs are empty after a failure.
Status DecryptAndVerifyMessageSignature(CertStore& store, std::span<const uint8_t> envelope,
                                        uint32_t signerIndex, Bytes& content,
                                        CertContextRef& decryptor, CertContextRef& signer);

}  // namespace quorvel::platform
