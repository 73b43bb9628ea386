#include "platform/migrations.h"

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

constexpr Migration kMigrations[] = {
    {1, "registry keys and string values", kRegistry},
};

}  // namespace

std::span<const Migration> Migrations() {
  return kMigrations;
}

}  // namespace quorvel::platform
