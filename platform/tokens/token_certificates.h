// The X.509 certificates on the tokens of the registered modules. Reading them
// needs no PIN: certificates are public objects of a token.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/crypto/openssl.h"
#include "platform/tokens/token_location.h"
#include "platform/tokens/token_registry.h"

namespace quorvel::platform {

inline constexpr std::size_t kMaxTokenCertificates = 256;  // per token
inline constexpr std::size_t kMaxTokenCertificateBytes = 64 * 1024;
inline constexpr std::size_t kMaxTokenLabelBytes = 256;

struct TokenCertificate {
  TokenKeyLocation location;
  std::string moduleLabel;
  std::string objectLabel;
  Bytes der;
};

// Module by module, token by token, in the order the token lists them. Each
// module is first initialised again (when none of its sessions is open), so
// the list is of the tokens present now. A module that cannot be loaded, a
// token that cannot be read and a certificate without an id (which names no
// key) add nothing.
void ReadTokenCertificates(const std::vector<TokenModuleEntry>& modules,
                           std::vector<TokenCertificate>& found);

}  // namespace quorvel::platform
