// Certificates on Windows. Until this room rests on the platform's
// certificate functions, parsing and extension texts answer kNotSupported.
#include "platform/certificates/certificate.h"
#include "platform/certificates/extension_format.h"

namespace quorvel::platform {

struct Certificate::Native {};

Certificate::Certificate() : native_(std::make_unique<Native>()) {}
Certificate::~Certificate() = default;

Status Certificate::FromDer(std::span<const uint8_t>, std::shared_ptr<const Certificate>&) {
  return error::kNotSupported;
}

bool Certificate::SignedBy(const Certificate&) const {
  return false;
}

Status FormatExtension(std::string_view, std::span<const uint8_t>, std::u16string&) {
  return error::kNotSupported;
}

}  // namespace quorvel::platform
