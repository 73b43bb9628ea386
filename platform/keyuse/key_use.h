// Private keys used on behalf of a caller. The program hosting the control
// installs a guard for each call it makes; every place where a private key is
// about to sign or decrypt asks that guard first, with what the key will do.
// Without a guard (a program using the control directly) every use goes ahead.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

enum class KeyAction { kSign, kRawSign, kDecrypt };

struct KeyUse {
  KeyAction action = KeyAction::kSign;
  const Certificate* certificate = nullptr;
  // The bytes the key signs; for raw signatures and decryption, the input.
  std::span<const uint8_t> content;
};

class KeyUseGuard {
 public:
  virtual ~KeyUseGuard() = default;
  // True when the key may be used for `use`.
  virtual bool Approve(const KeyUse& use) = 0;
  // The web origin the call is made for; empty for a local caller.
  virtual std::u16string_view origin() const = 0;
};

// Makes `guard` the guard of the calls on this thread while it lives; the
// guard before it comes back afterwards.
class KeyUseScope {
 public:
  explicit KeyUseScope(KeyUseGuard* guard);
  ~KeyUseScope();
  KeyUseScope(const KeyUseScope&) = delete;
  KeyUseScope& operator=(const KeyUseScope&) = delete;

 private:
  KeyUseGuard* previous_;
};

// kOk, or kCancelled when this thread's guard refuses the use.
Status ApproveKeyUse(KeyAction action, const Certificate& certificate,
                     std::span<const uint8_t> content);
// The web origin of the call on this thread, empty for a local caller or none.
std::u16string_view CurrentCallerOrigin();

inline Status ApproveKeyUse(KeyAction action, const Certificate& certificate,
                            std::string_view content) {
  return ApproveKeyUse(action, certificate,
                       {reinterpret_cast<const uint8_t*>(content.data()), content.size()});
}

}  // namespace quorvel::platform
