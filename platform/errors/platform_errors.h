// The 32-bit error values that the platform's cryptography and store services
// report. Pages and servers compare these numbers, so they are the platform's own
// values, shown here as unsigned hexadecimal. Every platform function of this
// layer that can fail returns one of them, or kOk, as a Status.
#pragma once

#include <cstdint>

namespace quorvel::platform {

// Never dropped: a function that returns one reports its outcome by it.
enum class [[nodiscard]] Status : uint32_t{
    kOk = 0,

    kOutOfMemory = 0x8007000E,      // E_OUTOFMEMORY
    kInvalidArgument = 0x80070057,  // E_INVALIDARG
    kMoreData = 0x800700EA,         // ERROR_MORE_DATA: buffer too small
    kInvalidPassword = 0x80070056,  // ERROR_INVALID_PASSWORD
    kCancelled = 0x800704C7,        // ERROR_CANCELLED: the user said no
    kStorageFailure = 0x80090020,   // NTE_FAIL: the home database failed

    kBadData = 0x80090005,           // NTE_BAD_DATA
    kBadSignature = 0x80090006,      // NTE_BAD_SIGNATURE
    kBadAlgId = 0x80090008,          // NTE_BAD_ALGID
    kNoKey = 0x8009000D,             // NTE_NO_KEY
    kExists = 0x8009000F,            // NTE_EXISTS
    kBadKeyset = 0x80090016,         // NTE_BAD_KEYSET
    kKeysetNotDefined = 0x80090019,  // NTE_KEYSET_NOT_DEF
    kNotSupported = 0x80090029,      // NTE_NOT_SUPPORTED

    kInvalidMessageType = 0x80091004,     // CRYPT_E_INVALID_MSG_TYPE
    kHashValue = 0x80091007,              // CRYPT_E_HASH_VALUE
    kSignerNotFound = 0x8009100E,         // CRYPT_E_SIGNER_NOT_FOUND
    kUnexpectedMessageType = 0x8009200A,  // CRYPT_E_UNEXPECTED_MSG_TYPE
    kNoKeyProperty = 0x8009200B,          // CRYPT_E_NO_KEY_PROPERTY
    kNoDecryptCertificate = 0x8009200C,   // CRYPT_E_NO_DECRYPT_CERT
    kNotFound = 0x80092004,               // CRYPT_E_NOT_FOUND
    kObjectExists = 0x80092005,           // CRYPT_E_EXISTS
    kRevoked = 0x80092010,                // CRYPT_E_REVOKED
    kNoRevocationCheck = 0x80092012,      // CRYPT_E_NO_REVOCATION_CHECK
    kAsn1Error = 0x80093000,              // CRYPT_E_OSS_ERROR
    kAsn1Corrupt = 0x80093100,            // CRYPT_E_ASN1_CORRUPT

    kCertSignature = 0x80096004,          // TRUST_E_CERT_SIGNATURE
    kBasicConstraints = 0x80096019,       // TRUST_E_BASIC_CONSTRAINTS
    kCertExpired = 0x800B0101,            // CERT_E_EXPIRED
    kValidityPeriodNesting = 0x800B0102,  // CERT_E_VALIDITYPERIODNESTING
    kUntrustedRoot = 0x800B0109,          // CERT_E_UNTRUSTEDROOT
    kChaining = 0x800B010A,               // CERT_E_CHAINING
    kCritical = 0x800B0105,               // CERT_E_CRITICAL
    kWrongUsage = 0x800B0110,             // CERT_E_WRONG_USAGE
    kInvalidPolicy = 0x800B0113,          // CERT_E_INVALID_POLICY
    kInvalidName = 0x800B0114,            // CERT_E_INVALID_NAME

    kCardCancelled = 0x8010006E,     // SCARD_W_CANCELLED_BY_USER
    kCardInvalidValue = 0x80100007,  // invalid value reported by a card
    kCardFailure = 0x80100001,       // SCARD_F_INTERNAL_ERROR: module failed
    kNoCard = 0x8010000C,            // SCARD_E_NO_SMARTCARD: token absent
    kCardRemoved = 0x80100069,       // SCARD_W_REMOVED_CARD: gone mid-way
    kCardWrongPin = 0x8010006B,      // SCARD_W_WRONG_CHV
    kCardPinLocked = 0x8010006C,     // SCARD_W_CHV_BLOCKED
};

// The value as the platform reports it (`errorCode`, GetLastError).
constexpr uint32_t ToUint(Status status) {
  return static_cast<uint32_t>(status);
}

// A value the platform reported, as the status it stands for.
constexpr Status StatusOf(uint32_t value) {
  return static_cast<Status>(value);
}

// Written as the platform shows it, 0x and eight hexadecimal digits (in test
// failure messages, say).
template <typename Stream>
requires requires(Stream& stream, const char* text) {
  stream << text;
}
Stream& operator<<(Stream& stream, Status status) {
  char text[] = "0x00000000";
  for (int i = 0; i < 8; ++i) {
    text[2 + i] = "0123456789ABCDEF"[(ToUint(status) >> (28 - 4 * i)) & 0xF];
  }
  stream << text;
  return stream;
}

namespace error {
using enum Status;
}  // namespace error

}  // namespace quorvel::platform
