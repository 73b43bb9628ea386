// Creates control objects for a programmatic identifier or class identifier.
#pragma once

#include <memory>
#include <string_view>

#include "control/control.h"

namespace quorvel::registration {

// True for either ProgID (compared without regard to case, as the platform's
// registry does) and for the CLSID with or without braces.
bool IsControlProgId(std::string_view progId);
bool IsControlClsid(std::string_view clsid);

// A new, independent control object; null when the identifier names no class
// this module serves.
std::unique_ptr<control::CDrennicQuorvel> CreateByProgId(std::string_view progId);
std::unique_ptr<control::CDrennicQuorvel> CreateByClsid(std::string_view clsid);

}  // namespace quorvel::registration
