#include "platform/crypto/hash.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/crypto/algorithm_ids.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/hex.h"

namespace quorvel::platform {
namespace {

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

Bytes Digest(uint32_t algId, std::initializer_list<std::string_view> pieces) {
  std::unique_ptr<Hash> hash;
  EXPECT_EQ(Hash::Create(algId, hash), error::kOk);
  if (!hash) return {};
  for (const std::string_view piece : pieces) {
    EXPECT_EQ(hash->HashData(AsBytes(piece)), error::kOk);
  }
  Bytes value;
  EXPECT_EQ(hash->GetValue(value), error::kOk);
  return value;
}

TEST(HashTest, ComputesTheStandardDigestsOfEachAlgorithm) {
  struct Case {
    uint32_t algId;
    std::string_view abc;
  };
  const Case cases[] = {
      {kCalgMd5, "900150983cd24fb0d6963f7d28e17f72"},
      {kCalgSha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {kCalgSha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {kCalgSha384,
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "8"
       "25a7"},
      {kCalgSha512,
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "e"
       "ebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.algId);
    std::unique_ptr<Hash> hash;
    ASSERT_EQ(Hash::Create(c.algId, hash), error::kOk);
    EXPECT_EQ(hash->algId(), c.algId);
    EXPECT_EQ(hash->size() * 2, c.abc.size());
    EXPECT_EQ(LowerHex(Digest(c.algId, {"abc"})), c.abc);
  }
}

TEST(HashTest, HashesDataInPiecesAndStaysOpenAfterReadingTheValue) {
  EXPECT_EQ(Digest(kCalgSha1, {"a", "", "bc"}), Digest(kCalgSha1, {"abc"}));

  std::unique_ptr<Hash> hash;
  ASSERT_EQ(Hash::Create(kCalgSha256, hash), error::kOk);
  Bytes empty;
  ASSERT_EQ(hash->GetValue(empty), error::kOk);
  EXPECT_EQ(LowerHex(empty), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_EQ(hash->HashData(AsBytes("ab")), error::kOk);
  Bytes partial;
  ASSERT_EQ(hash->GetValue(partial), error::kOk);
  EXPECT_EQ(partial, Digest(kCalgSha256, {"ab"}));
  ASSERT_EQ(hash->HashData(AsBytes("c")), error::kOk);
  Bytes whole;
  ASSERT_EQ(hash->GetValue(whole), error::kOk);
  EXPECT_EQ(whole, Digest(kCalgSha256, {"abc"}));
}

TEST(HashTest, RefusesIdentifiersThatAreNoUsableHash) {
  // 0, ciphers, an unassigned value, and MD2, which the library does not carry.
  for (const uint32_t algId : {0u, kCalgRc4, kCalgAes256, kCalg3Des, 0x8099u, kCalgMd2}) {
    SCOPED_TRACE(algId);
    std::unique_ptr<Hash> hash;
    EXPECT_EQ(Hash::Create(algId, hash), error::kBadAlgId);
    EXPECT_EQ(hash, nullptr);
  }
  // Identifiers reached from dotted OIDs, as the signing paths obtain them.
  std::unique_ptr<Hash> hash;
  EXPECT_EQ(Hash::Create(OidToAlgId("1.2.3.4"), hash), error::kBadAlgId);
  EXPECT_EQ(Hash::Create(OidToAlgId("2.16.840.1.101.3.4.2.3"), hash), error::kOk);
  EXPECT_EQ(hash->algId(), kCalgSha512);
}

}  // namespace
}  // namespace quorvel::platform
