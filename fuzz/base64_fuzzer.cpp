// Base64 text as pages and servers hand it to the decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  if (quorvel::platform::Base64Decode(input, bytes)) {
    // What decodes re-encodes to a text that decodes to the same bytes.
    std::string again;
    if (!quorvel::platform::Base64Decode(quorvel::platform::Base64Encode(bytes), again) ||
        again != bytes) {
      std::abort();
    }
  } else if (!bytes.empty()) {
    std::abort();  // a failure leaves no bytes behind
  }
  // Any bytes survive a round trip.
  const std::string text = quorvel::platform::Base64Encode(input);
  if (text.size() != quorvel::platform::Base64EncodedSize(size)) std::abort();
  std::string decoded;
  if (!quorvel::platform::Base64Decode(text, decoded) || decoded != input) std::abort();
  return 0;
}
