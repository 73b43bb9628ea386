#include "platform/stores/cert_store.h"

#include <openssl/x509v3.h>

#include <algorithm>
#include <map>
#include <new>

#include "platform/certificates/certificate_openssl.h"
#include "platform/certificates/name_string.h"
#include "platform/crypto/fetched_algorithms.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/storage/registry.h"
#include "platform/stores/crl_openssl.h"
#include "platform/stores/key_container.h"
#include "platform/stores/store_snapshots.h"
#include "platform/stores/store_transactions.h"
#include "platform/text/code_page.h"
#include "platform/tokens/token_certificates.h"
#include "platform/tokens/token_registry.h"

namespace quorvel::platform {
namespace {

using stores::ReadPlatform;
using stores::StorageError;
using stores::TransactPlatform;

std::string FoldStoreName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

// kOk while the store `store` holds the entry `entry`, else kNotFound; inside
// the caller's transaction, so that the change that follows finds it there.
Status CheckHeld(Database& database, int64_t entry, int64_t store) {
  sqlite::Statement exists;
  if (const auto ec = database.Prepare(
          "SELECT 1 FROM store_certificate WHERE id = ?1 AND store = ?2", exists, entry, store)) {
    return StorageError(ec);
  }
  bool hasRow = false;
  if (const auto ec = exists.Step(hasRow)) return StorageError(ec);
  return hasRow ? error::kOk : error::kNotFound;
}

// Certificates of hardware tokens follow the home's own in "MY". Their entries
// are numbered from kFirstTokenEntry, after every entry the home can hand out,
// so that finds continue over them in order; no row of the home has them.
constexpr int64_t kFirstTokenEntry = int64_t{1} << 62;

void AppendTokenCertificates(const std::vector<TokenModuleEntry>& modules,
                             std::vector<CertContextRef>& contexts) {
  if (modules.empty()) return;
  std::vector<TokenCertificate> found;
  ReadTokenCertificates(modules, found);
  int64_t entry = kFirstTokenEntry;
  for (TokenCertificate& onToken : found) {
    std::shared_ptr<const Certificate> certificate;
    if (Certificate::FromDer(onToken.der, certificate) != error::kOk) continue;
    KeyProvInfo info;
    info.container = Utf8ToUtf16(FormatTokenUri(onToken.location));
    info.provider = std::u16string(kTokenProvider);
    info.providerType = kProvRsaFull;
    // A token's key serves signing and decryption alike; it is filed as a
    // signature key, which the signing members ask for, unless the
    // certificate allows only key transport.
    const uint32_t usage = X509_get_key_usage(X509Of(*certificate));
    info.keySpec =
        (usage & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0 ? kAtSignature : kAtKeyExchange;
    CertContext::Properties properties{{kKeyProvInfoPropId, info.Encode()}};
    contexts.push_back(std::make_shared<const CertContext>(std::move(certificate),
                                                           std::move(properties), entry++));
  }
}

Status ReadProperties(Database& database, int64_t entry, CertContext::Properties& properties) {
  sqlite::Statement query;
  if (const auto ec = database.Prepare(
          "SELECT property, value FROM certificate_property WHERE certificate = ?1", query,
          entry)) {
    return StorageError(ec);
  }
  return StorageError(query.ForEachRow(
      [&] { properties[static_cast<uint32_t>(query.ColumnInt64(0))] = query.ColumnBlob(1); }));
}

// The properties of every certificate of store `store`, by entry.
Status ReadStoreProperties(Database& database, int64_t store,
                           std::map<int64_t, CertContext::Properties>& properties) {
  sqlite::Statement query;
  if (const auto ec = database.Prepare(
          "SELECT p.certificate, p.property, p.value FROM certificate_property AS p "
          "JOIN store_certificate AS c ON c.id = p.certificate WHERE c.store = ?1",
          query, store)) {
    return StorageError(ec);
  }
  return StorageError(query.ForEachRow([&] {
    properties[query.ColumnInt64(0)][static_cast<uint32_t>(query.ColumnInt64(1))] =
        query.ColumnBlob(2);
  }));
}

Status WriteProperties(Database& database, int64_t entry,
                       const CertContext::Properties& properties) {
  sqlite::Statement erase;
  if (const auto ec = database.Prepare("DELETE FROM certificate_property WHERE certificate = ?1",
                                       erase, entry)) {
    return StorageError(ec);
  }
  if (const auto ec = erase.Run()) return StorageError(ec);
  sqlite::Statement insert;
  if (const auto ec = database.Prepare(
          "INSERT INTO certificate_property (certificate, property, value) VALUES (?1, ?2, ?3)",
          insert)) {
    return StorageError(ec);
  }
  for (const auto& [id, value] : properties) {
    // The SHA-1 hash is computed from the certificate, never stored.
    if (id == kSha1HashPropId) continue;
    insert.Reset();
    if (const auto ec = insert.BindAll(entry, std::int64_t{id}, value)) return StorageError(ec);
    if (const auto ec = insert.Run()) return StorageError(ec);
  }
  return error::kOk;
}

// The CRL of exactly `der`, or null.
std::shared_ptr<const ParsedCrl> ParseCrl(std::span<const uint8_t> der) {
  if (der.empty() || der.size() > 0x7FFFFFFF) return nullptr;
  X509CrlPtr crl(X509_CRL_new_ex(CryptoLibrary(), kCryptoProperties));
  if (!crl) return nullptr;
  X509_CRL* target = crl.get();
  const unsigned char* cursor = der.data();
  if (d2i_X509_CRL(&target, &cursor, static_cast<long>(der.size())) == nullptr) {
    // d2i frees the object it was given on failure.
    static_cast<void>(crl.release());
    return nullptr;
  }
  if (cursor != der.data() + der.size()) return nullptr;
  return std::make_shared<const ParsedCrl>(ParsedCrl{std::move(crl)});
}

}  // namespace

CertStore::CertStore(std::shared_ptr<Database> database, int64_t id, std::string name)
    : database_(std::move(database)), id_(id), name_(std::move(name)) {}

CertStore::~CertStore() = default;

Status CertStore::OpenSystemStore(std::string_view name, std::unique_ptr<CertStore>& store) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return error::kInvalidArgument;
  try {
    std::shared_ptr<Database> database;
    if (const auto ec = SharedDatabase(database)) return StorageError(ec);
    const std::string folded = FoldStoreName(name);
    int64_t id = 0;
    std::string storedName;
    const auto lookup = [&]() -> Status {
      sqlite::Statement query;
      if (const auto ec = database->Prepare(
              "SELECT id, name FROM cert_store WHERE folded_name = ?1", query, folded)) {
        return StorageError(ec);
      }
      bool hasRow = false;
      if (const auto ec = query.Step(hasRow)) return StorageError(ec);
      if (hasRow) {
        id = query.ColumnInt64(0);
        storedName = query.ColumnText(1);
      }
      return error::kOk;
    };
    if (const Status status = ReadPlatform(*database, lookup); status != error::kOk) return status;
    if (id == 0) {
      const Status status = TransactPlatform(*database, [&]() -> Status {
        sqlite::Statement insert;
        if (const auto ec = database->Prepare(
                "INSERT OR IGNORE INTO cert_store (name, folded_name) VALUES (?1, ?2)", insert,
                name, folded)) {
          return StorageError(ec);
        }
        if (const auto ec = insert.Run()) return StorageError(ec);
        return lookup();
      });
      if (status != error::kOk) return status;
      if (id == 0) return error::kStorageFailure;
    }
    store.reset(new CertStore(std::move(database), id, std::move(storedName)));
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::LoadSnapshot() {
  StoreSnapshot loaded;
  const bool withTokens = FoldStoreName(name_) == FoldStoreName(kStoreMy);
  std::vector<TokenModuleEntry> modules;
  const Status status = ReadPlatform(*database_, [&]() -> Status {
    // The stamp and the rows come from the same read transaction.
    ChangeStamp stamp;
    if (const auto ec = database_->Stamp(stamp)) return StorageError(ec);
    if (withTokens) {
      Registry registry(*database_);
      // A registry that cannot be read lists no token; the home's own
      // certificates are there all the same.
      if (ReadTokenModules(registry, modules)) modules.clear();
    }
    loaded = FindStoreSnapshot(stamp, id_);
    if (loaded) return error::kOk;
    std::map<int64_t, CertContext::Properties> properties;
    if (const Status read = ReadStoreProperties(*database_, id_, properties); read != error::kOk)
      return read;
    std::vector<CertContextRef> contexts;
    sqlite::Statement query;
    if (const auto ec = database_->Prepare(
            "SELECT id, der FROM store_certificate WHERE store = ?1 ORDER BY id", query, id_)) {
      return StorageError(ec);
    }
    if (const auto ec = query.ForEachRow([&] {
          const int64_t entry = query.ColumnInt64(0);
          std::shared_ptr<const Certificate> certificate;
          // Only parsed certificates are ever stored; one that no longer parses is
          // skipped rather than failing the whole store.
          if (Certificate::FromDer(query.ColumnBlob(1), certificate) != error::kOk) return;
          const auto held = properties.find(entry);
          contexts.push_back(std::make_shared<const CertContext>(
              std::move(certificate),
              held == properties.end() ? CertContext::Properties{} : std::move(held->second),
              entry));
        })) {
      return StorageError(ec);
    }
    loaded = std::make_shared<const std::vector<CertContextRef>>(std::move(contexts));
    KeepStoreSnapshot(stamp, id_, loaded);
    return error::kOk;
  });
  if (status != error::kOk) return status;
  if (!modules.empty()) {
    // The tokens are read anew for each snapshot: they come and go without
    // the home's knowing.
    try {
      auto combined = std::make_shared<std::vector<CertContextRef>>(*loaded);
      AppendTokenCertificates(modules, *combined);
      loaded = std::move(combined);
    } catch (const std::bad_alloc&) {
      return error::kOutOfMemory;
    }
  }
  snapshot_ = std::move(loaded);
  return status;
}

Status CertStore::LoadEntry(int64_t entry, CertContextRef& context) {
  return ReadPlatform(*database_, [&]() -> Status {
    sqlite::Statement query;
    if (const auto ec = database_->Prepare(
            "SELECT der FROM store_certificate WHERE id = ?1 AND store = ?2", query, entry, id_)) {
      return StorageError(ec);
    }
    bool hasRow = false;
    if (const auto ec = query.Step(hasRow)) return StorageError(ec);
    if (!hasRow) return error::kNotFound;
    std::shared_ptr<const Certificate> certificate;
    if (const Status parsed = Certificate::FromDer(query.ColumnBlob(0), certificate);
        parsed != error::kOk) {
      return parsed;
    }
    CertContext::Properties properties;
    if (const Status read = ReadProperties(*database_, entry, properties); read != error::kOk)
      return read;
    context =
        std::make_shared<const CertContext>(std::move(certificate), std::move(properties), entry);
    return error::kOk;
  });
}

Status CertStore::AddCertificate(std::span<const uint8_t> der,
                                 const CertContext::Properties& properties,
                                 AddDisposition disposition, CertContextRef* added) {
  try {
    std::shared_ptr<const Certificate> certificate;
    if (const Status status = Certificate::FromDer(der, certificate); status != error::kOk)
      return status;
    int64_t entry = 0;
    const Status status = TransactPlatform(*database_, [&]() -> Status {
      sqlite::Statement query;
      if (const auto ec =
              database_->Prepare("SELECT id FROM store_certificate WHERE store = ?1 AND sha1 = ?2",
                                 query, id_, certificate->Sha1())) {
        return StorageError(ec);
      }
      bool hasRow = false;
      if (const auto ec = query.Step(hasRow)) return StorageError(ec);
      if (hasRow) {
        entry = query.ColumnInt64(0);
        if (disposition == AddDisposition::kNew) return error::kObjectExists;
        if (disposition == AddDisposition::kUseExisting) return error::kOk;
        return WriteProperties(*database_, entry, properties);
      }
      sqlite::Statement insert;
      if (const auto ec = database_->Prepare(
              "INSERT INTO store_certificate (store, sha1, der) VALUES (?1, ?2, ?3)", insert, id_,
              certificate->Sha1(), certificate->Der())) {
        return StorageError(ec);
      }
      if (const auto ec = insert.Run()) return StorageError(ec);
      sqlite::Statement last;
      if (const auto ec = database_->Prepare("SELECT last_insert_rowid()", last)) {
        return StorageError(ec);
      }
      if (const auto ec = last.Step(hasRow)) return StorageError(ec);
      entry = last.ColumnInt64(0);
      return WriteProperties(*database_, entry, properties);
    });
    if (status != error::kOk) return status;
    if (added != nullptr) return LoadEntry(entry, *added);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::SetProperty(const CertContextRef& context, uint32_t id,
                              std::optional<std::span<const uint8_t>> value,
                              CertContextRef* updated) {
  if (!context || context->storeEntry() == 0 || id == 0 || id == kSha1HashPropId) {
    return error::kInvalidArgument;
  }
  if (context->storeEntry() >= kFirstTokenEntry) return error::kNotFound;
  try {
    const Status status = TransactPlatform(*database_, [&]() -> Status {
      if (const Status held = CheckHeld(*database_, context->storeEntry(), id_); held != error::kOk)
        return held;
      sqlite::Statement change;
      const char* sql = value ? "INSERT OR REPLACE INTO certificate_property "
                                "(certificate, property, value) VALUES (?1, ?2, ?3)"
                              : "DELETE FROM certificate_property "
                                "WHERE certificate = ?1 AND property = ?2";
      if (const auto ec =
              database_->Prepare(sql, change, context->storeEntry(), std::int64_t{id})) {
        return StorageError(ec);
      }
      if (value) {
        if (const auto ec = change.BindBlob(3, *value)) return StorageError(ec);
      }
      return StorageError(change.Run());
    });
    if (status != error::kOk) return status;
    if (updated != nullptr) return LoadEntry(context->storeEntry(), *updated);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::DeleteCertificate(const CertContextRef& context) {
  if (!context || context->storeEntry() == 0) return error::kInvalidArgument;
  // A token's certificates are the token's; the home holds no row of them.
  if (context->storeEntry() >= kFirstTokenEntry) return error::kNotFound;
  return TransactPlatform(*database_, [&]() -> Status {
    if (const Status held = CheckHeld(*database_, context->storeEntry(), id_); held != error::kOk)
      return held;
    // Its properties go with it (ON DELETE CASCADE).
    sqlite::Statement erase;
    if (const auto ec = database_->Prepare("DELETE FROM store_certificate WHERE id = ?1", erase,
                                           context->storeEntry())) {
      return StorageError(ec);
    }
    return StorageError(erase.Run());
  });
}

Status CertStore::AddCrl(std::span<const uint8_t> der, AddDisposition disposition) {
  if (der.empty() || der.size() > 0x7FFFFFFF) return error::kAsn1Corrupt;
  try {
    const unsigned char* cursor = der.data();
    X509CrlPtr crl(X509_CRL_new_ex(CryptoLibrary(), kCryptoProperties));
    if (!crl) return error::kOutOfMemory;
    X509_CRL* target = crl.get();
    if (d2i_X509_CRL(&target, &cursor, static_cast<long>(der.size())) == nullptr) {
      static_cast<void>(crl.release());
      return error::kAsn1Corrupt;
    }
    if (cursor != der.data() + der.size()) return error::kAsn1Corrupt;
    Bytes sha1(20);
    unsigned int length = 0;
    const EVP_MD* digest = FetchedDigest("SHA1");
    if (digest == nullptr ||
        EVP_Digest(der.data(), der.size(), sha1.data(), &length, digest, nullptr) != 1) {
      return error::kStorageFailure;
    }
    return TransactPlatform(*database_, [&]() -> Status {
      sqlite::Statement query;
      if (const auto ec = database_->Prepare(
              "SELECT id FROM store_crl WHERE store = ?1 AND sha1 = ?2", query, id_, sha1)) {
        return StorageError(ec);
      }
      bool hasRow = false;
      if (const auto ec = query.Step(hasRow)) return StorageError(ec);
      if (hasRow) return disposition == AddDisposition::kNew ? error::kObjectExists : error::kOk;
      sqlite::Statement insert;
      if (const auto ec =
              database_->Prepare("INSERT INTO store_crl (store, sha1, der) VALUES (?1, ?2, ?3)",
                                 insert, id_, sha1, der)) {
        return StorageError(ec);
      }
      return StorageError(insert.Run());
    });
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::Crls(std::vector<StoredCrl>& crls) {
  try {
    CrlSnapshot loaded;
    const Status status = ReadPlatform(*database_, [&]() -> Status {
      ChangeStamp stamp;
      if (const auto ec = database_->Stamp(stamp)) return StorageError(ec);
      loaded = FindCrlSnapshot(stamp, id_);
      if (loaded) return error::kOk;
      std::vector<StoredCrl> read;
      sqlite::Statement query;
      if (const auto ec = database_->Prepare(
              "SELECT id, der FROM store_crl WHERE store = ?1 ORDER BY id", query, id_)) {
        return StorageError(ec);
      }
      if (const auto ec = query.ForEachRow([&] {
            StoredCrl crl{query.ColumnInt64(0), query.ColumnBlob(1), nullptr};
            crl.parsed = ParseCrl(crl.der);
            read.push_back(std::move(crl));
          })) {
        return StorageError(ec);
      }
      loaded = std::make_shared<const std::vector<StoredCrl>>(std::move(read));
      KeepCrlSnapshot(stamp, id_, loaded);
      return error::kOk;
    });
    if (status == error::kOk) crls = *loaded;
    return status;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::DeleteCrl(int64_t entry) {
  return TransactPlatform(*database_, [&]() -> Status {
    sqlite::Statement exists;
    if (const auto ec = database_->Prepare("SELECT 1 FROM store_crl WHERE id = ?1 AND store = ?2",
                                           exists, entry, id_)) {
      return StorageError(ec);
    }
    bool hasRow = false;
    if (const auto ec = exists.Step(hasRow)) return StorageError(ec);
    if (!hasRow) return error::kNotFound;
    sqlite::Statement erase;
    if (const auto ec = database_->Prepare("DELETE FROM store_crl WHERE id = ?1", erase, entry)) {
      return StorageError(ec);
    }
    return StorageError(erase.Run());
  });
}

}  // namespace quorvel::platform

namespace quorvel::platform {

std::optional<TokenKeyLocation> TokenLocationOf(const CertContext& context) {
  KeyProvInfo info;
  if (context.GetKeyProvInfo(info) != error::kOk || info.provider != kTokenProvider) {
    return std::nullopt;
  }
  return ParseTokenUri(Utf16ToUtf8(info.container));
}

}  // namespace quorvel::platform
