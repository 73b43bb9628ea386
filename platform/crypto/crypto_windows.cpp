// Hashes and keys on Windows. Until this room rests on the platform's
// cryptographic providers, making a hash answers kNotSupported and no key
// exists.
#include "platform/crypto/hash.h"
#include "platform/crypto/key.h"

namespace quorvel::platform {

struct Hash::Native {};
struct Key::Native {};

Status Hash::Create(uint32_t, std::unique_ptr<Hash>& hash) {
  hash.reset();
  return error::kNotSupported;
}

Hash::Hash(uint32_t algId, std::unique_ptr<Native> native)
    : algId_(algId), native_(std::move(native)) {}
Hash::~Hash() = default;

std::size_t Hash::size() const {
  return 0;
}

Status Hash::HashData(std::span<const uint8_t>) {
  return error::kNotSupported;
}

Status Hash::GetValue(Bytes&) const {
  return error::kNotSupported;
}

Key::Key() noexcept = default;
Key::Key(std::unique_ptr<Native> native) noexcept : native_(std::move(native)) {}
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;
Key::~Key() = default;

}  // namespace quorvel::platform
