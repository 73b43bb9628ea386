// A private platform home for the signing benchmarks: the demo hierarchy that
// `quorvel demo-pki` makes, with filler certificates added to "MY" up to a
// given count, and the demo objects parsed by the system libcrypto for the
// library side of each comparison.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/crypto/openssl.h"

namespace quorvel::bench {

// The subject part that names the signer in server mode, and its container.
inline constexpr std::u16string_view kSignerDn = u"CN=Zhang San";

// The demo objects as the system libcrypto's default context parses them.
struct LibraryObjects {
  platform::X509Ptr signer;
  platform::EvpPkeyPtr signerKey;
  platform::X509Ptr root;
  platform::X509Ptr intermediate;
  platform::X509CrlPtr crl;
};

class BenchHome {
 public:
  // The home with `certificatesInMy` certificates in "MY", made on first use
  // and kept for the run; makes it the current home (QUORVEL_HOME).
  static BenchHome& Use(std::size_t certificatesInMy);

  BenchHome(const BenchHome&) = delete;
  BenchHome& operator=(const BenchHome&) = delete;
  ~BenchHome();

  const LibraryObjects& library() const { return library_; }
  const std::filesystem::path& path() const { return home_; }

 private:
  explicit BenchHome(std::size_t certificatesInMy);

  std::filesystem::path root_;
  std::filesystem::path home_;
  LibraryObjects library_;
};

// `size` bytes of printable text that compresses like a form submission.
std::string FormText(std::size_t size);
// `size` bytes of Chinese text in code page 936 (two bytes a character), as
// UTF-8.
std::string ChineseText(std::size_t size);

}  // namespace quorvel::bench
