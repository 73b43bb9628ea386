// Digests and ciphers fetched from the platform's library context once per
// process and shared by every caller.
//
// A fetch looks the algorithm up in the providers by name and property query,
// which costs far more than the work done with it on short inputs; the objects
// fetched are immutable and may be used from any thread.
#pragma once

#include <string_view>

#include "platform/crypto/openssl.h"

namespace quorvel::platform {

// The digest or cipher the library calls `name`, fetched on first use; null
// when the library has none. The result stays valid for the life of the process.
const EVP_MD* FetchedDigest(std::string_view name);
const EVP_CIPHER* FetchedCipher(std::string_view name);

// The same as an owning reference, for callers that keep one.
EvpMdPtr SharedDigest(std::string_view name);
EvpCipherPtr SharedCipher(std::string_view name);

}  // namespace quorvel::platform
