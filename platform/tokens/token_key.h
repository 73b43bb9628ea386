// Private keys that stay on a hardware token.
//
// AcquireTokenKey finds the token a location names, asks the user for its PIN
// through the UI services, logs in and gives an RSA key whose private
// operations (PKCS#1 v1.5 signing of a DigestInfo, PKCS#1 v1.5 decryption)
// run on the token through CKM_RSA_PKCS. The login lasts while the key is
// held: freeing the key closes the session, which logs the token out. The PIN
// itself is wiped as soon as the token has taken it.
#pragma once

#include <cstdint>

#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/tokens/token_location.h"

namespace quorvel::platform {

// kOk when the token is present; kNoCard when it is not (or its module
// cannot be loaded).
Status CheckTokenPresent(const TokenKeyLocation& location);

// The key, or:
//  - kNoCard: the token is not present;
//  - kCardCancelled: the PIN dialog was cancelled or could not be shown;
//  - kCardWrongPin: the token refused the PIN;
//  - kCardPinLocked: the token's PIN is locked (or expired);
//  - kNoKey: the token holds no RSA private key of the location's id;
//  - kCardRemoved, kCardFailure: the token went away or the module failed.
Status AcquireTokenKey(const TokenKeyLocation& location, EvpPkeyPtr& key);

}  // namespace quorvel::platform
