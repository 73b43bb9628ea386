// Follows the frames of a client's WebSocket byte stream as they pass, to
// count the control frames (close, ping, pong), which the WebSocket library
// answers by itself and reports to nobody. Nothing of the stream is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvel::bridge {

class FrameScanner {
 public:
  // Reads the next bytes of the stream; adds to `controlFrames` the control
  // frames whose headers they complete. False once the stream holds something
  // that is no client frame (the library closes such a connection itself).
  bool Feed(std::string_view bytes, unsigned& controlFrames);

 private:
  static constexpr size_t kMaxHeader = 14;
  uint8_t header_[kMaxHeader] = {};
  size_t headerLength_ = 0;
  uint64_t payloadLeft_ = 0;
  bool broken_ = false;
};

}  // namespace quorvel::bridge
