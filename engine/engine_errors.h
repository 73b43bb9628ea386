// The error numbers the engines return. They are the numbers the control
// reports in `errorNum`, so their values never change.
#pragma once

#include <cstdint>

namespace quorvel::engine::err {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMemory = -10000;
inline constexpr int32_t kEmptyInput = -10001;
inline constexpr int32_t kBase64Decode = -10002;
inline constexpr int32_t kBase64Encode = -10003;
inline constexpr int32_t kNoCertificate = -10005;
inline constexpr int32_t kDetachedNeedsContent = -10006;
inline constexpr int32_t kUnknownPackage = -10007;
inline constexpr int32_t kNoSignerCertificate = -10009;
inline constexpr int32_t kInvalidSignature = -10010;
inline constexpr int32_t kCertExpired = -10011;
inline constexpr int32_t kCertRevoked = -10012;
inline constexpr int32_t kChainInvalid = -10013;
inline constexpr int32_t kIssuerNotFound = -10014;
inline constexpr int32_t kNoPrivateKey = -10015;
inline constexpr int32_t kSystemError = -10016;
inline constexpr int32_t kCertSignatureFaulty = -10017;
inline constexpr int32_t kOpenStore = -10018;
inline constexpr int32_t kAcquireProvider = -10019;
inline constexpr int32_t kSignFailed = -10020;
inline constexpr int32_t kVerifyFailed = -10021;
inline constexpr int32_t kEncryptFailed = -10022;
inline constexpr int32_t kDigestOrDecryptFailed = -10023;
inline constexpr int32_t kCertProperty = -10027;
inline constexpr int32_t kPublicKey = -10028;
inline constexpr int32_t kCreateHash = -10029;
inline constexpr int32_t kHashData = -10030;
inline constexpr int32_t kSignHash = -10031;
inline constexpr int32_t kVerifyHash = -10032;
inline constexpr int32_t kBadAlgorithm = -10033;

}  // namespace quorvel::engine::err
