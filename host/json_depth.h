// A scan of JSON text for its nesting depth, made before the text is parsed so
// that deeply nested input is refused without building its arrays and objects.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel::host {

// True when arrays and objects in `text` nest deeper than `maxDepth`. Brackets
// inside strings do not count; the scan does not check that the text is JSON.
bool NestsDeeperThan(std::string_view text, std::size_t maxDepth);

}  // namespace quorvel::host
