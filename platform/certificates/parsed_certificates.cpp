#include "platform/certificates/parsed_certificates.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

namespace quorvel::platform {
namespace {

class ParsedSet {
 public:
  std::shared_ptr<const Certificate> Find(std::span<const uint8_t> sha1,
                                          std::span<const uint8_t> der) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(Key(sha1));
    if (found == index_.end()) return nullptr;
    const std::span<const uint8_t> held = (*found->second)->Der();
    if (!std::equal(held.begin(), held.end(), der.begin(), der.end())) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return *found->second;
  }

  void Keep(const std::shared_ptr<const Certificate>& certificate) {
    const std::size_t size = certificate->Der().size();
    if (size > kMaxParsedCertificateBytes) return;
    std::lock_guard lock(mutex_);
    try {
      const std::string key = Key(certificate->Sha1());
      if (index_.contains(key)) return;
      order_.push_front(certificate);
      try {
        index_.emplace(key, order_.begin());
      } catch (const std::bad_alloc&) {
        order_.pop_front();
        return;
      }
      bytes_ += size;
    } catch (const std::bad_alloc&) {
      // Not remembering a certificate costs a later parse, nothing else.
      return;
    }
    while (order_.size() > kMaxParsedCertificates || bytes_ > kMaxParsedCertificateBytes) {
      const std::shared_ptr<const Certificate>& oldest = order_.back();
      bytes_ -= oldest->Der().size();
      index_.erase(Key(oldest->Sha1()));
      order_.pop_back();
    }
  }

 private:
  static std::string Key(std::span<const uint8_t> sha1) {
    return std::string(reinterpret_cast<const char*>(sha1.data()), sha1.size());
  }

  std::mutex mutex_;
  // Most recently used first.
  std::list<std::shared_ptr<const Certificate>> order_;
  std::unordered_map<std::string, std::list<std::shared_ptr<const Certificate>>::iterator> index_;
  std::size_t bytes_ = 0;
};

ParsedSet& Parsed() {
  static ParsedSet parsed;
  return parsed;
}

}  // namespace

std::shared_ptr<const Certificate> FindParsedCertificate(std::span<const uint8_t> sha1,
                                                         std::span<const uint8_t> der) {
  try {
    return Parsed().Find(sha1, der);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void KeepParsedCertificate(const std::shared_ptr<const Certificate>& certificate) {
  if (certificate) Parsed().Keep(certificate);
}

}  // namespace quorvel::platform
