// Bytes as a browser (or anything that starts the native-messaging host) writes
// them to the host's standard input: frames, their JSON, and chunks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/native/native_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using namespace quorvel::host::native;
  // The first byte says how the rest arrives: in pieces of 1 to 256 bytes.
  const size_t piece = static_cast<size_t>(data[0]) + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr size_t kBound = 1 << 16;
  FrameReader reader(kBound);
  ChunkJoiner joiner(kBound);
  std::vector<std::string> messages;
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (reader.Feed(bytes.substr(at, piece), messages) != FrameError::kNone) break;
  }
  reader.Finish();
  for (const std::string& message : messages) {
    if (message.size() > kBound || !IsUtf8(message)) std::abort();
    const nlohmann::json parsed = nlohmann::json::parse(message, nullptr, false);
    if (parsed.is_discarded()) continue;
    std::string joined;
    if (joiner.Take(parsed, joined) == ChunkJoiner::Result::kComplete && joined.size() > kBound) {
      std::abort();
    }
    // What the host would answer with it travels back within the limit.
    const std::string answer = parsed.dump();
    for (const std::string& frame : FramesFor(answer, 1, 4096)) {
      if (frame.size() > 4096) std::abort();
    }
  }
  return 0;
}
