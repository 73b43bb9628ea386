// The control's object-safety options: it may be declared safe for an
// untrusted caller (scripting by a page) and for untrusted data
// (initialisation from a page), and nothing else.
#pragma once

#include <cstdint>

namespace quorvel::registration {

struct ObjectSafety {
  static constexpr uint32_t kUntrustedCaller = 1;
  static constexpr uint32_t kUntrustedData = 2;
  static constexpr uint32_t kSupported = kUntrustedCaller | kUntrustedData;

  uint32_t enabled = 0;

  // Sets the options of `mask` to those of `value`. False, changing nothing,
  // when `mask` names an option the control does not support.
  bool Set(uint32_t mask, uint32_t value) {
    if ((mask & ~kSupported) != 0) return false;
    enabled = (enabled & ~mask) | (value & mask);
    return true;
  }
};

}  // namespace quorvel::registration
