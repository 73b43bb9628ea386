// A key that the platform's services hold for their caller: a public key
// imported from a certificate, or a private key taken from a key container.
// Moved, never copied; released with its owner.
#pragma once

#include <memory>

namespace quorvel::platform {

class Key {
 public:
  // The library's key, known only to the platform's own sources.
  struct Native;

  Key() noexcept;
  explicit Key(std::unique_ptr<Native> native) noexcept;
  Key(Key&&) noexcept;
  Key& operator=(Key&&) noexcept;
  ~Key();

  explicit operator bool() const { return native_ != nullptr; }
  Native* native() const { return native_.get(); }

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace quorvel::platform
