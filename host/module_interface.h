// One reference on an interface of the module's, let go on every path out.
#pragma once

#include <cstdint>
#include <utility>

#include "control/registration/com_abi.h"

namespace quorvel::host {

class ModuleInterface {
 public:
  ModuleInterface() = default;
  // Takes over a reference the caller holds (one a factory or QueryInterface
  // gave).
  explicit ModuleInterface(void* adopted) : interface_(adopted) {}
  ModuleInterface(ModuleInterface&& other) noexcept
      : interface_(std::exchange(other.interface_, nullptr)) {}
  ModuleInterface& operator=(ModuleInterface&& other) noexcept {
    if (this != &other) {
      Reset();
      interface_ = std::exchange(other.interface_, nullptr);
    }
    return *this;
  }
  ModuleInterface(const ModuleInterface&) = delete;
  ModuleInterface& operator=(const ModuleInterface&) = delete;
  ~ModuleInterface() { Reset(); }

  void* get() const { return interface_; }
  explicit operator bool() const { return interface_ != nullptr; }

  // The entry at `slot` of the interface's function table.
  template <typename Function>
  Function Slot(int slot) const {
    using Entry = void (*)();
    return reinterpret_cast<Function>((*static_cast<const Entry* const*>(interface_))[slot]);
  }

  // Another interface of the same object; empty when it has none, and then
  // `hr` (when given) says why.
  ModuleInterface Query(const registration::abi::Guid& iid, int32_t* hr = nullptr) const {
    using QueryEntry = int32_t (*)(void*, const registration::abi::Guid*, void**);
    void* other = nullptr;
    const int32_t found =
        interface_ == nullptr
            ? registration::abi::hr::kNoInterface
            : Slot<QueryEntry>(registration::abi::kSlotQueryInterface)(interface_, &iid, &other);
    if (hr != nullptr) *hr = found;
    if (found != registration::abi::hr::kOk) return ModuleInterface();
    return ModuleInterface(other);
  }

  // One more reference on the same interface.
  ModuleInterface Share() const {
    using AddRefEntry = uint32_t (*)(void*);
    if (interface_ != nullptr) Slot<AddRefEntry>(registration::abi::kSlotAddRef)(interface_);
    return ModuleInterface(interface_);
  }

  void Reset() {
    using ReleaseEntry = uint32_t (*)(void*);
    if (interface_ != nullptr) Slot<ReleaseEntry>(registration::abi::kSlotRelease)(interface_);
    interface_ = nullptr;
  }

 private:
  void* interface_ = nullptr;
};

}  // namespace quorvel::host
