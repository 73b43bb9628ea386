// Envelopes whose content is enciphered by a block cipher, written and taken
// apart here and enciphered with the provider's key functions: Wine's message
// functions write such an envelope without its initialisation vector, open
// none that has one and know no AES. Known only to the platform's own sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/bytes.h"
#include "platform/crypto/der_reader.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// DES, triple DES, RC2 and AES: the content ciphers with an initialisation vector.
bool IsBlockCipher(uint32_t algId);

// An envelope for `recipient` of `content`, whose type is `innerType` (a
// dotted identifier), under a new key of block cipher `cipherOid`.
Status EnvelopeWithBlockCipher(PCCERT_CONTEXT recipient, std::string_view cipherOid,
                               std::span<const uint8_t> content, std::string_view innerType,
                               Bytes& envelope);

// The recipients and the encrypted content of a DER envelope; false when
// `envelope` is none.
bool ReadEnvelopeBody(std::span<const uint8_t> envelope, der::Reader& recipients,
                      der::Reader& encryptedContent);

// An envelope's parts, pointing into its bytes.
struct BlockEnvelope {
  struct Recipient {
    std::span<const uint8_t> issuer;     // the whole encoded name
    Bytes serialNumber;                  // least significant byte first, as the platform has it
    std::span<const uint8_t> sealedKey;  // as the recipient's key enciphered it
  };
  std::vector<Recipient> recipients;
  std::string innerType;
  uint32_t algId = 0;
  std::span<const uint8_t> iv;
  DWORD effectiveBits = 0;  // RC2's effective key length
  std::span<const uint8_t> enciphered;
};

// Takes `envelope` apart; false unless it is a DER envelope whose content a
// block cipher enciphered.
bool ReadBlockEnvelope(std::span<const uint8_t> envelope, BlockEnvelope& parts);

// The content of `parts`, its key unsealed by the key `keySpec` of
// `provider`, which belongs to recipient `index`.
Status OpenBlockEnvelope(HCRYPTPROV provider, DWORD keySpec, const BlockEnvelope& parts,
                         size_t index, Bytes& content);

}  // namespace quorvel::platform
