// PKCS#12 (PFX) files: their private key, the certificate that goes with it and
// any further certificates. Decryption runs in the platform's own library
// context, so files protected with the old RC2 and 3DES schemes open as well as
// those with PBES2 and AES.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

struct Pkcs12Contents {
  EvpPkeyPtr key;             // null when the file holds no key
  Bytes certificate;          // the certificate of `key` (or the first one without a key)
  std::vector<Bytes> others;  // every other certificate, in file order
  uint32_t keySpec = 0;       // kAtSignature or kAtKeyExchange as the key's usage
                              // attribute says; 0 when it has none
};

// Reads a PKCS#12 file. Fails with kAsn1Corrupt when the bytes are not one,
// kInvalidPassword when the password does not open it, kBadData when it holds
// more than one private key, a key without its certificate, or no certificate.
Status ReadPkcs12(std::span<const uint8_t> bytes, std::string_view password,
                  Pkcs12Contents& contents);

// Writes `key` (of `keySpec`, recorded in the key's usage attribute), its
// `certificate` and the `others` as a PKCS#12 file protected by `password`.
// kInvalidArgument for no key or another specification, kBadData when the key
// is not the certificate's, kAsn1Corrupt for a certificate that does not parse.
Status WritePkcs12(EVP_PKEY* key, uint32_t keySpec, std::span<const uint8_t> certificate,
                   const std::vector<Bytes>& others, std::string_view password, Bytes& file);

}  // namespace quorvel::platform
