// The control's Base64 codec: the standard alphabet, output broken into lines
// of 64 characters each ending in LF (the last line too), and a lenient
// decoder that skips characters outside the alphabet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

// Size of the encoding of `length` bytes: n characters plus one LF per started
// line of 64; a single LF for no input.
size_t Base64EncodedSize(size_t length);

std::string Base64Encode(std::string_view bytes);

// Decodes `text` into `bytes`. Returns false, leaving `bytes` empty, when the
// input ends inside a group of four. Padding in the first or second position of a group, or in
// the third without the fourth, yields true with no bytes; a padded group ends
// decoding and whatever follows it is ignored.
[[nodiscard]] bool Base64Decode(std::string_view text, std::string& bytes);
[[nodiscard]] bool Base64Decode(std::string_view text, std::vector<uint8_t>& bytes);

}  // namespace quorvel::platform
