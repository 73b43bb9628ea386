// Which certificates a find criterion matches, and the walks over a store's
// snapshot: the same on every platform, whose stores load their snapshots.
#include <algorithm>
#include <new>

#include "platform/certificates/name_string.h"
#include "platform/stores/cert_store.h"
#include "platform/text/case_fold.h"

namespace quorvel::platform {
namespace {

bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool SimpleNameContains(std::span<const uint8_t> name, std::u16string_view text) {
  std::u16string simple;
  if (NameToString(name, kSimpleNameStr, simple) != error::kOk) return false;
  return ContainsIgnoringCase(simple, text);
}

}  // namespace

bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view part) {
  return ContainsFolded(text, part);
}

bool MatchesFind(const CertFind& criterion, const Certificate& certificate) {
  switch (criterion.type) {
    case FindType::kAny:
      return true;
    case FindType::kSubjectStr:
      return SimpleNameContains(certificate.SubjectName(), criterion.text);
    case FindType::kIssuerStr:
      return SimpleNameContains(certificate.IssuerName(), criterion.text);
    case FindType::kSubjectName:
      return SameBytes(certificate.SubjectName(), criterion.bytes);
    case FindType::kIssuerName:
      return SameBytes(certificate.IssuerName(), criterion.bytes);
    case FindType::kSha1Hash:
      return SameBytes(certificate.Sha1(), criterion.bytes);
  }
  return false;
}

Status CertStore::Certificates(std::vector<CertContextRef>& contexts) {
  try {
    if (const Status status = LoadSnapshot(); status != error::kOk) return status;
    contexts = *snapshot_;
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status CertStore::Enumerate(const CertContextRef& previous, CertContextRef& next) {
  return Find(CertFind{}, previous, next);
}

Status CertStore::Find(const CertFind& criterion, const CertContextRef& previous,
                       CertContextRef& found) {
  try {
    if (!previous) {
      if (const Status status = LoadSnapshot(); status != error::kOk) return status;
    }
    if (!snapshot_) {
      found.reset();
      return error::kNotFound;
    }
    const std::vector<CertContextRef>& snapshot = *snapshot_;
    const int64_t after = previous ? previous->storeEntry() : 0;
    // The snapshot is in store order, which is the order of entries.
    auto position = std::upper_bound(
        snapshot.begin(), snapshot.end(), after,
        [](int64_t entry, const CertContextRef& context) { return entry < context->storeEntry(); });
    for (; position != snapshot.end(); ++position) {
      if (MatchesFind(criterion, (*position)->certificate())) {
        found = *position;
        return error::kOk;
      }
    }
    found.reset();
    return error::kNotFound;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

}  // namespace quorvel::platform
