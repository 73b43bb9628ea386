// The certificates and CRLs of each store as last read from the home
// database, kept while the database stays unchanged.
//
// A snapshot is kept with the stamp of the database it was read at; asked for
// at any other stamp (a change by this process or another one, or another home)
// it is gone, and everything kept is forgotten the first time a snapshot of a
// newer stamp is kept. Snapshots are bounded in number, in certificates and in
// CRL bytes, and the set may be used from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/storage/database.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform {

inline constexpr std::size_t kMaxKeptStores = 16;
inline constexpr std::size_t kMaxKeptStoreCertificates = 4096;
inline constexpr std::size_t kMaxKeptCrlBytes = std::size_t{16} << 20;

using StoreSnapshot = std::shared_ptr<const std::vector<CertContextRef>>;
using CrlSnapshot = std::shared_ptr<const std::vector<StoredCrl>>;

// The snapshot of store `store` read at `stamp`; null when none is kept.
StoreSnapshot FindStoreSnapshot(const ChangeStamp& stamp, int64_t store);

// Keeps `snapshot` of `store`, read at `stamp`, unless that would pass the bounds.
void KeepStoreSnapshot(const ChangeStamp& stamp, int64_t store, const StoreSnapshot& snapshot);

// The same for the CRLs of a store.
CrlSnapshot FindCrlSnapshot(const ChangeStamp& stamp, int64_t store);
void KeepCrlSnapshot(const ChangeStamp& stamp, int64_t store, const CrlSnapshot& snapshot);

}  // namespace quorvel::platform
