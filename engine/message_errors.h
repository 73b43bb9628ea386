
#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"
// The error numbers of failed platform message operations (signing, signature
// verification, encryption, decryption).
#pragma once

#include <cstdint>

namespace quorvel::engine {

enum class MessageOperation {
  kSign,     // signing a message
  kVerify,   // verifying a message's signature
  kEncrypt,  // making an envelope (signed or not)
  kDecrypt,  // opening an envelope (signed or not)
};

// Stores `platformError` in `lastError` and gives the error number for it:
//  - no key-provider property (sign, verify, encrypt) or no decryption
//    certificate (decrypt): -10015;
//  - the platform's ASN.1 coder error: -10007;
//  - a signature that does not verify: -10010;
//  - an algorithm the platform does not know: -10033;
//  - a hardware token's PIN dialog cancelled: -10004; the token absent or
//    removed: -10019; its PIN locked: -10015;
//  - anything else: -10020 (sign), -10021 (verify), -10022 (encrypt) or -10023
//    (decrypt).
ErrorNumber MapMessageError(platform::Status platformError, MessageOperation operation,
                            platform::Status& lastError);

}  // namespace quorvel::engine
