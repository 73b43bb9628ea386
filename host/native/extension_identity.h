// Our browser extension, as browsers name it to the native host they start:
// Chromium derives the id from the public key in the extension's manifest;
// Firefox takes the id the manifest declares.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::host::native {

inline constexpr std::string_view kHostName = "org.quorvel.host";
inline constexpr std::string_view kChromiumExtensionId = "mpoihhegonckbdhmoikcpobekmdhoemj";
inline constexpr std::string_view kChromiumExtensionOrigin =
    "chrome-extension://mpoihhegonckbdhmoikcpobekmdhoemj/";
inline constexpr std::string_view kFirefoxExtensionId = "quorvel@quorvel.org";

// True when the browser started the host for our extension: Chromium passes
// the extension's origin first (and on some systems a --parent-window
// option after it); Firefox passes the host manifest's path, then the id.
bool StartedForOurExtension(const std::vector<std::string>& arguments);

}  // namespace quorvel::host::native
