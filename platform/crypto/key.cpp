#include "platform/crypto/key.h"

#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

Key::Key() noexcept = default;
Key::Key(std::unique_ptr<Native> native) noexcept : native_(std::move(native)) {}
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;
Key::~Key() = default;

Key KeyFrom(EvpPkeyPtr key) {
  if (!key) return Key();
  return Key(std::make_unique<Key::Native>(Key::Native{std::move(key)}));
}

Key SharedKey(EVP_PKEY* key) {
  if (key == nullptr || EVP_PKEY_up_ref(key) != 1) return Key();
  return KeyFrom(EvpPkeyPtr(key));
}

Status EncodePrivateKey(EVP_PKEY* key, Bytes& pkcs8) {
  Pkcs8InfoPtr info(EVP_PKEY2PKCS8(key));
  if (!info) return error::kBadData;
  // Written straight into `pkcs8`: no copy of the key is left behind.
  return ToDer<i2d_PKCS8_PRIV_KEY_INFO>(info.get(), pkcs8) ? error::kOk : error::kBadData;
}

Status DecodePrivateKey(std::span<const uint8_t> pkcs8, EvpPkeyPtr& key) {
  if (pkcs8.empty() || pkcs8.size() > 0x7FFFFFFF) return error::kBadData;
  const unsigned char* cursor = pkcs8.data();
  Pkcs8InfoPtr info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(pkcs8.size())));
  if (!info || cursor != pkcs8.data() + pkcs8.size()) return error::kBadData;
  EvpPkeyPtr decoded(EVP_PKCS82PKEY_ex(info.get(), CryptoLibrary(), kCryptoProperties));
  if (!decoded || !EVP_PKEY_is_a(decoded.get(), "RSA")) return error::kBadData;
  key = std::move(decoded);
  return error::kOk;
}

}  // namespace quorvel::platform
