#include "engine/message_errors.h"

#include <gtest/gtest.h>

#include "engine/engine_errors.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {
namespace {

namespace perr = platform::error;
using Op = MessageOperation;

TEST(MapMessageErrorTest, NumbersByValueAndOperation) {
  struct Case {
    platform::Status value;
    Op operation;
    ErrorNumber number;
  };
  const Case cases[] = {
      {perr::kNoKeyProperty, Op::kSign, err::kNoPrivateKey},
      {perr::kNoKeyProperty, Op::kVerify, err::kNoPrivateKey},
      {perr::kNoKeyProperty, Op::kEncrypt, err::kNoPrivateKey},
      // Opening an envelope misses a decryption certificate, not a key property.
      {perr::kNoKeyProperty, Op::kDecrypt, err::kDigestOrDecryptFailed},
      {perr::kNoDecryptCertificate, Op::kDecrypt, err::kNoPrivateKey},
      {perr::kNoDecryptCertificate, Op::kSign, err::kSignFailed},
      {perr::kAsn1Error, Op::kVerify, err::kUnknownPackage},
      {perr::kAsn1Error, Op::kDecrypt, err::kUnknownPackage},
      // Only the coder's base value is "unknown package"; a corrupt encoding is
      // the operation's own failure.
      {perr::kAsn1Corrupt, Op::kVerify, err::kVerifyFailed},
      {perr::kBadSignature, Op::kVerify, err::kInvalidSignature},
      {perr::kBadSignature, Op::kSign, err::kInvalidSignature},
      {perr::kBadAlgId, Op::kSign, err::kBadAlgorithm},
      {perr::kBadAlgId, Op::kEncrypt, err::kBadAlgorithm},
      {perr::kNotFound, Op::kSign, err::kSignFailed},
      {perr::kNotFound, Op::kVerify, err::kVerifyFailed},
      {perr::kNotFound, Op::kEncrypt, err::kEncryptFailed},
      {perr::kNotFound, Op::kDecrypt, err::kDigestOrDecryptFailed},
      // A hardware token's failures, whichever the operation.
      {perr::kCardCancelled, Op::kSign, err::kUserCancelled},
      {perr::kCardCancelled, Op::kDecrypt, err::kUserCancelled},
      {perr::kNoCard, Op::kSign, err::kAcquireProvider},
      {perr::kCardRemoved, Op::kDecrypt, err::kAcquireProvider},
      {perr::kCardPinLocked, Op::kSign, err::kNoPrivateKey},
      {perr::kCardWrongPin, Op::kSign, err::kSignFailed},
      {perr::kCardWrongPin, Op::kDecrypt, err::kDigestOrDecryptFailed},
  };
  for (const Case& c : cases) {
    platform::Status lastError = platform::error::kOk;
    EXPECT_EQ(MapMessageError(c.value, c.operation, lastError), c.number)
        << std::hex << c.value << " operation " << static_cast<int>(c.operation);
    EXPECT_EQ(lastError, c.value);
  }
}

}  // namespace
}  // namespace quorvel::engine
