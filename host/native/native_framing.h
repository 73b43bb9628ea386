// The browsers' native-messaging framing, as a host reads and writes it on its
// standard input and output: each message a 32-bit length in the machine's
// byte order, then that many bytes of UTF-8 JSON. A browser takes at most
// kMaxToBrowser bytes in one message from a host, so longer answers travel as
// chunks that the extension joins; the extension sends long requests the same
// way, and the host joins them within its own bound.
//
// A chunk is the message {"chunk": {"id": K, "index": I, "count": N}, "text": T}:
// the texts of indexes 0 to N-1 of one id, joined, are the JSON text of the
// message they carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::host::native {

inline constexpr size_t kMaxToBrowser = 1024 * 1024;
inline constexpr size_t kMaxFromBrowser = 64 * 1024 * 1024;
inline constexpr size_t kLengthBytes = 4;

enum class FrameError {
  kNone,
  kTooLong,    // a length beyond the bound
  kTruncated,  // the input ended inside a message
  kBadUtf8,    // a message that is not UTF-8
};

std::string_view DescribeFrameError(FrameError error);

// Takes bytes as they arrive and hands out whole messages. Nothing beyond a
// length's bound is ever allocated. The first error is final.
class FrameReader {
 public:
  explicit FrameReader(size_t maxMessage = kMaxFromBrowser) : maxMessage_(maxMessage) {}

  // Adds `bytes`; each message they complete is appended to `messages`.
  FrameError Feed(std::string_view bytes, std::vector<std::string>& messages);
  // At the end of the input: kTruncated when a message was begun, not ended.
  FrameError Finish() const;

 private:
  size_t maxMessage_;
  std::string pending_;
  FrameError error_ = FrameError::kNone;
};

bool IsUtf8(std::string_view text);

// The frames, length prefixes included, that carry the JSON text `json`: one
// frame when it fits in `maxFrame`, else chunks with id `chunkId`, each frame
// within `maxFrame`. `json` must be valid UTF-8.
std::vector<std::string> FramesFor(std::string_view json, uint64_t chunkId,
                                   size_t maxFrame = kMaxToBrowser);

// Joins chunks of one message at a time, in order, up to `maxJoined` bytes.
class ChunkJoiner {
 public:
  enum class Result {
    kNotAChunk,   // a message of its own
    kIncomplete,  // a chunk taken; more are due
    kComplete,    // the last chunk: `joined` holds the message's text
    kInvalid,     // out of order, mismatched, malformed or too long; dropped
  };

  explicit ChunkJoiner(size_t maxJoined) : maxJoined_(maxJoined) {}
  Result Take(const nlohmann::json& message, std::string& joined);

 private:
  void Reset();

  size_t maxJoined_;
  bool open_ = false;
  uint64_t id_ = 0;
  uint64_t count_ = 0;
  uint64_t next_ = 0;
  std::string text_;
};

}  // namespace quorvel::host::native
