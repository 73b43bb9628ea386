#include "platform/storage/registry.h"

#include <cstdint>

#include "platform/storage/database.h"

namespace quorvel::platform {
namespace {

using KeyId = std::int64_t;

// Walks the path from its root key. With `create`, missing keys are added under
// the spelling the path gives them; without, `found` tells whether the key exists.
std::error_code WalkKey(Database& database, const KeyPath& path, bool create, KeyId& id,
                        bool& found) {
  sqlite::Statement child;
  if (const std::error_code ec = database.Prepare(
          "SELECT id FROM registry_key WHERE parent = ?1 AND folded_name = ?2", child)) {
    return ec;
  }
  sqlite::Statement insert;
  if (create) {
    if (const std::error_code ec = database.Prepare(
            "INSERT INTO registry_key (parent, name, folded_name) VALUES (?1, ?2, ?3)"
            " RETURNING id",
            insert)) {
      return ec;
    }
  }
  id = static_cast<KeyId>(path.root);
  found = false;
  for (const std::string& name : path.names) {
    std::string folded;
    if (!FoldName(name, folded)) return RegistryErrc::kInvalidPath;
    child.Reset();
    if (const std::error_code ec = child.BindAll(id, folded)) return ec;
    bool hasRow = false;
    if (const std::error_code ec = child.Step(hasRow)) return ec;
    if (hasRow) {
      id = child.ColumnInt64(0);
      continue;
    }
    if (!create) return {};
    insert.Reset();
    if (const std::error_code ec = insert.BindAll(id, name, folded)) return ec;
    if (const std::error_code ec = insert.Step(hasRow)) return ec;
    id = insert.ColumnInt64(0);
  }
  found = true;
  return {};
}

std::error_code FindKey(Database& database, std::string_view keyPath, KeyId& id) {
  KeyPath path;
  if (const std::error_code ec = ParseKeyPath(keyPath, path)) return ec;
  bool found = false;
  if (const std::error_code ec = WalkKey(database, path, false, id, found)) return ec;
  return found ? std::error_code{} : RegistryErrc::kKeyNotFound;
}

std::error_code MakeKey(Database& database, std::string_view keyPath, KeyId& id) {
  KeyPath path;
  if (const std::error_code ec = ParseKeyPath(keyPath, path)) return ec;
  bool found = false;
  return WalkKey(database, path, true, id, found);
}

std::error_code FoldValueName(std::string_view name, std::string& folded) {
  if (const std::error_code ec = CheckValueName(name)) return ec;
  FoldName(name, folded);
  return {};
}

}  // namespace

std::error_code Registry::CreateKey(std::string_view keyPath) {
  return database_.Transact([&] {
    KeyId id = 0;
    return MakeKey(database_, keyPath, id);
  });
}

std::error_code Registry::KeyExists(std::string_view keyPath, bool& exists) {
  return database_.Read([&]() -> std::error_code {
    KeyId id = 0;
    const std::error_code ec = FindKey(database_, keyPath, id);
    exists = !ec;
    return ec == RegistryErrc::kKeyNotFound ? std::error_code{} : ec;
  });
}

std::error_code Registry::SetString(std::string_view keyPath, std::string_view valueName,
                                    std::string_view data) {
  std::string folded;
  if (const std::error_code ec = FoldValueName(valueName, folded)) return ec;
  if (const std::error_code ec = CheckValueData(data)) return ec;
  return database_.Transact([&]() -> std::error_code {
    KeyId key = 0;
    if (const std::error_code ec = MakeKey(database_, keyPath, key)) return ec;
    sqlite::Statement upsert;
    if (const std::error_code ec = database_.Prepare(
            "INSERT INTO registry_value (key, name, folded_name, data) VALUES (?1, ?2, ?3, ?4)"
            " ON CONFLICT (key, folded_name) DO UPDATE SET data = excluded.data",
            upsert, key, valueName, folded, data)) {
      return ec;
    }
    return upsert.Run();
  });
}

std::error_code Registry::GetString(std::string_view keyPath, std::string_view valueName,
                                    std::string& data) {
  std::string folded;
  if (const std::error_code ec = FoldValueName(valueName, folded)) return ec;
  return database_.Read([&]() -> std::error_code {
    KeyId key = 0;
    if (const std::error_code ec = FindKey(database_, keyPath, key)) return ec;
    sqlite::Statement query;
    if (const std::error_code ec =
            database_.Prepare("SELECT data FROM registry_value WHERE key = ?1 AND folded_name = ?2",
                              query, key, folded)) {
      return ec;
    }
    bool hasRow = false;
    if (const std::error_code ec = query.Step(hasRow)) return ec;
    if (!hasRow) return RegistryErrc::kValueNotFound;
    data = query.ColumnText(0);
    return {};
  });
}

std::error_code Registry::DeleteValue(std::string_view keyPath, std::string_view valueName) {
  std::string folded;
  if (const std::error_code ec = FoldValueName(valueName, folded)) return ec;
  return database_.Transact([&]() -> std::error_code {
    KeyId key = 0;
    if (const std::error_code ec = FindKey(database_, keyPath, key)) return ec;
    sqlite::Statement remove;
    if (const std::error_code ec = database_.Prepare(
            "DELETE FROM registry_value WHERE key = ?1 AND folded_name = ?2 RETURNING 1", remove,
            key, folded)) {
      return ec;
    }
    bool removed = false;
    if (const std::error_code ec = remove.Step(removed)) return ec;
    return removed ? std::error_code{} : RegistryErrc::kValueNotFound;
  });
}

std::error_code Registry::DeleteKey(std::string_view keyPath) {
  KeyPath path;
  if (const std::error_code ec = ParseKeyPath(keyPath, path)) return ec;
  if (IsPredefinedKey(path)) return RegistryErrc::kPredefinedKey;
  return database_.Transact([&]() -> std::error_code {
    KeyId key = 0;
    bool found = false;
    if (const std::error_code ec = WalkKey(database_, path, false, key, found)) return ec;
    if (!found) return RegistryErrc::kKeyNotFound;
    constexpr const char* kSubtree =
        "WITH RECURSIVE subtree (id) AS (SELECT ?1 UNION ALL"
        " SELECT registry_key.id FROM registry_key JOIN subtree"
        " ON registry_key.parent = subtree.id) ";
    for (const char* action : {"DELETE FROM registry_value WHERE key IN subtree",
                               "DELETE FROM registry_key WHERE id IN subtree"}) {
      sqlite::Statement remove;
      if (const std::error_code ec =
              database_.Prepare(std::string(kSubtree) + action, remove, key)) {
        return ec;
      }
      if (const std::error_code ec = remove.Run()) return ec;
    }
    return {};
  });
}

std::error_code Registry::List(std::string_view keyPath, RegistryKeyListing& listing) {
  return database_.Read([&]() -> std::error_code {
    KeyId key = 0;
    if (const std::error_code ec = FindKey(database_, keyPath, key)) return ec;
    RegistryKeyListing found;
    sqlite::Statement subkeys;
    if (const std::error_code ec = database_.Prepare(
            "SELECT name FROM registry_key WHERE parent = ?1 ORDER BY folded_name", subkeys, key)) {
      return ec;
    }
    if (const std::error_code ec =
            subkeys.ForEachRow([&] { found.subkeys.push_back(subkeys.ColumnText(0)); })) {
      return ec;
    }
    sqlite::Statement values;
    if (const std::error_code ec = database_.Prepare(
            "SELECT name, data FROM registry_value WHERE key = ?1 ORDER BY folded_name", values,
            key)) {
      return ec;
    }
    if (const std::error_code ec = values.ForEachRow([&] {
          found.values.push_back({values.ColumnText(0), values.ColumnText(1)});
        })) {
      return ec;
    }
    listing = std::move(found);
    return {};
  });
}

std::error_code TransactRegistry(const std::function<std::error_code(Registry&)>& body) {
  std::shared_ptr<Database> database;
  if (const std::error_code failed = SharedDatabase(database)) return failed;
  Registry registry(*database);
  return database->Transact([&] { return body(registry); });
}

std::error_code ReadRegistry(const std::function<std::error_code(Registry&)>& body) {
  std::shared_ptr<Database> database;
  if (const std::error_code failed = SharedDatabase(database)) return failed;
  Registry registry(*database);
  return database->Read([&] { return body(registry); });
}

}  // namespace quorvel::platform
