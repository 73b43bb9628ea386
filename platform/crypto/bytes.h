// Byte strings passed in and out of the platform services.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::platform {

using Bytes = std::vector<uint8_t>;

}  // namespace quorvel::platform
