// Shared pieces of the PKCS#7 message functions: the algorithm lookups by dotted OID, parsing of
// untrusted message bytes and the private key behind a certificate's key-provider property.
// Internal to the message functions; callers use message_*.h.
#pragma once

#include <openssl/cms.h>
#include <openssl/err.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/crypto/openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform::message {

// The digest of a dotted hash OID (MD5, SHA-1, SHA-256/384/512); kBadAlgId for
// any other identifier or one the library cannot provide.
Status FetchDigest(std::string_view oid, EvpMdPtr& digest);
// The same for an OID held in an ASN1_OBJECT read from a message.
Status FetchDigest(const ASN1_OBJECT* oid, EvpMdPtr& digest);

// The content-encryption cipher of a dotted OID (RC4, RC2-CBC, DES-CBC,
// 3DES-CBC, AES-128-CBC, AES-256-CBC); kBadAlgId for any other identifier.
Status FetchCipher(std::string_view oid, EvpCipherPtr& cipher);

// The digest of `content`; kBadAlgId when the library cannot compute it.
Status ComputeDigest(const EVP_MD* algorithm, std::span<const uint8_t> content, Bytes& digest);

// Parses one whole DER (or BER) ContentInfo within the platform's library
// context. kAsn1Corrupt when the bytes are not exactly one ContentInfo.
Status ParseMessage(std::span<const uint8_t> der, CmsPtr& message);

// The DER of a message; kOutOfMemory when it cannot be written.
Status EncodeMessage(CMS_ContentInfo* message, Bytes& der);

// A read-only memory BIO over `bytes` (which must outlive it).
BioPtr ReadBio(std::span<const uint8_t> bytes);

// The RSA private key named by the certificate's key-provider property:
// kNoKeyProperty without the property, the key container's own error when the
// container or its key of that specification is missing, kNoKey when the key
// is not the one of the certificate's public key.
Status PrivateKeyOf(const CertContext& certificate, EvpPkeyPtr& key);

// The OpenSSL library and reason of the most recent error on the queue.
bool LastErrorIs(int library, int reason);

}  // namespace quorvel::platform::message
