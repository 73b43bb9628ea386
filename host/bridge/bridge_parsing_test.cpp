// What the bridge accepts from the command line and from a connecting
// browser before any control object exists.
#include <gtest/gtest.h>

#include "host/bridge/frame_scanner.h"
#include "host/bridge/http_request.h"
#include "host/bridge/listen_address.h"
#include "host/web_callers/origins.h"

namespace quorvel::bridge {
namespace {
using namespace quorvel::web;

TEST(ListenAddress, OnlyLoopbackAddressesAreAccepted) {
  struct Case {
    std::string_view text;
    bool accepted;
    std::string_view host;
    uint16_t port;
  } cases[] = {
      {"127.0.0.1:8080", true, "127.0.0.1", 8080},
      {"127.0.0.1", true, "127.0.0.1", kDefaultPort},
      {"127.1.2.3:0", true, "127.1.2.3", 0},
      {"localhost:9", true, "127.0.0.1", 9},
      {"[::1]:27455", true, "::1", 27455},
      {"[::1]", true, "::1", kDefaultPort},
      {"[0:0:0:0:0:0:0:1]:5", true, "::1", 5},
      {"0.0.0.0:8080", false, "", 0},
      {"192.168.1.10:8080", false, "", 0},
      {"[::]:8080", false, "", 0},
      {"example.com:80", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:-1", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {"[::1:80", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto address = ParseListenAddress(c.text, error);
    ASSERT_EQ(address.has_value(), c.accepted) << c.text;
    if (!c.accepted) {
      EXPECT_FALSE(error.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(address->host, c.host) << c.text;
    EXPECT_EQ(address->port, c.port) << c.text;
  }
  std::string error;
  ParseListenAddress("10.0.0.1:80", error);
  EXPECT_NE(error.find("loopback"), std::string::npos) << error;
  EXPECT_EQ(AuthorityOf({"::1", 80}), "[::1]:80");
}

TEST(Origins, CanonicalFormIsTheBrowsersSerialisation) {
  struct Case {
    std::string_view text;
    std::optional<std::string_view> canonical;
  } cases[] = {
      {"https://Bank.Example", "https://bank.example"},
      {"https://bank.example/", "https://bank.example"},
      {"http://127.0.0.1:27455", "http://127.0.0.1:27455"},
      {"http://[::1]:8080", "http://[::1]:8080"},
      {"https://bank.example:443", "https://bank.example"},  // the default port goes
      {"http://bank.example:80/", "http://bank.example"},
      {"https://bank.example:8443", "https://bank.example:8443"},
      {"http://bank.example:443", "http://bank.example:443"},
      {"null", std::nullopt},
      {"", std::nullopt},
      {"bank.example", std::nullopt},
      {"https://", std::nullopt},
      {"https://bank.example/path", std::nullopt},
      {"https://user@bank.example", std::nullopt},
      {"https://bank.example?x", std::nullopt},
      {"https://bank example", std::nullopt},
      {"https://bank.example\\evil", std::nullopt},
      {"1http://bank.example", std::nullopt},
      // A port follows the host: an IPv6 literal ends at its bracket.
      {"http://[::1]:80", "http://[::1]"},
      {"http://[::80:80:80", std::nullopt},
      {"http://[::1]80", std::nullopt},
      {"http://bank.example:80:80", std::nullopt},
      {"http://bank.example:", std::nullopt},
      {"http://:80", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto canonical = CanonicalOrigin(c.text);
    EXPECT_EQ(canonical.has_value(), c.canonical.has_value()) << c.text;
    if (canonical && c.canonical) {
      EXPECT_EQ(*canonical, *c.canonical);
      EXPECT_EQ(CanonicalOrigin(*canonical), canonical) << "a canonical form is its own";
    }
  }
  EXPECT_FALSE(CanonicalOrigin("https://" + std::string(200, 'a')));
}

TEST(Origins, AllowDenyAndListAreKeptInTheRegistry) {
  OriginEntry entry;
  ASSERT_FALSE(LookUpOrigin("https://bank.example", entry));
  EXPECT_EQ(entry.access, OriginAccess::kUnknown);

  ASSERT_FALSE(AllowOrigin("https://bank.example", true));
  ASSERT_FALSE(AllowOrigin("https://shop.example", false));
  ASSERT_FALSE(LookUpOrigin("https://bank.example", entry));
  EXPECT_EQ(entry.access, OriginAccess::kAllowed);
  EXPECT_TRUE(entry.localFiles);

  // Denying drops the trust in local files; allowing again does not bring it back.
  ASSERT_FALSE(DenyOrigin("https://bank.example"));
  ASSERT_FALSE(LookUpOrigin("https://bank.example", entry));
  EXPECT_EQ(entry.access, OriginAccess::kDenied);
  EXPECT_FALSE(entry.localFiles);
  ASSERT_FALSE(AllowOrigin("https://bank.example", false));
  ASSERT_FALSE(LookUpOrigin("https://bank.example", entry));
  EXPECT_FALSE(entry.localFiles);

  std::vector<OriginEntry> entries;
  ASSERT_FALSE(ListOrigins(entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].origin, "https://bank.example");
  EXPECT_EQ(entries[1].origin, "https://shop.example");
}

TEST(RequestHead, ParsesBoundedHeadsAndRefusesAmbiguousOnes) {
  const std::string handshake =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1:27455\r\nUpgrade: websocket\r\n"
      "Connection: keep-alive, Upgrade\r\nOrigin: https://bank.example\r\n\r\nrest";
  RequestHead head;
  size_t length = 0;
  ASSERT_EQ(ParseRequestHead(handshake, head, length), HeadStatus::kComplete);
  EXPECT_EQ(length, handshake.size() - 4);
  EXPECT_TRUE(head.IsWebSocketUpgrade());
  EXPECT_EQ(head.Header("origin"), "https://bank.example");
  EXPECT_EQ(head.Header("host"), "127.0.0.1:27455");

  struct Case {
    std::string text;
    HeadStatus status;
  } cases[] = {
      {"GET /demo/ HTTP/1.1\r\nHost: x\r\n", HeadStatus::kIncomplete},
      {"GET /demo/ HTTP/1.1\r\nHost: x\r\n\r\n", HeadStatus::kComplete},
      {"GET /demo/ HTTP/1.0\r\n\r\n", HeadStatus::kMalformed},
      {"GET demo HTTP/1.1\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1 extra\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1\r\nNo colon\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1\r\nOrigin: a\r\nOrigin: b\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1\r\nHost: a\r\nhost: b\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1\r\nX: \x01\r\n\r\n", HeadStatus::kMalformed},
      {"GET / HTTP/1.1\r\nX: " + std::string(kMaxRequestHeadBytes, 'a'), HeadStatus::kTooLarge},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRequestHead(c.text, head, length), c.status) << c.text.substr(0, 60);
  }
  std::string many = "GET / HTTP/1.1\r\n";
  for (size_t i = 0; i <= kMaxRequestHeaders; ++i) many += "X" + std::to_string(i) + ": 1\r\n";
  EXPECT_EQ(ParseRequestHead(many + "\r\n", head, length), HeadStatus::kMalformed);
  ASSERT_EQ(ParseRequestHead("GET / HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", head, length),
            HeadStatus::kComplete);
  EXPECT_FALSE(head.IsWebSocketUpgrade());  // no Connection: Upgrade
}

// Client frames as they arrive, split anywhere: the control frames among
// them are counted once each, and a stream that is no client's is noticed.
TEST(FrameScanner, CountsControlFramesWhereverTheStreamIsSplit) {
  auto frame = [](uint8_t first, size_t length) {
    std::string bytes(1, static_cast<char>(first));
    if (length < 126) {
      bytes += static_cast<char>(0x80 | length);
    } else if (length <= 0xFFFF) {
      bytes += static_cast<char>(0x80 | 126);
      bytes += static_cast<char>(length >> 8);
      bytes += static_cast<char>(length & 0xFF);
    } else {
      bytes += static_cast<char>(0x80 | 127);
      for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(length >> shift);
    }
    return bytes + std::string(4, 'm') + std::string(length, 'p');
  };
  const std::string stream = frame(0x81, 5) + frame(0x89, 125) + frame(0x01, 70000) +
                             frame(0x8A, 0) + frame(0x80, 300) + frame(0x89, 3) + frame(0x88, 2);
  for (size_t piece : {size_t{1}, size_t{3}, size_t{13}, size_t{4096}, stream.size()}) {
    FrameScanner scanner;
    unsigned control = 0;
    for (size_t at = 0; at < stream.size(); at += piece) {
      ASSERT_TRUE(scanner.Feed(std::string_view(stream).substr(at, piece), control));
    }
    EXPECT_EQ(control, 4u) << piece;
  }
  struct Bad {
    const char* why;
    std::string bytes;
  } bad[] = {
      {"unmasked", std::string("\x81\x05hello")},   {"reserved bits", frame(0xC1, 1)},
      {"unknown opcode", frame(0x83, 1)},           {"long control frame", frame(0x89, 126)},
      {"fragmented control frame", frame(0x09, 1)},
  };
  for (const Bad& b : bad) {
    FrameScanner scanner;
    unsigned control = 0;
    EXPECT_FALSE(scanner.Feed(b.bytes, control)) << b.why;
  }
}

}  // namespace
}  // namespace quorvel::bridge
