#include "engine/message_errors.h"

#include "engine/engine_errors.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {

namespace perr = platform::error;

ErrorNumber MapMessageError(platform::Status platformError, MessageOperation operation,
                            platform::Status& lastError) {
  // The user refused the key's use: as if no certificate had been chosen,
  // with no platform value to report.
  if (platformError == perr::kCancelled) return err::kNoCertificate;
  lastError = platformError;
  const platform::Status missingKey =
      operation == MessageOperation::kDecrypt ? perr::kNoDecryptCertificate : perr::kNoKeyProperty;
  if (platformError == missingKey) return err::kNoPrivateKey;
  switch (platformError) {
    case perr::kAsn1Error:
      return err::kUnknownPackage;
    case perr::kBadSignature:
      return err::kInvalidSignature;
    case perr::kBadAlgId:
      return err::kBadAlgorithm;
    // A hardware token's key: the PIN dialog cancelled, the token absent or
    // gone, its PIN locked. A wrong PIN fails the operation like any refusal.
    case perr::kCardCancelled:
      return err::kUserCancelled;
    case perr::kNoCard:
    case perr::kCardRemoved:
      return err::kAcquireProvider;
    case perr::kCardPinLocked:
      return err::kNoPrivateKey;
    default:
      break;
  }
  switch (operation) {
    case MessageOperation::kSign:
      return err::kSignFailed;
    case MessageOperation::kVerify:
      return err::kVerifyFailed;
    case MessageOperation::kEncrypt:
      return err::kEncryptFailed;
    case MessageOperation::kDecrypt:
      return err::kDigestOrDecryptFailed;
  }
  return err::kSignFailed;
}

}  // namespace quorvel::engine
