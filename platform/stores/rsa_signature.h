// RSA signatures of hash values (PKCS#1 v1.5: the digest wrapped in a
// DigestInfo naming its algorithm) and public keys imported from certificates.
//
// Signatures are given and taken least significant byte first, the platform's
// order; the standard order is the reverse.
#pragma once

#include <cstdint>
#include <span>

#include "platform/certificates/certificate.h"
#include "platform/crypto/hash.h"
#include "platform/crypto/key.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/key_container.h"

namespace quorvel::platform {

// Signs the current value of `hash` with the container's private key of
// `keySpec`. `signature` receives exactly the key's modulus length in bytes,
// least significant first.
//  - kNoKey: the container holds no key of `keySpec` (or is a verify-only handle);
//  - kInvalidArgument: `keySpec` is neither exchange nor signature;
//  - kBadData: the stored key is unusable or too short for the DigestInfo.
Status SignHash(const Hash& hash, const KeyContainer& container, uint32_t keySpec,
                Bytes& signature);

// The same with a private key in hand.
Status SignHashWithKey(const Hash& hash, const Key& privateKey, Bytes& signature);

// Imports a DER SubjectPublicKeyInfo. kBadData when the bytes are not exactly
// one well-formed key, kBadAlgId when the key is not an RSA key.
Status ImportPublicKeyInfo(std::span<const uint8_t> subjectPublicKeyInfo, Key& key);

// Imports the subject public key of `certificate`.
Status ImportPublicKeyInfo(const Certificate& certificate, Key& key);

// Checks `signature` (least significant byte first) over the current value of
// `hash` with `publicKey`: kOk, or kBadSignature when it does not verify
// (wrong value, wrong length, or a DigestInfo of another algorithm); kBadData
// when `publicKey` is not an RSA key.
Status VerifySignature(const Hash& hash, std::span<const uint8_t> signature, const Key& publicKey);

}  // namespace quorvel::platform
