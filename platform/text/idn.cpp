#include "platform/text/idn.h"

#include <unicode/uidna.h>

#include <memory>

namespace quorvel::platform {
namespace {

constexpr size_t kMaxHostName = 253;
// Each label of at most 63 ASCII characters decodes to at most 63 code
// points of at most 4 bytes each.
constexpr size_t kMaxUnicodeBytes = kMaxHostName * 4;

struct IdnaCloser {
  void operator()(UIDNA* idna) const { uidna_close(idna); }
};

}  // namespace

std::optional<std::string> HostNameToUnicode(std::string_view asciiHost) {
  if (asciiHost.empty() || asciiHost.size() > kMaxHostName) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<UIDNA, IdnaCloser> idna(uidna_openUTS46(
      UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_UNICODE, &status));
  if (U_FAILURE(status)) return std::nullopt;
  std::string out(kMaxUnicodeBytes, '\0');
  UIDNAInfo info = UIDNA_INFO_INITIALIZER;
  const int32_t length =
      uidna_nameToUnicodeUTF8(idna.get(), asciiHost.data(), static_cast<int32_t>(asciiHost.size()),
                              out.data(), static_cast<int32_t>(out.size()), &info, &status);
  if (U_FAILURE(status) || info.errors != 0 || length < 0 ||
      static_cast<size_t>(length) > out.size()) {
    return std::nullopt;
  }
  out.resize(static_cast<size_t>(length));
  return out;
}

}  // namespace quorvel::platform
