// Cryptographic providers and their key containers.
//
// The providers known here are all of type PROV_RSA_FULL and share one set of key
// containers per user, kept in the home database. A container holds at most one
// RSA private key per key specification (exchange or signature), stored as
// PKCS#8 DER. Acquiring a provider gives a handle on one container (the user's
// default container when no name is given), or on none with kCryptVerifyContext.
//
// The provider kTokenProvider stands for the keys on hardware tokens: its
// container names are the PKCS#11 URIs of token_location.h, its containers
// exist while their token is present, and their keys are used on the token,
// never stored here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/crypto/key.h"
#include "platform/errors/platform_errors.h"
#include "platform/tokens/token_location.h"

namespace quorvel::platform {

class Database;

inline constexpr uint32_t kProvRsaFull = 1;

inline constexpr std::u16string_view kMsBaseProvider =
    u"Microsoft Base Cryptographic Provider v1.0";
inline constexpr std::u16string_view kMsEnhancedProvider =
    u"Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr std::u16string_view kMsStrongProvider = u"Microsoft Strong Cryptographic Provider";

// Acquire flags.
inline constexpr uint32_t kCryptVerifyContext = 0xF0000000;
inline constexpr uint32_t kCryptNewKeyset = 0x00000008;
inline constexpr uint32_t kCryptDeleteKeyset = 0x00000010;
inline constexpr uint32_t kCryptSilent = 0x00000040;

// The name of the current user's default container: the login name.
std::u16string DefaultContainerName();

class KeyContainer {
 public:
  // Acquires `provider` (empty: the default provider of the type) of type
  // `providerType` on `container` (none: the default container).
  //  - no flag: the container must exist (kBadKeyset otherwise);
  //  - kCryptNewKeyset: creates it (kExists when it is already there);
  //  - kCryptVerifyContext: no container, for public-key work only;
  //  - kCryptDeleteKeyset: deletes the container and its keys; `handle` stays empty.
  // Unknown provider names and types give kKeysetNotDefined. A token container
  // can only be opened: kBadKeyset for a name that is no token URI, kNoCard
  // when the token is absent, kInvalidArgument for creating or deleting one.
  static Status Acquire(std::optional<std::u16string_view> container, std::u16string_view provider,
                        uint32_t providerType, uint32_t flags,
                        std::unique_ptr<KeyContainer>& handle);

  KeyContainer(const KeyContainer&) = delete;
  KeyContainer& operator=(const KeyContainer&) = delete;
  ~KeyContainer();

  const std::u16string& container() const { return container_; }
  const std::u16string& provider() const { return provider_; }
  bool verifyContext() const { return containerId_ == 0; }

  // The platform's own provider handle, where the platform has providers
  // (null elsewhere), known only to the platform's own sources.
  struct Native;
  const Native* native() const { return native_.get(); }

  // The private key of `keySpec`; kNoKey when the container has none. For a
  // token container, the key on the token, after the user gave its PIN (see
  // AcquireTokenKey for the token's own failures).
  Status GetUserKey(uint32_t keySpec, Key& key) const;

  // Stores `key` (an RSA private key) as the key of `keySpec`, replacing any.
  Status ImportKey(uint32_t keySpec, const Key& key);

  // Generates an RSA key of `bits` for `keySpec` and stores it.
  Status GenerateKey(uint32_t keySpec, unsigned bits, Key* key);

  // The key-provider property that names this container's key of `keySpec`.
  KeyProvInfo ProvInfo(uint32_t keySpec) const {
    KeyProvInfo info;
    info.container = container_;
    info.provider = provider_;
    info.providerType = kProvRsaFull;
    info.keySpec = keySpec;
    return info;
  }

 private:
  KeyContainer(std::shared_ptr<Database> database, int64_t containerId, std::u16string container,
               std::u16string provider);
  static Status AcquireToken(std::u16string_view container, uint32_t action,
                             std::unique_ptr<KeyContainer>& handle);

  std::shared_ptr<Database> database_;
  int64_t containerId_ = 0;
  std::u16string container_;
  std::u16string provider_;
  std::optional<TokenKeyLocation> token_;
  std::shared_ptr<Native> native_;
};

}  // namespace quorvel::platform
