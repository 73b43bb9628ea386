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

namespace quorvel::platform {

struct Pkcs12Contents {
  EvpPkeyPtr key;             // null when the file holds no key
  Bytes certificate;          // the certificate of `key` (or the first one without a key)
  std::vector<Bytes> others;  // every other certificate, in file order
};

// Reads a PKCS#12 file. Fails with kAsn1Corrupt when the bytes are not one,
// kInvalidPassword when the password does not open it, kBadData when it holds
// more than one private key, a key without its certificate, or no certificate.
uint32_t ReadPkcs12(std::span<const uint8_t> bytes, std::string_view password,
                    Pkcs12Contents& contents);

}  // namespace quorvel::platform
