#include "host/bridge/frame_scanner.h"

#include <algorithm>

namespace quorvel::bridge {
namespace {

// The header's full length once its first two bytes are known: every client
// frame is masked, and the length field may take 2 or 8 more bytes.
size_t HeaderLength(uint8_t second) {
  const uint8_t length = second & 0x7F;
  return 2 + (length == 126 ? 2 : length == 127 ? 8 : 0) + 4;
}

}  // namespace

bool FrameScanner::Feed(std::string_view bytes, unsigned& controlFrames) {
  while (!broken_ && !bytes.empty()) {
    if (payloadLeft_ > 0) {
      const size_t skipped = static_cast<size_t>(std::min<uint64_t>(payloadLeft_, bytes.size()));
      payloadLeft_ -= skipped;
      bytes.remove_prefix(skipped);
      continue;
    }
    header_[headerLength_++] = static_cast<uint8_t>(bytes.front());
    bytes.remove_prefix(1);
    if (headerLength_ < 2 || headerLength_ < HeaderLength(header_[1])) continue;
    const uint8_t opcode = header_[0] & 0x0F;
    const bool masked = (header_[1] & 0x80) != 0;
    if ((header_[0] & 0x70) != 0 || !masked || (opcode > 2 && opcode < 8) || opcode > 10) {
      broken_ = true;
      break;
    }
    uint64_t length = header_[1] & 0x7F;
    if (length >= 126) {
      const size_t fieldBytes = length == 126 ? 2 : 8;
      length = 0;
      for (size_t i = 0; i < fieldBytes; ++i) length = (length << 8) | header_[2 + i];
    }
    if (opcode >= 8) {
      if (length > 125 || (header_[0] & 0x80) == 0) {
        broken_ = true;
        break;
      }
      ++controlFrames;
    }
    payloadLeft_ = length;
    headerLength_ = 0;
  }
  return !broken_;
}

}  // namespace quorvel::bridge
