// Internationalised host names as users read them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::platform {

// The Unicode form (UTF-8) of an ASCII host name whose labels may be
// Punycode ("xn--"), by the UTS #46 rules browsers use; nullopt when the name
// is not valid, so that callers show it as it came.
std::optional<std::string> HostNameToUnicode(std::string_view asciiHost);

}  // namespace quorvel::platform
