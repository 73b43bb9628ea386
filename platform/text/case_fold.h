// Names compared without regard to case, as the platform's registry compares
// them: each code point upper-cased on its own (simple case mapping).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::platform {

// Upper-cases `text` into `upper` (when given) and measures it in UTF-16 code
// units; false for ill-formed UTF-8 and for NUL, which the platform's string
// values cannot hold.
bool UppercaseUtf8(std::string_view text, std::string* upper, std::size_t& utf16Length);

// True when `part` occurs in `text`, both case-folded (full case folding
// where the platform offers it).
bool ContainsFolded(std::u16string_view text, std::u16string_view part);

}  // namespace quorvel::platform
