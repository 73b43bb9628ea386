#include "host/stdio_transport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

namespace quorvel::host {
namespace {

std::vector<nlohmann::json> Serve(const std::string& input, size_t limit = kDefaultMaxLineBytes) {
  std::istringstream in(input);
  std::ostringstream out;
  RpcSession session;
  ServeStream(in, out, session, limit);
  std::vector<nlohmann::json> responses;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);)
    responses.push_back(nlohmann::json::parse(line));
  return responses;
}

constexpr std::string_view kCreate =
    R"({"jsonrpc":"2.0","id":1,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})";
constexpr std::string_view kEncode =
    R"({"jsonrpc":"2.0","id":2,"method":"invoke","params":{"object":1,"member":"QVBase64Encode","kind":"method","args":["abc"]}})";

TEST(StdioTransport, AnswersEachLineInOrder) {
  const auto responses = Serve(std::string(kCreate) + "\n" + std::string(kEncode) + "\n");
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(responses[1].at("result").dump(), R"({"status":0,"value":"YWJj\n"})");
}

TEST(StdioTransport, AcceptsCarriageReturnsBlankLinesAndAMissingFinalNewline) {
  const auto responses = Serve(std::string(kCreate) + "\r\n\n   \n" + std::string(kEncode));
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(responses[1].at("id"), 2);
}

TEST(StdioTransport, OversizedLineIsAnsweredAndSkipped) {
  const std::string huge = "{\"x\":\"" + std::string(5000, 'a') + "\"}";
  const auto responses =
      Serve(std::string(kCreate) + "\n" + huge + "\n" + std::string(kEncode) + "\n", 1024);
  ASSERT_EQ(responses.size(), 3u);
  EXPECT_EQ(responses[1].at("error").at("code"), rpc_error::kInvalidRequest);
  EXPECT_EQ(responses[2].at("result").at("value"), "YWJj\n");
}

TEST(StdioTransport, GarbageNeverStopsTheSession) {
  std::string input;
  for (const char* line :
       {"\x01\x02\xFF", "{", "null", "[1,2]", "\"str\"", "{\"jsonrpc\":\"2.0\"}"}) {
    input += line;
    input += '\n';
  }
  input += std::string(kCreate) + "\n";
  const auto responses = Serve(input);
  ASSERT_EQ(responses.size(), 7u);
  EXPECT_TRUE(responses.back().contains("result"));
}

}  // namespace
}  // namespace quorvel::host
