// The hand-built PKCS#7 path: a SignedData with one signer and no
// authenticated attributes, assembled and taken apart with the template
// codec, its signature made and checked with the low-level hash and key
// calls rather than the platform's message functions.
//
// The layout, byte for byte (DER, definite minimal lengths):
//   SEQUENCE { OID signedData, [0] { SEQUENCE {
//     INTEGER 1,
//     SET { SEQUENCE { OID digest, NULL } },
//     SEQUENCE { OID data [, [0] { OCTET STRING content }] },   -- attached only
//     [0] { the signer's certificate, unchanged },
//     SET { SEQUENCE {
//       INTEGER 1,
//       SEQUENCE { issuer name unchanged, INTEGER certificate's serial octets },
//       SEQUENCE { OID digest, NULL },
//       SEQUENCE { OID rsaEncryption, NULL },
//       OCTET STRING signature, most significant byte first } } } } }
// The digest is SHA-1 ("1.3.14.3.2.26") or MD5 ("1.2.840.113549.2.5").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {

inline constexpr std::string_view kSha1DigestOid = "1.3.14.3.2.26";
inline constexpr std::string_view kMd5DigestOid = "1.2.840.113549.2.5";

// Hashes `data` with `digestOid` and signs the hash with the private key that
// the certificate's key-provider property names. `signature` receives the
// PKCS#1 v1.5 value most significant byte first. Returns 0, -10053 (no
// key-provider property), -10027, -10019, -10029, -10030, -10051, -10052 or
// -10031; platform values go to `lastError`.
ErrorNumber SignHashWithKey(const platform::CertContext& certificate, std::string_view digestOid,
                            std::string_view data, platform::Bytes& signature,
                            platform::Status& lastError);

// The DER of the layout above. `content` is written only when attached.
// Returns 0, -10033 (digest neither SHA-1 nor MD5) or -10054 (the codec
// failed, or a part is larger than the codec can hold).
ErrorNumber EncodeSignedData(bool detached, std::string_view content,
                             const platform::CertContext& certificate, std::string_view digestOid,
                             const platform::Bytes& signature, platform::Bytes& der);

// What DecodeSignedData takes out of a message.
struct DecodedSignedData {
  std::string content;                   // attached mode: the content (possibly empty)
  platform::CertContextRef certificate;  // the first certificate of the message
  std::string digestOid;                 // kSha1DigestOid or kMd5DigestOid
  platform::Bytes signature;             // as it stands, most significant byte first
};

// Takes the DER of a ContentInfo of type signedData apart. In detached mode a
// message that carries content fails with -10010. Returns 0, -10037 (not
// decodable), -10038 (another content type, inner type, signature algorithm
// or digest form), -10033 (a six-arc digest other than SHA-1 or MD5), -10010
// or -10035 (the certificate bytes are not a certificate).
ErrorNumber DecodeSignedData(std::string_view der, bool detached, DecodedSignedData& decoded);

// Checks `signature` (most significant byte first) over `data` with the
// certificate's public key. Returns 0, -10028, -10029, -10030 or -10032.
ErrorNumber VerifyHashWithPublicKey(std::string_view data, const platform::CertContext& certificate,
                                    std::string_view digestOid, const platform::Bytes& signature);

}  // namespace quorvel::engine
