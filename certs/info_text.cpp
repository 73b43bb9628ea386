#include "certs/info_text.h"

#include <new>
#include <vector>

#include "certs/cert_info.h"

namespace quorvel::certs {

bool ReadInfoText(const platform::CertContext& certificate, int type, std::u16string& text) {
  text.clear();
  uint32_t length = 0;
  if (GetCertInfoString(&certificate, type, nullptr, &length) != err::kOk) return false;
  try {
    std::vector<char16_t> buffer(static_cast<std::size_t>(length) + 1, 0);
    if (GetCertInfoString(&certificate, type, buffer.data(), &length) != err::kOk) return false;
    // Name lengths count the terminating zero; the text ends at the first zero.
    text.assign(buffer.data());
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace quorvel::certs
