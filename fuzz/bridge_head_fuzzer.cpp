// Request heads as a connecting browser (or anything else on this machine)
// sends them to the bridge, and the origins they carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/bridge/http_request.h"
#include "host/web_callers/origins.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quorvel::bridge::RequestHead head;
  size_t length = 0;
  if (quorvel::bridge::ParseRequestHead(bytes, head, length) ==
      quorvel::bridge::HeadStatus::kComplete) {
    if (length > size || length > quorvel::bridge::kMaxRequestHeadBytes) std::abort();
    if (head.headers.size() > quorvel::bridge::kMaxRequestHeaders) std::abort();
    head.IsWebSocketUpgrade();
    if (const auto origin = head.Header("origin")) {
      // A canonical origin is its own canonical form.
      if (const auto canonical = quorvel::web::CanonicalOrigin(*origin)) {
        if (quorvel::web::CanonicalOrigin(*canonical) != canonical) std::abort();
      }
    }
  }
  quorvel::web::CanonicalOrigin(bytes);
  return 0;
}
