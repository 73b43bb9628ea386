#include "platform/keyuse/key_use.h"

#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

thread_local KeyUseGuard* currentGuard = nullptr;

}  // namespace

KeyUseScope::KeyUseScope(KeyUseGuard* guard) : previous_(currentGuard) {
  currentGuard = guard;
}

KeyUseScope::~KeyUseScope() {
  currentGuard = previous_;
}

std::u16string_view CurrentCallerOrigin() {
  return currentGuard == nullptr ? std::u16string_view() : currentGuard->origin();
}

Status ApproveKeyUse(KeyAction action, const Certificate& certificate,
                     std::span<const uint8_t> content) {
  if (currentGuard == nullptr) return error::kOk;
  return currentGuard->Approve({action, &certificate, content}) ? error::kOk : error::kCancelled;
}

}  // namespace quorvel::platform
