#include "platform/storage/migrations.h"

namespace quorvel::platform {
namespace {

// Registry keys form a tree under the predefined root keys (parent NULL). Names
// keep the spelling they were created with; `folded_name` is the spelling used to
// compare them, since key and value names are case-insensitive. A value with the
// empty name is the key's default value.
constexpr const char* kRegistry = R"sql(
CREATE TABLE registry_key (
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES registry_key (id),
  name TEXT NOT NULL,
  folded_name TEXT NOT NULL,
  UNIQUE (parent, folded_name)
);
CREATE TABLE registry_value (
  key INTEGER NOT NULL REFERENCES registry_key (id),
  name TEXT NOT NULL,
  folded_name TEXT NOT NULL,
  data TEXT NOT NULL,
  PRIMARY KEY (key, folded_name)
) WITHOUT ROWID;
INSERT INTO registry_key (id, parent, name, folded_name) VALUES
  (1, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
  (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
  (3, 1, 'SOFTWARE', 'SOFTWARE'),
  (4, 3, 'Classes', 'CLASSES');
)sql";

// Certificate stores hold certificates (DER) in store order, the order of their
// ids; a certificate is in a store at most once (by its SHA-1). Properties
// belong to one store entry. Store and container names keep the spelling they
// were created with and are compared in `folded_name`.
constexpr const char* kStoresAndKeys = R"sql(
CREATE TABLE cert_store (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  folded_name TEXT NOT NULL UNIQUE
);
INSERT INTO cert_store (name, folded_name) VALUES
  ('MY', 'MY'), ('CA', 'CA'), ('ROOT', 'ROOT'), ('AddressBOOK', 'ADDRESSBOOK');
CREATE TABLE store_certificate (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  store INTEGER NOT NULL REFERENCES cert_store (id),
  sha1 BLOB NOT NULL,
  der BLOB NOT NULL,
  UNIQUE (store, sha1)
);
CREATE TABLE certificate_property (
  certificate INTEGER NOT NULL REFERENCES store_certificate (id) ON DELETE CASCADE,
  property INTEGER NOT NULL,
  value BLOB NOT NULL,
  PRIMARY KEY (certificate, property)
) WITHOUT ROWID;
CREATE TABLE store_crl (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  store INTEGER NOT NULL REFERENCES cert_store (id),
  sha1 BLOB NOT NULL,
  der BLOB NOT NULL,
  UNIQUE (store, sha1)
);
CREATE TABLE key_container (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  folded_name TEXT NOT NULL UNIQUE
);
CREATE TABLE container_key (
  container INTEGER NOT NULL REFERENCES key_container (id) ON DELETE CASCADE,
  key_spec INTEGER NOT NULL CHECK (key_spec IN (1, 2)),
  pkcs8 BLOB NOT NULL,
  PRIMARY KEY (container, key_spec)
) WITHOUT ROWID;
)sql";

// One row for each operation a private key was used (or refused) in for a
// caller the hosting program named; times are UTC text, so they sort.
constexpr const char* kSigningHistory = R"sql(
CREATE TABLE signing_history (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  time TEXT NOT NULL,
  caller TEXT NOT NULL,
  member TEXT NOT NULL,
  certificate TEXT NOT NULL,
  thumbprint TEXT NOT NULL,
  content_sha256 TEXT NOT NULL,
  outcome TEXT NOT NULL,
  error_num INTEGER NOT NULL
);
CREATE INDEX signing_history_time ON signing_history (time);
CREATE INDEX signing_history_caller ON signing_history (caller);
)sql";

constexpr Migration kMigrations[] = {
    {1, "registry keys and string values", kRegistry},
    {2, "certificate stores, CRLs and key containers", kStoresAndKeys},
    {3, "signing history", kSigningHistory},
};

}  // namespace

std::span<const Migration> Migrations() {
  return kMigrations;
}

}  // namespace quorvel::platform
