// The error numbers that members report in `errorNum` and that every layer
// below them returns. They are part of the control's contract with pages and
// servers: they never change meaning.
#pragma once

#include <cstdint>

namespace quorvel {

// Never dropped: a function that returns one reports its outcome by it.
enum class [[nodiscard]] ErrorNumber : int32_t{
    kOk = 0,
    kNoMemory = -10000,
    kEmptyInput = -10001,
    kBase64Decode = -10002,
    kBase64Encode = -10003,
    kUserCancelled = -10004,
    kNoCertificate = -10005,
    kDetachedNeedsContent = -10006,
    kUnknownPackage = -10007,
    kBadInfoType = -10008,
    kNoSignerCertificate = -10009,
    kInvalidSignature = -10010,
    kCertExpired = -10011,
    kCertRevoked = -10012,
    kChainInvalid = -10013,
    kIssuerNotFound = -10014,
    kNoPrivateKey = -10015,
    kDecodeField = -10016,
    kSystemError = -10016,  // a chain check that failed otherwise
    kCertSignatureFaulty = -10017,
    kOpenStore = -10018,
    kAcquireProvider = -10019,
    kSignFailed = -10020,
    kVerifyFailed = -10021,
    kEncryptFailed = -10022,
    kDigestOrDecryptFailed = -10023,
    kNoSeparator = -10024,
    kSeparatorLimit = -10025,
    kNoExtension = -10026,
    kCertProperty = -10027,
    kPublicKey = -10028,
    kCreateHash = -10029,
    kHashData = -10030,
    kSignHash = -10031,
    kVerifyHash = -10032,
    kBadAlgorithm = -10033,
    kToCodePage = -10034,
    kCertHandle = -10035,
    kFromCodePage = -10036,
    kBerDecode = -10037,
    kNotSignedData = -10038,
    kSignHashPlatformA = -10051,
    kSignHashPlatformB = -10052,
    kNoKeyProperty = -10053,
    kDerEncode = -10054,
    kCopyBuffer = -10055,
    kTooLong = -10056,
    kTooManyCommas = -10057,
};

// The number as members report it in `errorNum`.
constexpr int32_t ToInt(ErrorNumber number) {
  return static_cast<int32_t>(number);
}

// Written as its number (in test failure messages, say).
template <typename Stream>
requires requires(Stream& stream, int32_t value) {
  stream << value;
}
Stream& operator<<(Stream& stream, ErrorNumber number) {
  stream << ToInt(number);
  return stream;
}

namespace err {
using enum ErrorNumber;
}  // namespace err

}  // namespace quorvel
