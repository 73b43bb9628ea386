#include "platform/stores/key_container.h"

#include <openssl/rsa.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/stores/container_keys.h"
#include "platform/stores/store_transactions.h"
#include "platform/text/code_page.h"
#include "platform/tokens/token_key.h"

namespace quorvel::platform {
namespace {

using stores::ReadPlatform;
using stores::StorageError;
using stores::TransactPlatform;

constexpr std::u16string_view kKnownProviders[] = {kMsBaseProvider, kMsEnhancedProvider,
                                                   kMsStrongProvider};

// Container names are compared without regard to case.
std::string FoldContainerName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return Utf16ToUtf8(folded);
}

// The container's id (0 when there is none) and the spelling it was created with.
Status FindContainer(Database& database, const std::string& folded, int64_t& id,
                     std::u16string& name) {
  id = 0;
  sqlite::Statement query;
  if (const auto ec = database.Prepare("SELECT id, name FROM key_container WHERE folded_name = ?1",
                                       query, folded)) {
    return StorageError(ec);
  }
  bool hasRow = false;
  if (const auto ec = query.Step(hasRow)) return StorageError(ec);
  if (hasRow) {
    id = query.ColumnInt64(0);
    name = Utf8ToUtf16(query.ColumnText(1));
  }
  return error::kOk;
}

bool ValidKeySpec(uint32_t keySpec) {
  return keySpec == kAtKeyExchange || keySpec == kAtSignature;
}

std::u16string LoginName(uid_t user) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && found->pw_name[0] != '\0') {
    return Utf8ToUtf16(found->pw_name);
  }
  return u"uid" + Utf8ToUtf16(std::to_string(user));
}

// The decoded private key of `keySpec` in the container `containerId`; kNoKey when it has none.
Status ReadStoredKey(Database& database, int64_t containerId, uint32_t keySpec, EvpPkeyPtr& key) {
  try {
    Bytes pkcs8;
    bool found = false;
    EvpPkeyPtr kept;
    ChangeStamp stamp;
    std::error_code ec = database.Read([&]() -> std::error_code {
      // The stamp and the key come from the same read transaction.
      if (auto failed = database.Stamp(stamp)) return failed;
      kept = FindContainerKey(stamp, containerId, keySpec);
      if (kept) return {};
      sqlite::Statement query;
      if (auto failed = database.Prepare(
              "SELECT pkcs8 FROM container_key WHERE container = ?1 AND key_spec = ?2", query,
              containerId, std::int64_t{keySpec})) {
        return failed;
      }
      if (auto failed = query.Step(found)) return failed;
      if (found) pkcs8 = query.ColumnBlob(0);
      return {};
    });
    if (ec) return StorageError(ec);
    if (kept) {
      key = std::move(kept);
      return error::kOk;
    }
    if (!found) return error::kNoKey;
    // The copy read from the database held key material.
    const Status decoded = DecodePrivateKey(pkcs8, key);
    OPENSSL_cleanse(pkcs8.data(), pkcs8.size());
    if (decoded == error::kOk) KeepContainerKey(stamp, containerId, keySpec, key.get());
    return decoded;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

}  // namespace

std::u16string DefaultContainerName() {
  // The user database is read once per effective user: it is a file read each
  // time, and every acquire without a container name asks for it.
  static std::mutex mutex;
  static uid_t knownUser = 0;
  static std::u16string knownName;
  const uid_t user = ::geteuid();
  std::lock_guard lock(mutex);
  if (knownName.empty() || knownUser != user) {
    knownName = LoginName(user);
    knownUser = user;
  }
  return knownName;
}

KeyContainer::KeyContainer(std::shared_ptr<Database> database, int64_t containerId,
                           std::u16string container, std::u16string provider)
    : database_(std::move(database)),
      containerId_(containerId),
      container_(std::move(container)),
      provider_(std::move(provider)) {}

KeyContainer::~KeyContainer() = default;

Status KeyContainer::AcquireToken(std::u16string_view container, uint32_t action,
                                  std::unique_ptr<KeyContainer>& handle) {
  if (action == kCryptVerifyContext) {
    handle.reset(new KeyContainer(nullptr, 0, u"", std::u16string(kTokenProvider)));
    return error::kOk;
  }
  if (action != 0) return error::kInvalidArgument;
  std::optional<TokenKeyLocation> location = ParseTokenUri(Utf16ToUtf8(container));
  if (!location) return error::kBadKeyset;
  if (const Status present = CheckTokenPresent(*location); present != error::kOk) return present;
  handle.reset(
      new KeyContainer(nullptr, -1, std::u16string(container), std::u16string(kTokenProvider)));
  handle->token_ = std::move(location);
  return error::kOk;
}

namespace {

// The action among the flags, or nothing when the flags hold anything else.
std::optional<uint32_t> AcquireAction(uint32_t flags) {
  const uint32_t action = flags & (kCryptVerifyContext | kCryptNewKeyset | kCryptDeleteKeyset);
  if ((flags & ~(action | kCryptSilent)) != 0) return std::nullopt;
  if (action != 0 && action != kCryptVerifyContext && action != kCryptNewKeyset &&
      action != kCryptDeleteKeyset) {
    return std::nullopt;
  }
  return action;
}

bool KnownProvider(std::u16string_view name) {
  if (name == kTokenProvider) return true;
  return std::find(std::begin(kKnownProviders), std::end(kKnownProviders), name) !=
         std::end(kKnownProviders);
}

// An existing container: found without a write lock.
Status OpenContainer(Database& database, const std::string& folded, int64_t& id,
                     std::u16string& name) {
  const Status status =
      ReadPlatform(database, [&] { return FindContainer(database, folded, id, name); });
  if (status != error::kOk) return status;
  return id == 0 ? error::kBadKeyset : error::kOk;
}

// A new container, refused where one of that name exists; looked for first
// without a write lock, then again under it.
Status CreateContainer(Database& database, const std::string& folded, int64_t& id,
                       std::u16string& name) {
  if (const Status status =
          ReadPlatform(database, [&] { return FindContainer(database, folded, id, name); });
      status != error::kOk) {
    return status;
  }
  if (id != 0) return error::kExists;
  return TransactPlatform(database, [&]() -> Status {
    if (const Status status = FindContainer(database, folded, id, name); status != error::kOk)
      return status;
    if (id != 0) return error::kExists;
    sqlite::Statement insert;
    if (auto failed =
            database.Prepare("INSERT INTO key_container (name, folded_name) VALUES (?1, ?2)",
                             insert, Utf16ToUtf8(name), folded)) {
      return StorageError(failed);
    }
    if (auto failed = insert.Run()) return StorageError(failed);
    return FindContainer(database, folded, id, name);
  });
}

Status DeleteContainer(Database& database, const std::string& folded, std::u16string& name) {
  return TransactPlatform(database, [&]() -> Status {
    int64_t id = 0;
    if (const Status status = FindContainer(database, folded, id, name); status != error::kOk)
      return status;
    if (id == 0) return error::kBadKeyset;
    sqlite::Statement erase;
    if (auto failed = database.Prepare("DELETE FROM key_container WHERE id = ?1", erase, id)) {
      return StorageError(failed);
    }
    return StorageError(erase.Run());
  });
}

}  // namespace

Status KeyContainer::Acquire(std::optional<std::u16string_view> container,
                             std::u16string_view provider, uint32_t providerType, uint32_t flags,
                             std::unique_ptr<KeyContainer>& handle) {
  if (providerType != kProvRsaFull) return error::kKeysetNotDefined;
  const std::u16string_view providerName = provider.empty() ? kMsStrongProvider : provider;
  if (!KnownProvider(providerName)) return error::kKeysetNotDefined;
  const std::optional<uint32_t> action = AcquireAction(flags);
  if (!action) return error::kInvalidArgument;
  try {
    if (providerName == kTokenProvider) {
      return AcquireToken(container.value_or(std::u16string_view()), *action, handle);
    }
    std::shared_ptr<Database> database;
    if (const auto ec = SharedDatabase(database)) return StorageError(ec);
    if (*action == kCryptVerifyContext) {
      handle.reset(new KeyContainer(std::move(database), 0, u"", std::u16string(providerName)));
      return error::kOk;
    }
    std::u16string name(container && !container->empty() ? *container : DefaultContainerName());
    const std::string folded = FoldContainerName(name);
    if (*action == kCryptDeleteKeyset) {
      const Status deleted = DeleteContainer(*database, folded, name);
      if (deleted == error::kOk) handle.reset();
      return deleted;
    }
    int64_t id = 0;
    const Status status = *action == kCryptNewKeyset ? CreateContainer(*database, folded, id, name)
                                                     : OpenContainer(*database, folded, id, name);
    if (status != error::kOk) return status;
    handle.reset(
        new KeyContainer(std::move(database), id, std::move(name), std::u16string(providerName)));
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status KeyContainer::GetUserKey(uint32_t keySpec, Key& key) const {
  if (!ValidKeySpec(keySpec)) return error::kInvalidArgument;
  if (containerId_ == 0) return error::kNoKey;
  EvpPkeyPtr pkey;
  const Status status = token_ ? AcquireTokenKey(*token_, pkey)
                               : ReadStoredKey(*database_, containerId_, keySpec, pkey);
  if (status == error::kOk) key = KeyFrom(std::move(pkey));
  return status;
}

Status KeyContainer::ImportKey(uint32_t keySpec, const Key& privateKey) {
  EVP_PKEY* key = PkeyOf(privateKey);
  if (!ValidKeySpec(keySpec) || key == nullptr) return error::kInvalidArgument;
  if (containerId_ == 0) return error::kBadKeyset;
  // Keys are put on a token with its own tools, never from here.
  if (token_) return error::kInvalidArgument;
  if (!EVP_PKEY_is_a(key, "RSA")) return error::kBadData;
  try {
    Bytes pkcs8;
    if (const Status status = EncodePrivateKey(key, pkcs8); status != error::kOk) return status;
    Status status = error::kOk;
    const std::error_code ec = database_->Transact([&]() -> std::error_code {
      sqlite::Statement exists;
      if (auto failed = database_->Prepare("SELECT 1 FROM key_container WHERE id = ?1", exists,
                                           containerId_)) {
        return failed;
      }
      bool hasRow = false;
      if (auto failed = exists.Step(hasRow)) return failed;
      if (!hasRow) {
        // Deleted by someone else since it was acquired.
        status = error::kBadKeyset;
        return std::make_error_code(std::errc::operation_canceled);
      }
      sqlite::Statement upsert;
      if (auto failed = database_->Prepare(
              "INSERT OR REPLACE INTO container_key (container, key_spec, pkcs8) "
              "VALUES (?1, ?2, ?3)",
              upsert, containerId_, std::int64_t{keySpec}, pkcs8)) {
        return failed;
      }
      return upsert.Run();
    });
    if (status != error::kOk) return status;
    return StorageError(ec);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status KeyContainer::GenerateKey(uint32_t keySpec, unsigned bits, Key* key) {
  if (!ValidKeySpec(keySpec) || bits < 512 || bits > 16384 || token_) {
    return error::kInvalidArgument;
  }
  EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(CryptoLibrary(), "RSA", kCryptoProperties));
  EVP_PKEY* generated = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
      EVP_PKEY_generate(context.get(), &generated) != 1) {
    return error::kBadAlgId;
  }
  Key owned = KeyFrom(EvpPkeyPtr(generated));
  if (const Status status = ImportKey(keySpec, owned); status != error::kOk) return status;
  if (key != nullptr) *key = std::move(owned);
  return error::kOk;
}

}  // namespace quorvel::platform
