#include "host/web_callers/origins.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::web {
namespace {

constexpr std::string_view kAccessValue = "Access";
constexpr std::string_view kLocalFilesValue = "LocalFiles";

std::string KeyOf(const std::string& origin) {
  return std::string(kOriginsKey) + "\\" + origin;
}

// A connection of its own for each decision: the bridge is a long-lived
// process, and what `quorvel host allow|deny` changes must reach its next
// handshake whatever else the process's shared connection has been doing.
std::error_code WithRegistry(const std::function<std::error_code(platform::Registry&)>& action) {
  std::shared_ptr<platform::Database> shared;
  if (const std::error_code ec = platform::SharedDatabase(shared)) return ec;
  std::unique_ptr<platform::Database> database;
  if (const std::error_code ec = platform::Database::Open(shared->file(), database)) return ec;
  platform::Registry registry(*database);
  return action(registry);
}

OriginAccess AccessOf(const std::string& text) {
  if (text == "allow") return OriginAccess::kAllowed;
  if (text == "deny") return OriginAccess::kDenied;
  return OriginAccess::kUnknown;
}

std::error_code Read(platform::Registry& registry, const std::string& origin, OriginEntry& entry) {
  entry = {origin, OriginAccess::kUnknown, false};
  std::string access;
  std::error_code ec = registry.GetString(KeyOf(origin), kAccessValue, access);
  if (ec == platform::RegistryErrc::kKeyNotFound || ec == platform::RegistryErrc::kValueNotFound) {
    return {};
  }
  if (ec) return ec;
  entry.access = AccessOf(access);
  std::string localFiles;
  ec = registry.GetString(KeyOf(origin), kLocalFilesValue, localFiles);
  if (ec && ec != platform::RegistryErrc::kValueNotFound) return ec;
  entry.localFiles = entry.access == OriginAccess::kAllowed && localFiles == "1";
  return {};
}

}  // namespace

std::error_code LookUpOrigin(const std::string& origin, OriginEntry& entry) {
  return WithRegistry([&](platform::Registry& registry) { return Read(registry, origin, entry); });
}

std::error_code AllowOrigin(const std::string& origin, bool localFiles) {
  return WithRegistry([&](platform::Registry& registry) {
    if (std::error_code ec = registry.SetString(KeyOf(origin), kAccessValue, "allow")) return ec;
    if (localFiles) return registry.SetString(KeyOf(origin), kLocalFilesValue, "1");
    const std::error_code ec = registry.DeleteValue(KeyOf(origin), kLocalFilesValue);
    return ec == platform::RegistryErrc::kValueNotFound ? std::error_code() : ec;
  });
}

std::error_code DenyOrigin(const std::string& origin) {
  return WithRegistry([&](platform::Registry& registry) {
    if (std::error_code ec = registry.SetString(KeyOf(origin), kAccessValue, "deny")) return ec;
    const std::error_code ec = registry.DeleteValue(KeyOf(origin), kLocalFilesValue);
    return ec == platform::RegistryErrc::kValueNotFound ? std::error_code() : ec;
  });
}

// What the files of the database look like: a commit of another process
// changes the write-ahead log's size or time, a checkpoint the database's.
struct FileStamp {
  struct stat database {};
  struct stat log {};
  static FileStamp Of(const std::filesystem::path& file) {
    FileStamp stamp;
    ::stat(file.c_str(), &stamp.database);
    ::stat((file.string() + "-wal").c_str(), &stamp.log);
    return stamp;
  }
  bool operator==(const FileStamp& other) const {
    auto same = [](const struct stat& a, const struct stat& b) {
      return a.st_ino == b.st_ino && a.st_size == b.st_size &&
             a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
    };
    return same(database, other.database) && same(log, other.log);
  }
};

struct OriginList::State {
  static constexpr size_t kMaxKept = 1024;
  // However the files look, nothing read is kept longer than this.
  static constexpr auto kMaxAge = std::chrono::seconds(1);
  std::filesystem::path file;
  FileStamp files;
  std::chrono::steady_clock::time_point since;
  std::map<std::string, OriginEntry> kept;
};

OriginList::OriginList() : state_(std::make_unique<State>()) {}
OriginList::~OriginList() = default;

std::error_code OriginList::LookUp(const std::string& origin, OriginEntry& entry) {
  State& state = *state_;
  if (state.file.empty()) {
    std::shared_ptr<platform::Database> shared;
    if (const std::error_code ec = platform::SharedDatabase(shared)) return ec;
    state.file = shared->file();
  }
  const FileStamp files = FileStamp::Of(state.file);
  const auto time = std::chrono::steady_clock::now();
  if (!(files == state.files) || time - state.since > State::kMaxAge ||
      state.kept.size() >= State::kMaxKept) {
    state.kept.clear();
    state.files = files;
    state.since = time;
  }
  if (const auto found = state.kept.find(origin); found != state.kept.end()) {
    entry = found->second;
    return {};
  }
  if (const std::error_code ec = LookUpOrigin(origin, entry)) return ec;
  // Kept only if nothing changed while it was read.
  if (FileStamp::Of(state.file) == state.files) state.kept.emplace(origin, entry);
  return {};
}

std::error_code ListOrigins(std::vector<OriginEntry>& entries) {
  entries.clear();
  return WithRegistry([&](platform::Registry& registry) {
    platform::RegistryKeyListing listing;
    std::error_code ec = registry.List(std::string(kOriginsKey), listing);
    if (ec == platform::RegistryErrc::kKeyNotFound) return std::error_code();
    if (ec) return ec;
    for (const std::string& name : listing.subkeys) {
      OriginEntry entry;
      if ((ec = Read(registry, name, entry))) return ec;
      entries.push_back(std::move(entry));
    }
    return std::error_code();
  });
}

}  // namespace quorvel::web
