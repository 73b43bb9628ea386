// The 32-bit error values that the platform's cryptography and store services
// report. Pages and servers compare these numbers, so they are the platform's own
// values, shown here as unsigned hexadecimal. Every platform function of this
// layer that can fail returns one of them, or kOk.
#pragma once

#include <cstdint>

namespace quorvel::platform::error {

inline constexpr uint32_t kOk = 0;

inline constexpr uint32_t kOutOfMemory = 0x8007000E;      // E_OUTOFMEMORY
inline constexpr uint32_t kInvalidArgument = 0x80070057;  // E_INVALIDARG
inline constexpr uint32_t kMoreData = 0x800700EA;         // ERROR_MORE_DATA: buffer too small
inline constexpr uint32_t kInvalidPassword = 0x80070056;  // ERROR_INVALID_PASSWORD
inline constexpr uint32_t kCancelled = 0x800704C7;        // ERROR_CANCELLED: the user said no
inline constexpr uint32_t kStorageFailure = 0x80090020;   // NTE_FAIL: the home database failed

inline constexpr uint32_t kBadData = 0x80090005;           // NTE_BAD_DATA
inline constexpr uint32_t kBadSignature = 0x80090006;      // NTE_BAD_SIGNATURE
inline constexpr uint32_t kBadAlgId = 0x80090008;          // NTE_BAD_ALGID
inline constexpr uint32_t kNoKey = 0x8009000D;             // NTE_NO_KEY
inline constexpr uint32_t kExists = 0x8009000F;            // NTE_EXISTS
inline constexpr uint32_t kBadKeyset = 0x80090016;         // NTE_BAD_KEYSET
inline constexpr uint32_t kKeysetNotDefined = 0x80090019;  // NTE_KEYSET_NOT_DEF

inline constexpr uint32_t kInvalidMessageType = 0x80091004;     // CRYPT_E_INVALID_MSG_TYPE
inline constexpr uint32_t kHashValue = 0x80091007;              // CRYPT_E_HASH_VALUE
inline constexpr uint32_t kSignerNotFound = 0x8009100E;         // CRYPT_E_SIGNER_NOT_FOUND
inline constexpr uint32_t kUnexpectedMessageType = 0x8009200A;  // CRYPT_E_UNEXPECTED_MSG_TYPE
inline constexpr uint32_t kNoKeyProperty = 0x8009200B;          // CRYPT_E_NO_KEY_PROPERTY
inline constexpr uint32_t kNoDecryptCertificate = 0x8009200C;   // CRYPT_E_NO_DECRYPT_CERT
inline constexpr uint32_t kNotFound = 0x80092004;               // CRYPT_E_NOT_FOUND
inline constexpr uint32_t kObjectExists = 0x80092005;           // CRYPT_E_EXISTS
inline constexpr uint32_t kRevoked = 0x80092010;                // CRYPT_E_REVOKED
inline constexpr uint32_t kNoRevocationCheck = 0x80092012;      // CRYPT_E_NO_REVOCATION_CHECK
inline constexpr uint32_t kAsn1Error = 0x80093000;              // CRYPT_E_OSS_ERROR
inline constexpr uint32_t kAsn1Corrupt = 0x80093100;            // CRYPT_E_ASN1_CORRUPT

inline constexpr uint32_t kCertSignature = 0x80096004;          // TRUST_E_CERT_SIGNATURE
inline constexpr uint32_t kBasicConstraints = 0x80096019;       // TRUST_E_BASIC_CONSTRAINTS
inline constexpr uint32_t kCertExpired = 0x800B0101;            // CERT_E_EXPIRED
inline constexpr uint32_t kValidityPeriodNesting = 0x800B0102;  // CERT_E_VALIDITYPERIODNESTING
inline constexpr uint32_t kUntrustedRoot = 0x800B0109;          // CERT_E_UNTRUSTEDROOT
inline constexpr uint32_t kChaining = 0x800B010A;               // CERT_E_CHAINING
inline constexpr uint32_t kCritical = 0x800B0105;               // CERT_E_CRITICAL
inline constexpr uint32_t kWrongUsage = 0x800B0110;             // CERT_E_WRONG_USAGE
inline constexpr uint32_t kInvalidPolicy = 0x800B0113;          // CERT_E_INVALID_POLICY
inline constexpr uint32_t kInvalidName = 0x800B0114;            // CERT_E_INVALID_NAME

inline constexpr uint32_t kCardCancelled = 0x8010006E;     // SCARD_W_CANCELLED_BY_USER
inline constexpr uint32_t kCardInvalidValue = 0x80100007;  // invalid value reported by a card
inline constexpr uint32_t kCardFailure = 0x80100001;       // SCARD_F_INTERNAL_ERROR: module failed
inline constexpr uint32_t kNoCard = 0x8010000C;            // SCARD_E_NO_SMARTCARD: token absent
inline constexpr uint32_t kCardRemoved = 0x80100069;       // SCARD_W_REMOVED_CARD: gone mid-way
inline constexpr uint32_t kCardWrongPin = 0x8010006B;      // SCARD_W_WRONG_CHV
inline constexpr uint32_t kCardPinLocked = 0x8010006C;     // SCARD_W_CHV_BLOCKED

}  // namespace quorvel::platform::error
