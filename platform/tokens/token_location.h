// Where a key on a hardware token lives, as a certificate's key-provider
// property names it: the container name is a PKCS#11 URI (RFC 7512) naming
// the token by serial number and label and the key by its object id, with the
// module's path as the query attribute "module-path", for example
//   pkcs11:token=Bank%20Token;serial=5e68be6312401b0a;id=%01;type=private?module-path=/usr/lib/softhsm/libsofthsm2.so
// and the provider is kTokenProvider.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/bytes.h"

namespace quorvel::platform {

inline constexpr std::u16string_view kTokenProvider = u"Quorvel PKCS#11 Token Provider";

// Bounds on what a token or a property may hand us.
inline constexpr std::size_t kMaxTokenObjectId = 256;
inline constexpr std::size_t kMaxTokenUri = 4096;

struct TokenKeyLocation {
  std::string modulePath;
  std::string serial;  // the token's serial number, trailing blanks removed
  std::string tokenLabel;
  Bytes id;  // CKA_ID of the certificate and of its private key

  bool operator==(const TokenKeyLocation&) const = default;
};

std::string FormatTokenUri(const TokenKeyLocation& location);

// Nullopt for anything that is not a URI FormatTokenUri could have written:
// another scheme, an attribute twice, a bad escape, no serial or no absolute
// module path, an id or a URI longer than the bounds.
std::optional<TokenKeyLocation> ParseTokenUri(std::string_view uri);

}  // namespace quorvel::platform
