// Enveloped messages: PKCS#7 envelopedData for one recipient, and opening one
// with a key whose certificate is in a store.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

class CertStore;

// Encrypts `content` for `recipient` and writes the DER of an envelopedData
// to `envelope`: version 0, one RecipientInfo (version 0, issuer and serial
// number, rsaEncryption, the content-encryption key under PKCS#1 v1.5),
// content type data, the content encrypted with `cipherOid`. The key lengths
// are the ciphers' own; RC4 and RC2 use 128 bits.
//
// Fails with kBadAlgId for a cipher OID other than RC4, RC2-CBC, DES-CBC,
// 3DES-CBC, AES-128-CBC or AES-256-CBC, and for a recipient whose key is not
// RSA. `envelope` is empty after a failure.
Status EncryptMessage(const Certificate& recipient, std::string_view cipherOid,
                      std::span<const uint8_t> content, Bytes& envelope);

// Opens the DER envelopedData `envelope`: the first recipient for which
// `store` holds a matching certificate (by issuer and serial number or by
// subject key identifier) with a key-provider property naming a key that
// belongs to it decrypts the message. On success `content` receives the
// content and `decryptor` that certificate's context.
//
// Failures (the outputs are then empty):
//  - kAsn1Corrupt: the bytes are not one well-formed envelope;
//  - kUnexpectedMessageType: a message of another type (a signed one, say);
//  - kNoDecryptCertificate: no recipient has a certificate with a usable key;
//  - kBadAlgId: a content-encryption algorithm the library cannot provide;
//  - kBadData: the key or the content does not decrypt;
//  - the store's own error when it cannot be read.
Status DecryptMessage(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                      CertContextRef& decryptor);

}  // namespace quorvel::platform
