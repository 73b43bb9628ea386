// Verifying signed messages: PKCS#7 signedData with the content inside
// (attached) or supplied by the caller (detached).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// Verifies the signature of signer `signerIndex` of the DER signedData
// `message` over the content the message carries. On success `content`
// receives that content and `signer` a context (of no store) for the signer's
// certificate, taken from the message's certificates by the SignerInfo's
// issuer and serial number. Only the signature is checked here, not the
// certificate.
//
// Failures (the outputs are then empty):
//  - kAsn1Corrupt: the bytes are not one well-formed message;
//  - kInvalidMessageType: not a signedData, or one without content;
//  - kSignerNotFound: no signer at `signerIndex`;
//  - kNotFound: the signer's certificate is not in the message;
//  - kBadAlgId: a digest algorithm other than MD5 or SHA-1/256/384/512;
//  - kHashValue: the content's digest differs from the signed message-digest
//    attribute (messages with authenticated attributes);
//  - kBadSignature: the signature does not verify.
Status VerifyMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                              Bytes& content, CertContextRef& signer);

// The same for a message the caller hands over: its bytes are released as
// soon as they are parsed, and the content is given as text, so that a large
// message is held once as bytes, once parsed and once as the content.
Status VerifyMessageSignature(Bytes&& message, uint32_t signerIndex, std::string& content,
                              CertContextRef& signer);

// The same for a detached signature over `content`; content carried in the
// message, if any, is not used.
Status VerifyDetachedMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                                      std::span<const uint8_t> content, CertContextRef& signer);

}  // namespace quorvel::platform
