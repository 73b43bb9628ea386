// File names that arrive from outside (inside a received container, say) are
// reduced to one harmless final component before they are suggested in a Save
// dialog or joined to a directory, so that no name can reach outside the
// directory it is written to.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::files {

inline constexpr size_t kMaxSafeFileNameBytes = 255;
// What a name that keeps nothing usable becomes.
inline constexpr std::string_view kFallbackFileName = "unnamed";

// The UTF-8 name reduced to: the text after its last "/" or "\"; without
// control characters (C0, DEL, C1) and without the format, direction and line
// separator controls (U+200B-U+200F, U+202A-U+202E, U+2066-U+2069, U+FEFF,
// U+2028, U+2029); every run of dots of two or more shortened
// to one dot, so that ".." appears nowhere; at most kMaxSafeFileNameBytes bytes,
// cut at a character boundary and keeping a short extension; never empty and
// never ".". Ill-formed UTF-8 is replaced by U+FFFD. Where the platform's rules
// say so (on Windows), also without the characters its names may not hold,
// without trailing dots and spaces, and with "_" before a device name.
std::string SafeFileName(std::string_view name);

}  // namespace quorvel::files
