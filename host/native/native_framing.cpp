#include "host/native/native_framing.h"

#include <cstring>
#include <new>

namespace quorvel::host::native {
namespace {

std::string Frame(std::string_view text) {
  const auto length = static_cast<uint32_t>(text.size());
  std::string frame(kLengthBytes, '\0');
  std::memcpy(frame.data(), &length, kLengthBytes);  // the machine's byte order
  frame.append(text);
  return frame;
}

// Bytes that `byte` takes inside a JSON string as the encoder writes it.
size_t EscapedSize(unsigned char byte) {
  if (byte == '"' || byte == '\\') return 2;
  if (byte == '\b' || byte == '\f' || byte == '\n' || byte == '\r' || byte == '\t') return 2;
  if (byte < 0x20) return 6;
  return 1;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Room for the chunk's own fields around its text.
constexpr size_t kChunkOverhead = 128;

}  // namespace

std::string_view DescribeFrameError(FrameError error) {
  switch (error) {
    case FrameError::kNone:
      return "no error";
    case FrameError::kTooLong:
      return "a message longer than allowed";
    case FrameError::kTruncated:
      return "the input ended inside a message";
    case FrameError::kBadUtf8:
      return "a message that is not UTF-8";
  }
  return "unknown error";
}

bool IsUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = bytes[i];
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if (!IsContinuation(bytes[i + k])) return false;
      value = (value << 6) | (bytes[i + k] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

FrameError FrameReader::Feed(std::string_view bytes, std::vector<std::string>& messages) {
  if (error_ != FrameError::kNone) return error_;
  try {
    pending_.append(bytes);
    size_t at = 0;
    while (pending_.size() - at >= kLengthBytes) {
      uint32_t length = 0;
      std::memcpy(&length, pending_.data() + at, kLengthBytes);
      if (length > maxMessage_) return error_ = FrameError::kTooLong;
      if (pending_.size() - at - kLengthBytes < length) break;
      const std::string_view text(pending_.data() + at + kLengthBytes, length);
      if (!IsUtf8(text)) return error_ = FrameError::kBadUtf8;
      messages.emplace_back(text);
      at += kLengthBytes + length;
    }
    pending_.erase(0, at);
  } catch (const std::bad_alloc&) {
    return error_ = FrameError::kTooLong;
  }
  return FrameError::kNone;
}

FrameError FrameReader::Finish() const {
  if (error_ != FrameError::kNone) return error_;
  return pending_.empty() ? FrameError::kNone : FrameError::kTruncated;
}

std::vector<std::string> FramesFor(std::string_view json, uint64_t chunkId, size_t maxFrame) {
  if (json.size() + kLengthBytes <= maxFrame) return {Frame(json)};
  const size_t budget = maxFrame - kLengthBytes - kChunkOverhead;
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < json.size()) {
    size_t end = start;
    size_t escaped = 0;
    while (end < json.size() && escaped + EscapedSize(json[end]) <= budget) {
      escaped += EscapedSize(json[end]);
      ++end;
    }
    // Never inside a character.
    while (end < json.size() && end > start && IsContinuation(json[end])) --end;
    if (end == start) {  // a budget smaller than one character: take it whole
      ++end;
      while (end < json.size() && IsContinuation(json[end])) ++end;
    }
    parts.push_back(json.substr(start, end - start));
    start = end;
  }
  std::vector<std::string> frames;
  frames.reserve(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    const nlohmann::json chunk = {
        {"chunk", {{"id", chunkId}, {"index", i}, {"count", parts.size()}}},
        {"text", std::string(parts[i])}};
    frames.push_back(Frame(chunk.dump()));
  }
  return frames;
}

void ChunkJoiner::Reset() {
  open_ = false;
  count_ = next_ = id_ = 0;
  std::string().swap(text_);
}

ChunkJoiner::Result ChunkJoiner::Take(const nlohmann::json& message, std::string& joined) {
  if (!message.is_object() || !message.contains("chunk")) return Result::kNotAChunk;
  const nlohmann::json& chunk = message["chunk"];
  const auto text = message.find("text");
  const auto number = [&](const char* name, uint64_t& value) {
    const auto found = chunk.find(name);
    if (found == chunk.end() || !found->is_number_unsigned()) return false;
    value = found->get<uint64_t>();
    return true;
  };
  uint64_t id = 0;
  uint64_t index = 0;
  uint64_t count = 0;
  if (!chunk.is_object() || !number("id", id) || !number("index", index) ||
      !number("count", count) || text == message.end() || !text->is_string() || count < 2 ||
      (open_ ? id != id_ || count != count_ || index != next_ : index != 0)) {
    Reset();
    return Result::kInvalid;
  }
  const std::string& part = text->get_ref<const std::string&>();
  if (text_.size() + part.size() > maxJoined_) {
    Reset();
    return Result::kInvalid;
  }
  if (!open_) {
    open_ = true;
    id_ = id;
    count_ = count;
  }
  text_ += part;
  if (++next_ < count_) return Result::kIncomplete;
  joined = std::move(text_);
  Reset();
  return Result::kComplete;
}

}  // namespace quorvel::host::native
