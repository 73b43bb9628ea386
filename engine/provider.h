// The provider and store steps every entry point begins with.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "certs/candidate_list.h"
#include "platform/errors/error_numbers.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"

namespace quorvel::engine {

// Acquires `providerName` (type PROV_RSA_FULL) on the user's default key
// container, creating the container when it does not exist yet. When it exists
// already, a handle on it is acquired instead; failing that gives -10019. Any
// other failure of the first request is not an error: the entry point goes on
// with `provider` empty and the platform's defaults take its place. Returns 0
// or -10019.
ErrorNumber AcquireProvider(std::u16string_view providerName,
                            std::unique_ptr<platform::KeyContainer>& provider);

// The stores of one entry point, opened in order and closed together.
class EngineStores {
 public:
  // The open stores, in the order they were named: the search order handed to
  // certificate selection.
  certs::StoreSet set() const { return pointers_; }

 private:
  friend ErrorNumber OpenEngineStores(const platform::KeyContainer* provider,
                                      std::initializer_list<std::string_view> names,
                                      EngineStores& stores);
  std::vector<std::unique_ptr<platform::CertStore>> owned_;
  std::vector<platform::CertStore*> pointers_;
};

// Opens the current user's system stores `names` in order. The stores of this
// platform keep no provider of their own, so `provider` only documents the
// handle the entry point holds. The first store that cannot be opened closes
// the ones already open and gives -10018. Returns 0 or -10018.
ErrorNumber OpenEngineStores(const platform::KeyContainer* provider,
                             std::initializer_list<std::string_view> names, EngineStores& stores);

// What an entry point that works on stores holds while it runs.
struct EngineSetup {
  std::unique_ptr<platform::KeyContainer> provider;
  EngineStores stores;
};

// The first step of every entry point that works on stores: acquires the
// named provider, then opens `names` with it. Returns 0, -10019 or -10018.
ErrorNumber AcquireProviderAndStores(std::u16string_view providerName,
                                     std::initializer_list<std::string_view> names,
                                     EngineSetup& setup);

}  // namespace quorvel::engine
