#include "engine/provider.h"

#include <optional>

#include "engine/engine_errors.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {

namespace perr = platform::error;

ErrorNumber AcquireProvider(std::u16string_view providerName,
                            std::unique_ptr<platform::KeyContainer>& provider) {
  provider.reset();
  // The container exists on every call but the first: opening it is one read,
  // where asking to create it first would be two.
  if (platform::KeyContainer::Acquire(std::nullopt, providerName, platform::kProvRsaFull, 0,
                                      provider) == perr::kOk) {
    return err::kOk;
  }
  provider.reset();
  const platform::Status created = platform::KeyContainer::Acquire(
      std::nullopt, providerName, platform::kProvRsaFull, platform::kCryptNewKeyset, provider);
  if (created == perr::kOk) return err::kOk;
  provider.reset();
  if (created != perr::kExists) {
    // Not fatal: stores and key work fall back to the platform's defaults.
    return err::kOk;
  }
  const platform::Status existing = platform::KeyContainer::Acquire(
      std::nullopt, providerName, platform::kProvRsaFull, 0, provider);
  if (existing != perr::kOk) {
    provider.reset();
    return err::kAcquireProvider;
  }
  return err::kOk;
}

ErrorNumber OpenEngineStores(const platform::KeyContainer* /*provider*/,
                             std::initializer_list<std::string_view> names, EngineStores& stores) {
  EngineStores opened;
  for (const std::string_view name : names) {
    std::unique_ptr<platform::CertStore> store;
    if (platform::CertStore::OpenSystemStore(name, store) != perr::kOk || !store) {
      return err::kOpenStore;  // `opened` closes the stores already open
    }
    opened.pointers_.push_back(store.get());
    opened.owned_.push_back(std::move(store));
  }
  stores = std::move(opened);
  return err::kOk;
}

ErrorNumber AcquireProviderAndStores(std::u16string_view providerName,
                                     std::initializer_list<std::string_view> names,
                                     EngineSetup& setup) {
  if (const ErrorNumber acquired = AcquireProvider(providerName, setup.provider);
      acquired != err::kOk) {
    return acquired;
  }
  return OpenEngineStores(setup.provider.get(), names, setup.stores);
}

}  // namespace quorvel::engine
