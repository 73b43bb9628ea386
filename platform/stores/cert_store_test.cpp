#include "platform/stores/cert_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/certificates/name_string.h"
#include "platform/certificates/test_certificates.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/home.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

class CertStoreTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    key_ = testing::MakeRsaKey();
  }

  Bytes Make(std::string_view cn, Bytes serial = {0x01},
             std::string_view issuerCn = "ZuvirOrori Test CA") {
    testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.6", "CN", testing::kTagPrintable), Attr("2.5.4.3", cn)});
    spec.issuer = Name({Attr("2.5.4.10", "ZuvirOrori"), Attr("2.5.4.3", issuerCn)});
    spec.serial = std::move(serial);
    return testing::MakeCertificate(spec, key_.get(), key_.get());
  }

  std::unique_ptr<CertStore> Open(std::string_view name) {
    std::unique_ptr<CertStore> store;
    EXPECT_EQ(CertStore::OpenSystemStore(name, store), error::kOk);
    return store;
  }

  static std::vector<std::u16string> Subjects(CertStore& store) {
    std::vector<std::u16string> subjects;
    CertContextRef context;
    while (store.Enumerate(context, context) == error::kOk) {
      std::u16string text;
      EXPECT_EQ(NameToString(context->certificate().SubjectName(), kX500NameStr, text), error::kOk);
      subjects.push_back(text);
    }
    return subjects;
  }

  EvpPkeyPtr key_;
};

TEST_F(CertStoreTest, OpensSystemStoresWithoutRegardToCase) {
  auto my = Open("my");
  auto book = Open("addressbook");
  ASSERT_TRUE(my && book);
  EXPECT_EQ(my->name(), "MY");
  EXPECT_EQ(book->name(), "AddressBOOK");
  ASSERT_EQ(my->AddCertificate(Make("a"), {}, AddDisposition::kNew, nullptr), error::kOk);
  EXPECT_EQ(Subjects(*Open("My")).size(), 1u);
  EXPECT_TRUE(Subjects(*Open("ROOT")).empty());
  std::unique_ptr<CertStore> none;
  EXPECT_EQ(CertStore::OpenSystemStore("", none), error::kInvalidArgument);
}

TEST_F(CertStoreTest, KeepsInsertionOrderAcrossHandlesAndRemovals) {
  auto store = Open("CA");
  for (const char* cn : {"c", "a", "b"}) {
    ASSERT_EQ(store->AddCertificate(Make(cn), {}, AddDisposition::kNew, nullptr), error::kOk);
  }
  EXPECT_EQ(Subjects(*Open("CA")),
            (std::vector<std::u16string>{u"C=CN, CN=c", u"C=CN, CN=a", u"C=CN, CN=b"}));
  std::vector<CertContextRef> all;
  ASSERT_EQ(store->Certificates(all), error::kOk);
  ASSERT_EQ(store->DeleteCertificate(all[1]), error::kOk);
  EXPECT_EQ(store->DeleteCertificate(all[1]), error::kNotFound);
  ASSERT_EQ(store->AddCertificate(Make("d"), {}, AddDisposition::kNew, nullptr), error::kOk);
  EXPECT_EQ(Subjects(*store),
            (std::vector<std::u16string>{u"C=CN, CN=c", u"C=CN, CN=b", u"C=CN, CN=d"}));
}

TEST_F(CertStoreTest, AddDispositionsDecideAboutDuplicates) {
  auto store = Open("MY");
  const Bytes der = Make("dup");
  const Bytes property = {1, 2, 3};
  ASSERT_EQ(store->AddCertificate(der, {{20, property}}, AddDisposition::kNew, nullptr),
            error::kOk);
  EXPECT_EQ(store->AddCertificate(der, {}, AddDisposition::kNew, nullptr), error::kObjectExists);
  CertContextRef existing;
  ASSERT_EQ(store->AddCertificate(der, {}, AddDisposition::kUseExisting, &existing), error::kOk);
  EXPECT_EQ(existing->properties().at(20), property);
  CertContextRef replaced;
  ASSERT_EQ(store->AddCertificate(der, {}, AddDisposition::kReplaceExisting, &replaced),
            error::kOk);
  EXPECT_TRUE(replaced->properties().empty());
  EXPECT_EQ(Subjects(*store).size(), 1u);
  EXPECT_EQ(store->AddCertificate(Bytes{0x30, 0x00}, {}, AddDisposition::kNew, nullptr),
            error::kAsn1Corrupt);
}

TEST_F(CertStoreTest, SetsAndRemovesProperties) {
  auto store = Open("MY");
  CertContextRef context;
  ASSERT_EQ(store->AddCertificate(Make("p"), {}, AddDisposition::kNew, &context), error::kOk);
  KeyProvInfo info;
  EXPECT_EQ(context->GetKeyProvInfo(info), error::kNotFound);
  info.container = u"c1";
  info.provider = std::u16string(u"Microsoft Strong Cryptographic Provider");
  info.providerType = 1;
  info.keySpec = kAtKeyExchange;
  const Bytes encoded = info.Encode();
  CertContextRef updated;
  ASSERT_EQ(
      store->SetProperty(context, kKeyProvInfoPropId, std::span<const uint8_t>(encoded), &updated),
      error::kOk);
  KeyProvInfo read;
  ASSERT_EQ(updated->GetKeyProvInfo(read), error::kOk);
  EXPECT_EQ(read.container, u"c1");
  // The earlier context is a snapshot and keeps what it had.
  EXPECT_EQ(context->GetKeyProvInfo(read), error::kNotFound);
  ASSERT_EQ(store->SetProperty(updated, kKeyProvInfoPropId, std::nullopt, &updated), error::kOk);
  EXPECT_EQ(updated->GetKeyProvInfo(read), error::kNotFound);
  EXPECT_EQ(
      store->SetProperty(updated, kSha1HashPropId, std::span<const uint8_t>(encoded), nullptr),
      error::kInvalidArgument);
}

TEST_F(CertStoreTest, FindsBySubjectAndIssuerTextAndByEncodedIssuer) {
  auto store = Open("MY");
  ASSERT_EQ(store->AddCertificate(Make("Zhang San", {0x01}), {}, AddDisposition::kNew, nullptr),
            error::kOk);
  ASSERT_EQ(
      store->AddCertificate(Make("Li Si", {0x02}, "Other CA"), {}, AddDisposition::kNew, nullptr),
      error::kOk);
  ASSERT_EQ(store->AddCertificate(Make("zhang wei", {0x03}), {}, AddDisposition::kNew, nullptr),
            error::kOk);

  CertFind bySubject{FindType::kSubjectStr, u"ZHANG", {}};
  std::vector<std::u16string> found;
  CertContextRef context;
  while (store->Find(bySubject, context, context) == error::kOk) {
    std::u16string text;
    ASSERT_EQ(NameToString(context->certificate().SubjectName(), kSimpleNameStr, text), error::kOk);
    found.push_back(text);
  }
  EXPECT_EQ(found, (std::vector<std::u16string>{u"CN, Zhang San", u"CN, zhang wei"}));

  CertFind byIssuer{FindType::kIssuerStr, u"other ca", {}};
  ASSERT_EQ(store->Find(byIssuer, nullptr, context), error::kOk);
  EXPECT_EQ(context->certificate().SerialNumber(), Bytes{0x02});
  EXPECT_EQ(store->Find(byIssuer, context, context), error::kNotFound);

  // Keys are not part of the simple name string.
  EXPECT_EQ(store->Find({FindType::kSubjectStr, u"CN=", {}}, nullptr, context), error::kNotFound);

  const Bytes issuer = Name({Attr("2.5.4.10", "ZuvirOrori"), Attr("2.5.4.3", "Other CA")});
  ASSERT_EQ(store->Find({FindType::kIssuerName, {}, issuer}, nullptr, context), error::kOk);
  EXPECT_EQ(context->certificate().SerialNumber(), Bytes{0x02});
  // The same name with another string type is another encoding.
  const Bytes printable =
      Name({Attr("2.5.4.10", "ZuvirOrori", testing::kTagPrintable), Attr("2.5.4.3", "Other CA")});
  EXPECT_EQ(store->Find({FindType::kIssuerName, {}, printable}, nullptr, context),
            error::kNotFound);
}

TEST_F(CertStoreTest, KeepsCrlsPerStore) {
  auto store = Open("CA");
  // A minimal CRL signed by key_.
  OpenSslPtr<X509_CRL, X509_CRL_free> crl(X509_CRL_new_ex(CryptoLibrary(), nullptr));
  X509NamePtr issuer = testing::ParseX509Name(Name({Attr("2.5.4.3", "ZuvirOrori Test CA")}));
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), issuer.get());
  Asn1TimePtr now(ASN1_TIME_set(nullptr, 1700000000));
  X509_CRL_set1_lastUpdate(crl.get(), now.get());
  ASSERT_GT(X509_CRL_sign(crl.get(), key_.get(), EVP_sha256()), 0);
  Bytes bytes;
  ASSERT_TRUE(ToDer<i2d_X509_CRL>(crl.get(), bytes));

  ASSERT_EQ(store->AddCrl(bytes, AddDisposition::kNew), error::kOk);
  EXPECT_EQ(store->AddCrl(bytes, AddDisposition::kNew), error::kObjectExists);
  EXPECT_EQ(store->AddCrl(bytes, AddDisposition::kUseExisting), error::kOk);
  EXPECT_EQ(store->AddCrl(Make("not a crl"), AddDisposition::kNew), error::kAsn1Corrupt);
  std::vector<StoredCrl> crls;
  ASSERT_EQ(Open("ca")->Crls(crls), error::kOk);
  ASSERT_EQ(crls.size(), 1u);
  EXPECT_EQ(crls[0].der, bytes);
  std::vector<StoredCrl> none;
  ASSERT_EQ(Open("ROOT")->Crls(none), error::kOk);
  EXPECT_TRUE(none.empty());
  ASSERT_EQ(store->DeleteCrl(crls[0].entry), error::kOk);
  EXPECT_EQ(store->DeleteCrl(crls[0].entry), error::kNotFound);
}

TEST_F(CertStoreTest, HomeAndDatabaseArePrivate) {
  ASSERT_TRUE(Open("MY"));
  struct stat status {};
  ASSERT_EQ(::stat(home_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((home_ / "quorvel.db").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace quorvel::platform
