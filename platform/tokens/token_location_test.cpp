#include "platform/tokens/token_location.h"

#include <gtest/gtest.h>

namespace quorvel::platform {
namespace {

TEST(TokenUriTest, ParsesWhatItFormatsWhateverTheLabelHolds) {
  const TokenKeyLocation locations[] = {
      {"/usr/lib/softhsm/libsofthsm2.so", "5e68be6312401b0a", "Bank Token", {0x01}},
      // Reserved and non-ASCII characters, and every byte value of an id.
      {"/opt/vendor lib/p11.so", "A;B?C", "网银盾 %;?&=/", {0x00, 0x25, 0x3B, 0xFF}},
  };
  for (const TokenKeyLocation& location : locations) {
    const std::string uri = FormatTokenUri(location);
    EXPECT_TRUE(uri.starts_with("pkcs11:token=")) << uri;
    const std::optional<TokenKeyLocation> parsed = ParseTokenUri(uri);
    ASSERT_TRUE(parsed) << uri;
    EXPECT_EQ(*parsed, location) << uri;
  }
  EXPECT_EQ(FormatTokenUri(locations[0]),
            "pkcs11:token=Bank%20Token;serial=5e68be6312401b0a;id=%01;type=private"
            "?module-path=/usr/lib/softhsm/libsofthsm2.so");
}

TEST(TokenUriTest, RefusesWhatItWouldNotWrite) {
  const std::string good = "pkcs11:token=T;serial=1;id=%01;type=private?module-path=/m.so";
  ASSERT_TRUE(ParseTokenUri(good));
  std::string longId;
  for (std::size_t i = 0; i <= kMaxTokenObjectId; ++i) longId += "%01";
  const std::string refused[] = {
      "",
      "pkcs12:token=T;serial=1;id=%01;type=private?module-path=/m.so",
      "pkcs11:token=T;serial=1;id=%01;type=private?module-path=m.so",            // relative module
      "pkcs11:token=T;id=%01;type=private?module-path=/m.so",                    // no serial
      "pkcs11:token=T;serial=1;type=private?module-path=/m.so",                  // no id
      "pkcs11:token=T;serial=1;serial=2;id=%01;type=private?module-path=/m.so",  // twice
      "pkcs11:token=T;serial=1;id=%0;type=private?module-path=/m.so",            // short escape
      "pkcs11:token=T;serial=1;id=%zz;type=private?module-path=/m.so",           // bad escape
      "pkcs11:token=T;serial=1;id=%01;type=cert?module-path=/m.so",              // not a key
      "pkcs11:token=T;serial=1;id=%01;pin-value=1234?module-path=/m.so",         // unknown
      "pkcs11:token=T;serial=1;id=%01;type=private?module-path=/m.so&x=1",       // unknown query
      "pkcs11:token;serial=1;id=%01;type=private?module-path=/m.so",             // no value
      "pkcs11:token=T;serial=1;id=" + longId + ";type=private?module-path=/m.so",  // id too long
      good + std::string(kMaxTokenUri, 'a'),
  };
  for (const std::string& uri : refused) EXPECT_FALSE(ParseTokenUri(uri)) << uri;
}

}  // namespace
}  // namespace quorvel::platform
