// Writing DER elements, for the structures the platform puts together itself:
// a definite length in as few octets as it needs, as the reader takes it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "platform/crypto/bytes.h"

namespace quorvel::platform::der {

// One element of `tag` whose content is `parts` one after the other. Contents
// of 4 GiB or more do not fit the reader's lengths and are not written: the
// result is then empty.
Bytes Encode(uint8_t tag, std::initializer_list<std::span<const uint8_t>> parts);

}  // namespace quorvel::platform::der
