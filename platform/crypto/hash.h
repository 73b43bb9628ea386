// Hash objects: a digest computed over data given in pieces, created from the
// platform's algorithm identifier (ALG_ID).
//
// Reading the value does not end the hash: more data may follow, and the value
// is always the digest of everything hashed so far. A hash can therefore be
// signed more than once (a size query followed by the real signature).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/crypto/bytes.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

class Hash {
 public:
  // A new, empty hash of `algId` (MD5, SHA-1, SHA-256, SHA-384 or SHA-512).
  // kBadAlgId for 0, for a non-hash identifier, or for a hash the services lack.
  static Status Create(uint32_t algId, std::unique_ptr<Hash>& hash);

  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  ~Hash();

  uint32_t algId() const { return algId_; }
  // The size of the digest in bytes.
  std::size_t size() const;
  // The library's digest and its running context, known only to the platform's own sources.
  struct Native;
  const Native& native() const { return *native_; }

  // Adds `data` to the hash.
  Status HashData(std::span<const uint8_t> data);

  // The digest of everything hashed so far.
  Status GetValue(Bytes& value) const;

 private:
  Hash(uint32_t algId, std::unique_ptr<Native> native);

  uint32_t algId_ = 0;
  std::unique_ptr<Native> native_;
};

}  // namespace quorvel::platform
