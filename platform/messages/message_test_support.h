// Test support for the message functions: a small PKI of a root and end
// entities whose keys sit in key containers and whose certificates sit in
// "MY" with key-provider properties, files for the `openssl` tool, and a way
// to run that tool as the peer of the message functions.
#pragma once

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/certificates/test_certificates.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "tests/temporary_home.h"

namespace quorvel::platform::testing {

inline constexpr std::string_view kSha1Oid = "1.3.14.3.2.26";
inline constexpr std::string_view kSha256Oid = "2.16.840.1.101.3.4.2.1";
inline constexpr std::string_view kRc4Oid = "1.2.840.113549.3.4";
inline constexpr std::string_view k3DesOid = "1.2.840.113549.3.7";
inline constexpr std::string_view kAes128Oid = "2.16.840.1.101.3.4.1.2";
inline constexpr std::string_view kAes256Oid = "2.16.840.1.101.3.4.1.42";

inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// A key and the certificate issued for it.
struct Identity {
  EvpPkeyPtr key;
  Bytes der;
  CertContextRef context;  // as "MY" holds it, or a context of no store
};

class MessageTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    work_ = root_ / "work";
    std::filesystem::create_directories(work_);
    ca_.key = MakeRsaKey();
    CertificateSpec spec;
    spec.subject = RootName();
    spec.serial = {0x10};
    spec.extensions = {{"basicConstraints", "critical,CA:TRUE"},
                       {"keyUsage", "critical,keyCertSign,cRLSign"}};
    ca_.der = MakeCertificate(spec, ca_.key.get(), ca_.key.get());
    ASSERT_EQ(CreateCertificateContext(ca_.der, ca_.context), error::kOk);
    ASSERT_EQ(CertStore::OpenSystemStore(kStoreMy, my_), error::kOk);
    alice_ = Issue("Alice", {0x00, 0x9A, 0x01}, u"alice-keys", kAtSignature);
    bob_ = Issue("Bob", {0x42}, u"bob-keys", kAtKeyExchange);
  }

  // An end-entity certificate for a new key, issued by the root. With a
  // container name, the key goes into that container under `keySpec` and the
  // certificate into "MY" with the key-provider property naming it.
  Identity Issue(std::string_view commonName, Bytes serial, std::optional<std::u16string> container,
                 uint32_t keySpec = kAtKeyExchange) {
    Identity identity;
    identity.key = MakeRsaKey();
    CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.6", "CN", kTagPrintable), Attr("2.5.4.10", "Quorvel Test"),
                         Attr("2.5.4.3", commonName)});
    spec.issuer = RootName();
    spec.serial = std::move(serial);
    spec.extensions = {{"keyUsage", "critical,digitalSignature,nonRepudiation,keyEncipherment"},
                       {"subjectKeyIdentifier", "hash"}};
    identity.der = MakeCertificate(spec, identity.key.get(), ca_.key.get());
    if (!container) {
      EXPECT_EQ(CreateCertificateContext(identity.der, identity.context), error::kOk);
      return identity;
    }
    std::unique_ptr<KeyContainer> handle;
    EXPECT_EQ(KeyContainer::Acquire(*container, kMsEnhancedProvider, kProvRsaFull, kCryptNewKeyset,
                                    handle),
              error::kOk);
    if (!handle) return identity;
    EXPECT_EQ(handle->ImportKey(keySpec, SharedKey(identity.key.get())), error::kOk);
    const CertContext::Properties properties = {
        {kKeyProvInfoPropId, handle->ProvInfo(keySpec).Encode()}};
    EXPECT_EQ(
        my_->AddCertificate(identity.der, properties, AddDisposition::kNew, &identity.context),
        error::kOk);
    return identity;
  }

  static Bytes RootName() {
    return Name({Attr("2.5.4.6", "CN", kTagPrintable), Attr("2.5.4.10", "Quorvel Test"),
                 Attr("2.5.4.3", "Quorvel Test Root")});
  }

  std::filesystem::path Write(const std::string& name, std::span<const uint8_t> bytes) const {
    const std::filesystem::path path = work_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
  }

  Bytes Read(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path WriteCertificatePem(const std::string& name, const Bytes& der) const {
    const unsigned char* cursor = der.data();
    X509Ptr x509(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    BioPtr bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PEM_write_bio_X509(bio.get(), x509.get()), 1);
    return Write(name, MemoryContents(bio.get()));
  }

  std::filesystem::path WriteKeyPem(const std::string& name, EVP_PKEY* key) const {
    BioPtr bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), 1);
    return Write(name, MemoryContents(bio.get()));
  }

  // Runs /usr/bin/openssl with `arguments` in the work directory; true when it
  // exits with 0. Its output is kept for the failure message.
  bool Openssl(const std::vector<std::string>& arguments) {
    std::string command = "cd '" + work_.string() + "' && /usr/bin/openssl";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    const std::filesystem::path log = work_ / "openssl.log";
    command += " >'" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const Bytes output = Read(log);
    lastOutput_.assign(output.begin(), output.end());
    return status == 0;
  }

  static Bytes MemoryContents(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return Bytes(data, data + length);
  }

  std::filesystem::path work_;
  std::unique_ptr<CertStore> my_;
  Identity ca_;
  Identity alice_;  // signature key in "alice-keys"
  Identity bob_;    // exchange key in "bob-keys"
  std::string lastOutput_;
};

}  // namespace quorvel::platform::testing
