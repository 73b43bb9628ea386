#include "platform/messages/message_hash.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/errors/platform_errors.h"
#include "platform/text/hex.h"

namespace quorvel::platform {
namespace {

TEST(HashMessageTest, GivesTheBareDigestOfEachPlatformHash) {
  const Bytes abc = {'a', 'b', 'c'};
  struct Case {
    std::string_view oid;
    std::string_view digest;
  };
  const Case cases[] = {
      {"1.2.840.113549.2.5", "900150983cd24fb0d6963f7d28e17f72"},
      {"1.3.14.3.2.26", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"2.16.840.1.101.3.4.2.1",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"2.16.840.1.101.3.4.2.2",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "825"
       "a7"},
      {"2.16.840.1.101.3.4.2.3",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "eeb"
       "bd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oid);
    Bytes hash;
    ASSERT_EQ(HashMessage(c.oid, abc, hash), error::kOk);
    EXPECT_EQ(LowerHex(hash), c.digest);
  }
  Bytes empty;
  ASSERT_EQ(HashMessage("1.3.14.3.2.26", {}, empty), error::kOk);
  EXPECT_EQ(LowerHex(empty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(HashMessageTest, RefusesIdentifiersOfNoHash) {
  for (const std::string_view oid :
       {"", "1.2.840.113549.2.2" /* MD2 */, "1.2.840.113549.3.4" /* RC4 */, "2.5.4.3", "x"}) {
    SCOPED_TRACE(oid);
    Bytes hash = {0x01};
    EXPECT_EQ(HashMessage(oid, Bytes{'a'}, hash), error::kBadAlgId);
    EXPECT_TRUE(hash.empty());
  }
}

}  // namespace
}  // namespace quorvel::platform
