#include "platform/stores/key_container.h"

#include <gtest/gtest.h>

#include "platform/certificates/test_certificates.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

class KeyContainerTest : public TemporaryHome {};

TEST_F(KeyContainerTest, DefaultContainerIsCreatedOnceThenObtained) {
  std::unique_ptr<KeyContainer> handle;
  EXPECT_EQ(KeyContainer::Acquire(std::nullopt, kMsEnhancedProvider, kProvRsaFull, 0, handle),
            error::kBadKeyset);
  ASSERT_EQ(KeyContainer::Acquire(std::nullopt, kMsEnhancedProvider, kProvRsaFull, kCryptNewKeyset,
                                  handle),
            error::kOk);
  EXPECT_EQ(handle->container(), DefaultContainerName());
  EXPECT_EQ(
      KeyContainer::Acquire(std::nullopt, kMsBaseProvider, kProvRsaFull, kCryptNewKeyset, handle),
      error::kExists);
  // All providers share the containers.
  ASSERT_EQ(KeyContainer::Acquire(std::nullopt, kMsBaseProvider, kProvRsaFull, 0, handle),
            error::kOk);
  EXPECT_EQ(handle->provider(), kMsBaseProvider);
}

TEST_F(KeyContainerTest, RefusesUnknownProvidersAndTypes) {
  std::unique_ptr<KeyContainer> handle;
  EXPECT_EQ(
      KeyContainer::Acquire(u"c", u"Some Other Provider", kProvRsaFull, kCryptNewKeyset, handle),
      error::kKeysetNotDefined);
  EXPECT_EQ(KeyContainer::Acquire(u"c", kMsBaseProvider, 24, kCryptNewKeyset, handle),
            error::kKeysetNotDefined);
  EXPECT_EQ(handle, nullptr);
}

TEST_F(KeyContainerTest, KeepsOneKeyPerSpecificationAcrossHandles) {
  std::unique_ptr<KeyContainer> handle;
  ASSERT_EQ(
      KeyContainer::Acquire(u"Zhang-San", kMsStrongProvider, kProvRsaFull, kCryptNewKeyset, handle),
      error::kOk);
  Key key;
  EXPECT_EQ(handle->GetUserKey(kAtKeyExchange, key), error::kNoKey);
  EvpPkeyPtr exchange = testing::MakeRsaKey();
  ASSERT_EQ(handle->ImportKey(kAtKeyExchange, SharedKey(exchange.get())), error::kOk);

  std::unique_ptr<KeyContainer> again;
  // Container names are compared without regard to case.
  ASSERT_EQ(KeyContainer::Acquire(u"zhang-san", kMsBaseProvider, kProvRsaFull, 0, again),
            error::kOk);
  ASSERT_EQ(again->GetUserKey(kAtKeyExchange, key), error::kOk);
  EXPECT_EQ(EVP_PKEY_eq(PkeyOf(key), exchange.get()), 1);
  EXPECT_EQ(again->GetUserKey(kAtSignature, key), error::kNoKey);
  EXPECT_EQ(again->GetUserKey(3, key), error::kInvalidArgument);

  const KeyProvInfo info = again->ProvInfo(kAtKeyExchange);
  EXPECT_EQ(info.container, u"Zhang-San");
  EXPECT_EQ(info.providerType, kProvRsaFull);
  EXPECT_EQ(info.keySpec, kAtKeyExchange);
}

TEST_F(KeyContainerTest, DeletesContainersWithTheirKeys) {
  std::unique_ptr<KeyContainer> handle;
  ASSERT_EQ(KeyContainer::Acquire(u"gone", kMsBaseProvider, kProvRsaFull, kCryptNewKeyset, handle),
            error::kOk);
  ASSERT_EQ(handle->GenerateKey(kAtSignature, 1024, nullptr), error::kOk);
  std::unique_ptr<KeyContainer> deleted;
  ASSERT_EQ(
      KeyContainer::Acquire(u"gone", kMsBaseProvider, kProvRsaFull, kCryptDeleteKeyset, deleted),
      error::kOk);
  EXPECT_EQ(deleted, nullptr);
  EXPECT_EQ(KeyContainer::Acquire(u"gone", kMsBaseProvider, kProvRsaFull, 0, deleted),
            error::kBadKeyset);
  // The handle acquired before cannot store into a deleted container.
  EvpPkeyPtr key = testing::MakeRsaKey();
  EXPECT_EQ(handle->ImportKey(kAtSignature, SharedKey(key.get())), error::kBadKeyset);
}

TEST(PrivateKeyEncoding, RoundTripsAndRefusesGarbage) {
  EvpPkeyPtr key = testing::MakeRsaKey();
  Bytes pkcs8;
  ASSERT_EQ(EncodePrivateKey(key.get(), pkcs8), error::kOk);
  EvpPkeyPtr decoded;
  ASSERT_EQ(DecodePrivateKey(pkcs8, decoded), error::kOk);
  EXPECT_EQ(EVP_PKEY_eq(key.get(), decoded.get()), 1);
  pkcs8.resize(pkcs8.size() / 2);
  EXPECT_EQ(DecodePrivateKey(pkcs8, decoded), error::kBadData);
  EXPECT_EQ(DecodePrivateKey(Bytes{}, decoded), error::kBadData);
}

}  // namespace
}  // namespace quorvel::platform
