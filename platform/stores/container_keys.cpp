#include "platform/stores/container_keys.h"

#include <map>
#include <mutex>
#include <new>
#include <utility>

namespace quorvel::platform {
namespace {

EvpPkeyPtr Share(EVP_PKEY* key) {
  if (key == nullptr || EVP_PKEY_up_ref(key) != 1) return nullptr;
  return EvpPkeyPtr(key);
}

class KeySet {
 public:
  EvpPkeyPtr Find(const ChangeStamp& stamp, int64_t container, uint32_t keySpec) {
    std::lock_guard lock(mutex_);
    if (stamp != stamp_) return nullptr;
    const auto found = keys_.find({container, keySpec});
    return found == keys_.end() ? nullptr : Share(found->second.get());
  }

  void Keep(const ChangeStamp& stamp, int64_t container, uint32_t keySpec, EVP_PKEY* key) {
    std::lock_guard lock(mutex_);
    if (stamp != stamp_) {
      keys_.clear();
      stamp_ = stamp;
    }
    if (keys_.size() >= kMaxKeptContainerKeys) return;
    EvpPkeyPtr shared = Share(key);
    if (!shared) return;
    try {
      keys_.emplace(std::make_pair(container, keySpec), std::move(shared));
    } catch (const std::bad_alloc&) {
      // Not keeping a key costs a later decode, nothing else.
    }
  }

 private:
  std::mutex mutex_;
  ChangeStamp stamp_;
  std::map<std::pair<int64_t, uint32_t>, EvpPkeyPtr> keys_;
};

KeySet& Keys() {
  static KeySet keys;
  return keys;
}

}  // namespace

EvpPkeyPtr FindContainerKey(const ChangeStamp& stamp, int64_t container, uint32_t keySpec) {
  return Keys().Find(stamp, container, keySpec);
}

void KeepContainerKey(const ChangeStamp& stamp, int64_t container, uint32_t keySpec,
                      EVP_PKEY* key) {
  Keys().Keep(stamp, container, keySpec, key);
}

}  // namespace quorvel::platform
