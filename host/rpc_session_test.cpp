#include "host/rpc_session.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace quorvel::host {
namespace {

using nlohmann::json;

class RpcSessionTest : public ::testing::Test {
 protected:
  json Send(const json& request) { return json::parse(session.HandleMessage(request.dump())); }

  json Request(int id, std::string_view method, json params) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
  }

  int64_t Create() {
    const json response = Send(Request(1, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}));
    return response.at("result").at("object").get<int64_t>();
  }

  json Invoke(int64_t object, std::string_view member, json args, std::string_view kind = "") {
    json params = {{"object", object}, {"member", member}, {"args", std::move(args)}};
    if (!kind.empty()) params["kind"] = kind;
    return Send(Request(2, "invoke", std::move(params)));
  }

  RpcSession session;
};

TEST_F(RpcSessionTest, CreatesAndEncodesThroughTheProtocol) {
  const int64_t object = Create();
  EXPECT_EQ(object, 1);
  const json response = Invoke(object, "QVBase64Encode", {"abc"}, "method");
  EXPECT_EQ(response.at("jsonrpc"), "2.0");
  EXPECT_EQ(response.at("id"), 2);
  EXPECT_EQ(response.at("result"), (json{{"status", 0}, {"value", "YWJj\n"}}));
}

TEST_F(RpcSessionTest, CreatesByEitherProgIdOrTheClassIdentifier) {
  for (const json& params :
       {json{{"progid", "Quorvel.DrennicQuorvel2.1"}}, json{{"progid", "quorvel.drennicquorvel2"}},
        json{{"clsid", "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}"}},
        json{{"clsid", "6b1e2d40-7c55-4a1f-9e3b-2d8c41f0a7b6"}}}) {
    EXPECT_TRUE(Send(Request(1, "create", params)).contains("result")) << params;
  }
  const json unknown = Send(Request(1, "create", {{"progid", "Other.Thing"}}));
  EXPECT_EQ(unknown.at("error").at("code"), static_cast<int32_t>(0x80040154u));
}

TEST_F(RpcSessionTest, ObjectsAreIndependent) {
  const int64_t first = Create();
  const int64_t second = Create();
  ASSERT_NE(first, second);
  Invoke(first, "MaxCompSize", {100}, "put");
  EXPECT_EQ(Invoke(first, "MaxCompSize", json::array(), "get").at("result").at("value"), 100);
  EXPECT_EQ(Invoke(second, "MaxCompSize", json::array(), "get").at("result").at("value"), 51200);
}

TEST_F(RpcSessionTest, MemberFailureIsAStatusNotAnError) {
  const int64_t object = Create();
  const json response = Invoke(object, "QVSetCopyRightInfo", {""});
  EXPECT_EQ(response.at("result").at("status"), 1);
  EXPECT_TRUE(response.at("result").at("value").is_null());
  EXPECT_EQ(Invoke(object, "errorNum", json::array()).at("result").at("value"), -10001);
  EXPECT_EQ(Invoke(object, "errMsg", json::array()).at("result").at("value"), "源数据为空");
  const json failedString = Invoke(object, "QVBase64Decode", {"YWJ"});
  EXPECT_EQ(failedString.at("result"), (json{{"status", 1}, {"value", ""}}));
}

TEST_F(RpcSessionTest, ListsAllMembers) {
  const int64_t object = Create();
  const json list = Send(Request(3, "members", {{"object", object}})).at("result");
  ASSERT_EQ(list.size(), 59u);
  int maxCompSize = 0;
  for (const json& member : list) {
    EXPECT_NE(member.at("dispid"), 5);
    if (member.at("name") == "MaxCompSize") {
      EXPECT_EQ(member.at("dispid"), 4);
      ++maxCompSize;
    }
  }
  EXPECT_EQ(maxCompSize, 2);
  EXPECT_EQ(list[0].at("name"), "DNspliter");
  EXPECT_EQ(list[0].at("kind"), "put");
  EXPECT_EQ(list[0].at("params")[0].at("type"), "string");
}

TEST_F(RpcSessionTest, DispatchFailuresUseTheDispatchCodes) {
  const int64_t object = Create();
  auto code = [](const json& response) { return response.at("error").at("code").get<int64_t>(); };
  EXPECT_EQ(code(Invoke(object, "Nope", json::array())), static_cast<int32_t>(0x80020006u));
  EXPECT_EQ(code(Invoke(object, "QVBase64Encode", json::array())),
            static_cast<int32_t>(0x8002000Eu));
  EXPECT_EQ(code(Invoke(object, "QVSetCodePage", {"x"})), static_cast<int32_t>(0x80020005u));
  EXPECT_EQ(code(Invoke(object, "QVBase64Encode", {json::array()})),
            static_cast<int32_t>(0x80020005u));
  const json byDispid = Send(Request(
      4, "invoke", {{"object", object}, {"dispid", 13}, {"kind", "method"}, {"args", {"abc"}}}));
  EXPECT_EQ(byDispid.at("result").at("value"), "YWJj\n");
}

TEST_F(RpcSessionTest, ProtocolErrorsUseJsonRpcCodes) {
  auto code = [&](std::string_view text) {
    return json::parse(session.HandleMessage(text)).at("error").at("code").get<int>();
  };
  EXPECT_EQ(code("{not json"), rpc_error::kParseError);
  EXPECT_EQ(code("[]"), rpc_error::kInvalidRequest);
  EXPECT_EQ(code("42"), rpc_error::kInvalidRequest);
  EXPECT_EQ(code(R"({"jsonrpc":"1.0","id":1,"method":"create"})"), rpc_error::kInvalidRequest);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":{},"method":"create"})"), rpc_error::kInvalidRequest);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":1,"method":7})"), rpc_error::kInvalidRequest);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":1,"method":"explode"})"), rpc_error::kMethodNotFound);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":1,"method":"create","params":[1]})"),
            rpc_error::kInvalidParams);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":1,"method":"invoke","params":{"object":9}})"),
            rpc_error::kInvalidParams);
  EXPECT_EQ(code(R"({"jsonrpc":"2.0","id":1,"method":"create","params":{"progid":3}})"),
            rpc_error::kInvalidParams);
}

TEST_F(RpcSessionTest, NotificationsGetNoResponseAndBatchesAnswerEachRequest) {
  EXPECT_EQ(
      session.HandleMessage(
          R"({"jsonrpc":"2.0","method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})"),
      "");
  EXPECT_EQ(session.ObjectCount(), 1u);
  const json batch = json::parse(session.HandleMessage(
      R"([{"jsonrpc":"2.0","id":1,"method":"invoke","params":{"object":1,"member":"getVersion"}},)"
      R"({"jsonrpc":"2.0","method":"release","params":{"object":1}},)"
      R"({"jsonrpc":"2.0","id":3,"method":"release","params":{"object":1}}])"));
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0].at("result").at("value"), "2.0.59.4");
  EXPECT_EQ(batch[1].at("error").at("code"), rpc_error::kInvalidParams);
  EXPECT_EQ(session.ObjectCount(), 0u);
}

TEST_F(RpcSessionTest, ChineseTextTravelsAsUtf8) {
  const int64_t object = Create();
  const json encoded = Invoke(object, "QVBase64Encode", {"中文"});
  EXPECT_EQ(encoded.at("result").at("value"), "1tDOxA==\n");
  const json decoded = Invoke(object, "QVBase64Decode", {"1tDOxA=="});
  EXPECT_EQ(decoded.at("result").at("value"), "中文");
}

}  // namespace
}  // namespace quorvel::host

namespace quorvel::host {
namespace {

int ErrorCode(const std::string& response) {
  return json::parse(response).at("error").at("code").get<int>();
}

std::string Batch(size_t count, std::string_view request) {
  std::string batch = "[";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) batch += ',';
    batch += request;
  }
  return batch + "]";
}

constexpr std::string_view kCreate =
    R"({"jsonrpc":"2.0","id":7,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})";

TEST(RpcSessionBounds, RefusesHostileShapesAndKeepsAnswering) {
  RpcSession session;
  const std::string deep(10'000'000, '[');
  EXPECT_EQ(ErrorCode(session.HandleMessage(deep)), rpc_error::kInvalidRequest);
  const std::string deepInString =
      R"({"jsonrpc":"2.0","id":1,"method":")" + std::string(1000, '[') + R"("})";
  EXPECT_EQ(ErrorCode(session.HandleMessage(deepInString)), rpc_error::kMethodNotFound);
  EXPECT_EQ(ErrorCode(session.HandleMessage(Batch(50'000, kCreate))), rpc_error::kInvalidRequest);
  EXPECT_EQ(session.ObjectCount(), 0u);
  EXPECT_EQ(json::parse(session.HandleMessage(Batch(1024, kCreate))).size(), 1024u);
}

TEST(RpcSessionBounds, IdsComeBackExactlyOrAreRefused) {
  RpcSession session;
  const auto answer = [&](std::string_view id) {
    return json::parse(session.HandleMessage(R"({"jsonrpc":"2.0","method":"nothing","id":)" +
                                             std::string(id) + "}"));
  };
  EXPECT_EQ(answer("9223372036854775807").at("id").dump(), "9223372036854775807");
  EXPECT_EQ(answer("18446744073709551615").at("id").dump(), "18446744073709551615");
  EXPECT_EQ(answer("\"123456789012345678901234567890\"").at("id"),
            "123456789012345678901234567890");
  for (std::string_view inexact : {"123456789012345678901234567890", "1.5", "1e3"}) {
    const json response = answer(inexact);
    EXPECT_EQ(response.at("error").at("code"), rpc_error::kInvalidRequest) << inexact;
    EXPECT_TRUE(response.at("id").is_null()) << inexact;
  }
}

TEST(RpcSessionBounds, StopsRunningABatchWhoseResponsesOutgrowTheBound) {
  RpcSession session(SessionLimits{.maxBatchResponseBytes = 60});
  const json responses = json::parse(session.HandleMessage(Batch(4, kCreate)));
  ASSERT_EQ(responses.size(), 4u);
  EXPECT_TRUE(responses[0].contains("result"));
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(responses[i].at("error").at("code"), rpc_error::kInvalidRequest);
    EXPECT_EQ(responses[i].at("id"), 7);
  }
  EXPECT_EQ(session.ObjectCount(), 2u);  // the one that crossed the bound ran; the rest did not
}

// Texts cross the protocol unchanged both ways, short or long enough to be
// decoded outside the JSON parser, written raw or as escapes; a long string
// that is not valid JSON fails the message as a short one does.
TEST(RpcSessionTexts, CrossUnchangedAndInvalidOnesFailTheMessage) {
  RpcSession session;
  // Handed over, as the transports do: a message goes once its texts have.
  auto send = [&](std::string text) {
    return json::parse(session.HandleOwnedMessage(std::move(text)));
  };
  ASSERT_TRUE(
      send(
          R"({"jsonrpc":"2.0","id":1,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})")
          .contains("result"));
  send(
      R"({"jsonrpc":"2.0","id":1,"method":"invoke","params":{"object":1,"member":"QVSetCodePage","args":[65001]}})");
  const std::string pieces[] = {"plain",    "q\"b\\s/\b\f\n\r\t\x01\x1f\x7f",
                                "签名验证", "\U0001F600x",
                                "é",        "签名 ok: \"é\"\U0001F600\n验证"};
  for (const std::string& piece : pieces) {
    for (const size_t repeat : {size_t{1}, 2 * LargeStrings::kMinBytes / piece.size()}) {
      std::string text;
      for (size_t i = 0; i < repeat; ++i) text += piece;
      for (const bool ascii : {false, true}) {
        const json request = {
            {"jsonrpc", "2.0"},
            {"id", text},
            {"method", "invoke"},
            {"params", {{"object", 1}, {"member", "QVBase64Encode"}, {"args", {text}}}}};
        const json encoded = send(request.dump(-1, ' ', ascii));
        ASSERT_EQ(encoded.at("id"), text);
        const json decoded = send(json{{"jsonrpc", "2.0"},
                                       {"id", 2},
                                       {"method", "invoke"},
                                       {"params",
                                        {{"object", 1},
                                         {"member", "QVBase64Decode"},
                                         {"args", {encoded.at("result").at("value")}}}}}
                                      .dump());
        EXPECT_EQ(decoded.at("result").at("value"), text)
            << piece << " x" << repeat << (ascii ? " escaped" : " raw");
      }
    }
  }
  const std::string padding(LargeStrings::kMinBytes, 'a');
  for (const std::string bad : {"\\x", "\\ud800", "\\udc00x", "\\ud800\\u0041", "\x01", "\xC0\x80",
                                "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\\u12"}) {
    const std::string message =
        R"({"jsonrpc":"2.0","id":3,"method":"invoke","params":{"object":1,"member":"QVBase64Encode","args":[")" +
        padding + bad + R"("]}})";
    EXPECT_EQ(send(message).at("error").at("code"), rpc_error::kParseError) << bad;
  }
}

}  // namespace
}  // namespace quorvel::host
