#include "platform/stores/store_snapshots.h"

#include <map>
#include <mutex>
#include <new>

namespace quorvel::platform {
namespace {

std::size_t CertificatesOf(const std::vector<CertContextRef>& snapshot) {
  return snapshot.size();
}

std::size_t BytesOf(const std::vector<StoredCrl>& snapshot) {
  std::size_t bytes = 0;
  for (const StoredCrl& crl : snapshot) bytes += crl.der.size();
  return bytes;
}

// The snapshots of one kind, each store's counted by `Measure` against `limit`.
template <typename Snapshot, auto Measure, std::size_t limit>
class SnapshotSet {
 public:
  Snapshot Find(const ChangeStamp& stamp, int64_t store) {
    std::lock_guard lock(mutex_);
    if (stamp != stamp_) return nullptr;
    const auto found = snapshots_.find(store);
    return found == snapshots_.end() ? nullptr : found->second;
  }

  void Keep(const ChangeStamp& stamp, int64_t store, const Snapshot& snapshot) {
    const std::size_t measure = Measure(*snapshot);
    std::lock_guard lock(mutex_);
    if (stamp != stamp_) {
      snapshots_.clear();
      held_ = 0;
      stamp_ = stamp;
    }
    if (snapshots_.contains(store) || snapshots_.size() >= kMaxKeptStores ||
        measure > limit - held_) {
      return;
    }
    try {
      snapshots_.emplace(store, snapshot);
      held_ += measure;
    } catch (const std::bad_alloc&) {
      // Not keeping a snapshot costs a later read, nothing else.
    }
  }

 private:
  std::mutex mutex_;
  ChangeStamp stamp_;
  std::map<int64_t, Snapshot> snapshots_;
  std::size_t held_ = 0;
};

using CertificateSnapshots = SnapshotSet<StoreSnapshot, CertificatesOf, kMaxKeptStoreCertificates>;
using CrlSnapshots = SnapshotSet<CrlSnapshot, BytesOf, kMaxKeptCrlBytes>;

CertificateSnapshots& Snapshots() {
  static CertificateSnapshots snapshots;
  return snapshots;
}

CrlSnapshots& Crls() {
  static CrlSnapshots crls;
  return crls;
}

}  // namespace

StoreSnapshot FindStoreSnapshot(const ChangeStamp& stamp, int64_t store) {
  return Snapshots().Find(stamp, store);
}

void KeepStoreSnapshot(const ChangeStamp& stamp, int64_t store, const StoreSnapshot& snapshot) {
  if (snapshot) Snapshots().Keep(stamp, store, snapshot);
}

CrlSnapshot FindCrlSnapshot(const ChangeStamp& stamp, int64_t store) {
  return Crls().Find(stamp, store);
}

void KeepCrlSnapshot(const ChangeStamp& stamp, int64_t store, const CrlSnapshot& snapshot) {
  if (snapshot) Crls().Keep(stamp, store, snapshot);
}

}  // namespace quorvel::platform
