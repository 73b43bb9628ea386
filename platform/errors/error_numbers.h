// The error numbers that members report in `errorNum` and that every layer
// below them returns. They are part of the control's contract with pages and
// servers: they never change meaning.
#pragma once

#include <cstdint>

namespace quorvel::err {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMemory = -10000;
inline constexpr int32_t kEmptyInput = -10001;
inline constexpr int32_t kBase64Decode = -10002;
inline constexpr int32_t kBase64Encode = -10003;
inline constexpr int32_t kUserCancelled = -10004;
inline constexpr int32_t kNoCertificate = -10005;
inline constexpr int32_t kDetachedNeedsContent = -10006;
inline constexpr int32_t kUnknownPackage = -10007;
inline constexpr int32_t kBadInfoType = -10008;
inline constexpr int32_t kNoSignerCertificate = -10009;
inline constexpr int32_t kInvalidSignature = -10010;
inline constexpr int32_t kCertExpired = -10011;
inline constexpr int32_t kCertRevoked = -10012;
inline constexpr int32_t kChainInvalid = -10013;
inline constexpr int32_t kIssuerNotFound = -10014;
inline constexpr int32_t kNoPrivateKey = -10015;
inline constexpr int32_t kDecodeField = -10016;
inline constexpr int32_t kSystemError = kDecodeField;  // a chain check that failed otherwise
inline constexpr int32_t kCertSignatureFaulty = -10017;
inline constexpr int32_t kOpenStore = -10018;
inline constexpr int32_t kAcquireProvider = -10019;
inline constexpr int32_t kSignFailed = -10020;
inline constexpr int32_t kVerifyFailed = -10021;
inline constexpr int32_t kEncryptFailed = -10022;
inline constexpr int32_t kDigestOrDecryptFailed = -10023;
inline constexpr int32_t kNoSeparator = -10024;
inline constexpr int32_t kSeparatorLimit = -10025;
inline constexpr int32_t kNoExtension = -10026;
inline constexpr int32_t kCertProperty = -10027;
inline constexpr int32_t kPublicKey = -10028;
inline constexpr int32_t kCreateHash = -10029;
inline constexpr int32_t kHashData = -10030;
inline constexpr int32_t kSignHash = -10031;
inline constexpr int32_t kVerifyHash = -10032;
inline constexpr int32_t kBadAlgorithm = -10033;
inline constexpr int32_t kToCodePage = -10034;
inline constexpr int32_t kCertHandle = -10035;
inline constexpr int32_t kFromCodePage = -10036;
inline constexpr int32_t kBerDecode = -10037;
inline constexpr int32_t kNotSignedData = -10038;
inline constexpr int32_t kSignHashPlatformA = -10051;
inline constexpr int32_t kSignHashPlatformB = -10052;
inline constexpr int32_t kNoKeyProperty = -10053;
inline constexpr int32_t kDerEncode = -10054;
inline constexpr int32_t kCopyBuffer = -10055;
inline constexpr int32_t kTooLong = -10056;
inline constexpr int32_t kTooManyCommas = -10057;
}  // namespace quorvel::err
