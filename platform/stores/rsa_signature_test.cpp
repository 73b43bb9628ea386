#include "platform/stores/rsa_signature.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/certificates/test_certificates.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::unique_ptr<Hash> HashOf(uint32_t algId, std::string_view data) {
  std::unique_ptr<Hash> hash;
  EXPECT_EQ(Hash::Create(algId, hash), error::kOk);
  if (hash) {
    EXPECT_EQ(hash->HashData(AsBytes(data)), error::kOk);
  }
  return hash;
}

Bytes Reversed(Bytes bytes) {
  std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

// The DER prefix of a DigestInfo (algorithm with NULL parameters, then the
// OCTET STRING header), written out here independently of the code under test.
Bytes DigestInfoPrefix(uint32_t algId) {
  switch (algId) {
    case kCalgMd5:
      return {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
              0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
    case kCalgSha1:
      return {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
              0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
    case kCalgSha256:
      return {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
              0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    case kCalgSha384:
      return {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
              0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
    case kCalgSha512:
      return {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
              0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};
    default:
      ADD_FAILURE() << "no DigestInfo prefix for " << algId;
      return {};
  }
}

void WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WritePrivateKeyPem(const std::filesystem::path& path, EVP_PKEY* key) {
  BioPtr bio(BIO_new_file(path.c_str(), "w"));
  ASSERT_TRUE(bio);
  ASSERT_EQ(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), 1);
}

class RsaSignatureTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    ASSERT_EQ(KeyContainer::Acquire(u"signer", kMsEnhancedProvider, kProvRsaFull, kCryptNewKeyset,
                                    container_),
              error::kOk);
    key_ = testing::MakeRsaKey(1024);
    ASSERT_EQ(container_->ImportKey(kAtSignature, SharedKey(key_.get())), error::kOk);
    testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.3", "Signer")});
    certificate_ = testing::MakeCertificate(spec, key_.get(), key_.get());
    std::shared_ptr<const Certificate> parsed;
    ASSERT_EQ(Certificate::FromDer(certificate_, parsed), error::kOk);
    ASSERT_EQ(ImportPublicKeyInfo(*parsed, publicKey_), error::kOk);
  }

  // What `openssl pkeyutl -sign` gives for the key and `input`: a DigestInfo to
  // be padded as it is, or, with `digestName`, a bare digest that the tool wraps.
  Bytes OpenSslSignature(const Bytes& input, const std::string& digestName = {}) {
    const auto keyFile = root_ / "key.pem";
    const auto inFile = root_ / "input.bin";
    const auto outFile = root_ / "signature.bin";
    WritePrivateKeyPem(keyFile, key_.get());
    WriteFile(inFile, input);
    std::filesystem::remove(outFile);
    std::string command = "/usr/bin/openssl pkeyutl -sign -pkeyopt rsa_padding_mode:pkcs1";
    if (!digestName.empty()) command += " -pkeyopt digest:" + digestName;
    command += " -inkey '" + keyFile.string() + "' -in '" + inFile.string() + "' -out '" +
               outFile.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(outFile);
  }

  std::unique_ptr<KeyContainer> container_;
  EvpPkeyPtr key_;
  Bytes certificate_;
  Key publicKey_;
};

TEST_F(RsaSignatureTest, SignatureReversedEqualsOpenSslPkeyutlForEveryHash) {
  const struct {
    uint32_t algId;
    const char* name;
  } cases[] = {{kCalgMd5, "md5"},
               {kCalgSha1, "sha1"},
               {kCalgSha256, "sha256"},
               {kCalgSha384, "sha384"},
               {kCalgSha512, "sha512"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto hash = HashOf(c.algId, "payment order 4711");
    ASSERT_TRUE(hash);
    Bytes signature;
    ASSERT_EQ(SignHash(*hash, *container_, kAtSignature, signature), error::kOk);
    EXPECT_EQ(signature.size(), 128u);

    Bytes digest;
    ASSERT_EQ(hash->GetValue(digest), error::kOk);
    Bytes digestInfo = DigestInfoPrefix(c.algId);
    digestInfo.insert(digestInfo.end(), digest.begin(), digest.end());
    // The tool takes at most 64 bytes of input to sign; longer DigestInfos
    // (SHA-384, SHA-512) are given as their digest with the algorithm named.
    const Bytes standard =
        digestInfo.size() <= 64 ? OpenSslSignature(digestInfo) : OpenSslSignature(digest, c.name);
    ASSERT_EQ(standard.size(), 128u);
    EXPECT_EQ(Reversed(signature), standard);

    // Our verification takes the peer's signature in the platform's order.
    EXPECT_EQ(VerifySignature(*hash, Reversed(standard), publicKey_), error::kOk);
    // The same bytes in the standard order do not verify.
    EXPECT_EQ(VerifySignature(*hash, standard, publicKey_), error::kBadSignature);
  }
}

TEST_F(RsaSignatureTest, VerificationRejectsOtherDataAlgorithmsAndLengths) {
  auto hash = HashOf(kCalgSha1, "amount 100.00");
  Bytes signature;
  ASSERT_EQ(SignHash(*hash, *container_, kAtSignature, signature), error::kOk);
  // Signing again (as a size query followed by the signature would) gives the same bytes.
  Bytes again;
  ASSERT_EQ(SignHash(*hash, *container_, kAtSignature, again), error::kOk);
  EXPECT_EQ(again, signature);
  EXPECT_EQ(VerifySignature(*hash, signature, publicKey_), error::kOk);

  EXPECT_EQ(VerifySignature(*HashOf(kCalgSha1, "amount 900.00"), signature, publicKey_),
            error::kBadSignature);
  // Same data, another digest algorithm: the DigestInfo differs.
  EXPECT_EQ(VerifySignature(*HashOf(kCalgSha256, "amount 100.00"), signature, publicKey_),
            error::kBadSignature);
  Bytes flipped = signature;
  flipped[5] ^= 0x40;
  EXPECT_EQ(VerifySignature(*hash, flipped, publicKey_), error::kBadSignature);
  Bytes shorter(signature.begin(), signature.end() - 1);
  EXPECT_EQ(VerifySignature(*hash, shorter, publicKey_), error::kBadSignature);
  Bytes longer = signature;
  longer.push_back(0);
  EXPECT_EQ(VerifySignature(*hash, longer, publicKey_), error::kBadSignature);
  EXPECT_EQ(VerifySignature(*hash, {}, publicKey_), error::kBadSignature);

  EvpPkeyPtr otherKey = testing::MakeRsaKey(1024);
  EXPECT_EQ(VerifySignature(*hash, signature, SharedKey(otherKey.get())), error::kBadSignature);
}

TEST_F(RsaSignatureTest, SigningNeedsAKeyOfTheRequestedSpecificationThatCanHoldTheDigest) {
  auto hash = HashOf(kCalgSha512, "x");
  Bytes signature{1, 2, 3};
  EXPECT_EQ(SignHash(*hash, *container_, kAtKeyExchange, signature), error::kNoKey);
  EXPECT_TRUE(signature.empty());
  EXPECT_EQ(SignHash(*hash, *container_, 3, signature), error::kInvalidArgument);

  std::unique_ptr<KeyContainer> verifyOnly;
  ASSERT_EQ(KeyContainer::Acquire(std::nullopt, kMsEnhancedProvider, kProvRsaFull,
                                  kCryptVerifyContext, verifyOnly),
            error::kOk);
  EXPECT_EQ(SignHash(*hash, *verifyOnly, kAtSignature, signature), error::kNoKey);

  // A 512-bit modulus (64 bytes) cannot hold SHA-512's 83-byte DigestInfo...
  EvpPkeyPtr small = testing::MakeRsaKey(512);
  ASSERT_EQ(container_->ImportKey(kAtKeyExchange, SharedKey(small.get())), error::kOk);
  EXPECT_EQ(SignHash(*hash, *container_, kAtKeyExchange, signature), error::kBadData);
  // ...but holds SHA-1's 35 bytes.
  ASSERT_EQ(SignHash(*HashOf(kCalgSha1, "x"), *container_, kAtKeyExchange, signature), error::kOk);
  EXPECT_EQ(signature.size(), 64u);

  EvpPkeyPtr ec(EVP_EC_gen("P-256"));
  ASSERT_TRUE(ec);
  EXPECT_EQ(SignHashWithKey(*hash, SharedKey(ec.get()), signature), error::kBadData);
  EXPECT_EQ(VerifySignature(*hash, Bytes(64, 1), SharedKey(ec.get())), error::kBadData);
}

TEST_F(RsaSignatureTest, ImportsOnlyWellFormedRsaPublicKeys) {
  Key fromCertificate;
  std::shared_ptr<const Certificate> parsed;
  ASSERT_EQ(Certificate::FromDer(certificate_, parsed), error::kOk);
  ASSERT_EQ(ImportPublicKeyInfo(*parsed, fromCertificate), error::kOk);
  EXPECT_EQ(EVP_PKEY_eq(PkeyOf(fromCertificate), key_.get()), 1);
  EXPECT_EQ(EVP_PKEY_get_bits(PkeyOf(fromCertificate)), 1024);

  Bytes spki;
  ASSERT_TRUE(ToDer<i2d_PUBKEY>(key_.get(), spki));
  Key key;
  ASSERT_EQ(ImportPublicKeyInfo(spki, key), error::kOk);
  EXPECT_EQ(EVP_PKEY_eq(PkeyOf(key), key_.get()), 1);

  Bytes trailing = spki;
  trailing.push_back(0);
  EXPECT_EQ(ImportPublicKeyInfo(trailing, key), error::kBadData);
  EXPECT_FALSE(key);
  EXPECT_EQ(ImportPublicKeyInfo(Bytes(spki.begin(), spki.begin() + 40), key), error::kBadData);
  EXPECT_EQ(ImportPublicKeyInfo(Bytes{}, key), error::kBadData);
  EXPECT_EQ(ImportPublicKeyInfo(Bytes{0x30, 0x84, 0xff, 0xff, 0xff, 0xff}, key), error::kBadData);

  EvpPkeyPtr ec(EVP_EC_gen("P-256"));
  ASSERT_TRUE(ec);
  Bytes ecSpki;
  ASSERT_TRUE(ToDer<i2d_PUBKEY>(ec.get(), ecSpki));
  EXPECT_EQ(ImportPublicKeyInfo(ecSpki, key), error::kBadAlgId);
  EXPECT_FALSE(key);
}

}  // namespace
}  // namespace quorvel::platform
