// The private keys of key containers as last decoded from the home database,
// kept while the database stays unchanged.
//
// Decoding a PKCS#8 key costs more than signing with it. A key is kept with the
// stamp of the database it was read at; asked for at any other stamp it is
// gone, and everything kept is forgotten the first time a key of a newer stamp
// is kept. At most kMaxKeptContainerKeys keys are held; the set may be used
// from any thread, and the keys it hands out are only ever read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto/openssl.h"
#include "platform/storage/database.h"

namespace quorvel::platform {

inline constexpr std::size_t kMaxKeptContainerKeys = 32;

// The key of `keySpec` in container `container` read at `stamp`; null when
// none is kept.
EvpPkeyPtr FindContainerKey(const ChangeStamp& stamp, int64_t container, uint32_t keySpec);

// Keeps a reference to `key`, read at `stamp`, unless the set is full.
void KeepContainerKey(const ChangeStamp& stamp, int64_t container, uint32_t keySpec, EVP_PKEY* key);

}  // namespace quorvel::platform
