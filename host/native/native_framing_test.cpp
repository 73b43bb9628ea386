#include "host/native/native_framing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quorvel::host::native {
namespace {

std::string Framed(std::string_view text, uint32_t length) {
  std::string frame(kLengthBytes, '\0');
  std::memcpy(frame.data(), &length, kLengthBytes);
  return frame + std::string(text);
}
std::string Framed(std::string_view text) {
  return Framed(text, static_cast<uint32_t>(text.size()));
}

TEST(FrameReader, HandsOutWholeMessagesAndRefusesWhatIsNot) {
  const std::string two = Framed(R"({"a":1})") + Framed(R"({"b":"中"})");
  const struct {
    std::string input;
    size_t split;  // fed in pieces of this many bytes
    std::vector<std::string> messages;
    FrameError error;  // from Feed
    FrameError atEnd;  // from Finish
  } cases[] = {
      {two, two.size(), {R"({"a":1})", R"({"b":"中"})"}, FrameError::kNone, FrameError::kNone},
      {two, 1, {R"({"a":1})", R"({"b":"中"})"}, FrameError::kNone, FrameError::kNone},
      {two.substr(0, two.size() - 1), 3, {R"({"a":1})"}, FrameError::kNone, FrameError::kTruncated},
      {std::string("\x01\x00", 2), 2, {}, FrameError::kNone, FrameError::kTruncated},
      // A length beyond the bound is refused before anything is allocated for it.
      {Framed("", 0xFFFFFFFFu), 4, {}, FrameError::kTooLong, FrameError::kTooLong},
      {Framed("\xC0\xAF"), 8, {}, FrameError::kBadUtf8, FrameError::kBadUtf8},      // overlong
      {Framed("\xED\xA0\x80"), 8, {}, FrameError::kBadUtf8, FrameError::kBadUtf8},  // surrogate
      {Framed("\xE4\xB8"), 8, {}, FrameError::kBadUtf8, FrameError::kBadUtf8},      // cut character
  };
  for (const auto& c : cases) {
    FrameReader reader(1024);
    std::vector<std::string> messages;
    FrameError error = FrameError::kNone;
    for (size_t at = 0; at < c.input.size() && error == FrameError::kNone; at += c.split) {
      error = reader.Feed(std::string_view(c.input).substr(at, c.split), messages);
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(error, c.error) << DescribeFrameError(error);
    EXPECT_EQ(reader.Finish(), c.atEnd);
  }
}

TEST(FramesFor, LongAnswersTravelAsChunksWithinTheLimitAndJoinBackWhole) {
  // Quotes, controls and multibyte characters escape to more than they take.
  std::string text = R"({"result":{"value":")";
  while (text.size() < 3 * kMaxToBrowser) text += "签名 \"quoted\" \\ \x01\x1f line\n\t";
  text += R"("}})";
  ASSERT_EQ(FramesFor(R"({"small":true})", 1),
            std::vector<std::string>{Framed(R"({"small":true})")});

  const std::vector<std::string> frames = FramesFor(text, 7);
  ASSERT_GT(frames.size(), 3u);
  ChunkJoiner joiner(4 * kMaxToBrowser);
  std::string joined;
  FrameReader reader(kMaxToBrowser);
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_LE(frames[i].size(), kMaxToBrowser);
    std::vector<std::string> messages;
    ASSERT_EQ(reader.Feed(frames[i], messages), FrameError::kNone);
    ASSERT_EQ(messages.size(), 1u);
    const auto result = joiner.Take(nlohmann::json::parse(messages[0]), joined);
    EXPECT_EQ(result, i + 1 < frames.size() ? ChunkJoiner::Result::kIncomplete
                                            : ChunkJoiner::Result::kComplete);
  }
  EXPECT_EQ(joined, text);
}

TEST(ChunkJoiner, TakesOneMessagesChunksInOrderWithinItsBound) {
  using R = ChunkJoiner::Result;
  const auto chunk = [](uint64_t id, uint64_t index, uint64_t count, std::string text) {
    return nlohmann::json{{"chunk", {{"id", id}, {"index", index}, {"count", count}}},
                          {"text", std::move(text)}};
  };
  const struct {
    std::vector<nlohmann::json> messages;
    std::vector<R> results;
  } cases[] = {
      {{{{"jsonrpc", "2.0"}}}, {R::kNotAChunk}},
      {{chunk(1, 0, 2, "ab"), chunk(1, 1, 2, "cd")}, {R::kIncomplete, R::kComplete}},
      {{chunk(1, 1, 2, "ab")}, {R::kInvalid}},  // not from the start
      {{chunk(1, 0, 2, "ab"), chunk(2, 1, 2, "cd")}, {R::kIncomplete, R::kInvalid}},  // other id
      {{chunk(1, 0, 3, "ab"), chunk(1, 2, 3, "cd")}, {R::kIncomplete, R::kInvalid}},  // a gap
      {{chunk(1, 0, 2, "abcdef"), chunk(1, 1, 2, "ghijk")}, {R::kIncomplete, R::kInvalid}},  // > 10
      {{chunk(1, 0, 1, "ab")}, {R::kInvalid}},  // one chunk is no chunking
      {{{{"chunk", {{"id", -1}, {"index", 0}, {"count", 2}}}, {"text", "x"}}}, {R::kInvalid}},
  };
  for (const auto& c : cases) {
    ChunkJoiner joiner(10);
    std::string joined;
    std::vector<R> results;
    for (const auto& message : c.messages) results.push_back(joiner.Take(message, joined));
    EXPECT_EQ(results, c.results);
  }
}

}  // namespace
}  // namespace quorvel::host::native
