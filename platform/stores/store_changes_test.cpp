// What the stores hand out after another connection to the home database (as
// another process would) changed certificates, properties, CRLs or keys: the
// next call sees the change, however often the stores were read before.
#include <gtest/gtest.h>

#include <functional>

#include "platform/certificates/test_certificates.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

constexpr uint32_t kMarkPropId = 0x8001;

class StoreChangesTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    key_ = testing::MakeRsaKey();
    ASSERT_EQ(CertStore::OpenSystemStore(kStoreMy, store_), error::kOk);
    for (const char* cn : {"first", "second"}) {
      testing::CertificateSpec spec;
      spec.subject = Name({Attr("2.5.4.3", cn)});
      const Bytes mark = {static_cast<uint8_t>(cn[0])};
      ASSERT_EQ(store_->AddCertificate(testing::MakeCertificate(spec, key_.get(), key_.get()),
                                       {{kMarkPropId, mark}}, AddDisposition::kNew, nullptr),
                error::kOk);
    }
    ASSERT_EQ(KeyContainer::Acquire(u"keys", kMsStrongProvider, kProvRsaFull, kCryptNewKeyset,
                                    container_),
              error::kOk);
    ASSERT_EQ(container_->ImportKey(kAtSignature, SharedKey(key_.get())), error::kOk);
    ASSERT_FALSE(Database::Open(home_ / kDatabaseFileName, other_));
  }

  // Runs `sql` with `parameters` through the other connection.
  template <typename... Parameters>
  void Change(const char* sql, const Parameters&... parameters) {
    ASSERT_FALSE(other_->Transact([&] {
      sqlite::Statement statement;
      if (const std::error_code ec = other_->Prepare(sql, statement, parameters...)) return ec;
      return statement.Run();
    })) << sql;
  }

  std::vector<CertContextRef> Certificates() {
    std::vector<CertContextRef> contexts;
    EXPECT_EQ(store_->Certificates(contexts), error::kOk);
    return contexts;
  }

  EvpPkeyPtr key_;
  std::unique_ptr<CertStore> store_;
  std::unique_ptr<KeyContainer> container_;
  std::unique_ptr<Database> other_;
};

TEST_F(StoreChangesTest, AnotherConnectionsChangeIsSeenByTheNextCall) {
  const EvpPkeyPtr replacement = testing::MakeRsaKey();
  Bytes replacementPkcs8;
  ASSERT_EQ(EncodePrivateKey(replacement.get(), replacementPkcs8), error::kOk);
  testing::CertificateSpec crlIssuer;
  crlIssuer.subject = Name({Attr("2.5.4.3", "crl issuer")});
  X509CrlPtr crl(X509_CRL_new());
  X509_CRL_set_issuer_name(crl.get(), testing::ParseX509Name(crlIssuer.subject).get());
  Asn1TimePtr thisUpdate(ASN1_TIME_new());
  ASSERT_EQ(ASN1_TIME_set_string_X509(thisUpdate.get(), "20240601000000Z"), 1);
  X509_CRL_set1_lastUpdate(crl.get(), thisUpdate.get());
  ASSERT_GT(X509_CRL_sign(crl.get(), key_.get(), EVP_sha256()), 0);
  unsigned char* crlDer = nullptr;
  const int crlLength = i2d_X509_CRL(crl.get(), &crlDer);
  ASSERT_GT(crlLength, 0);
  const Bytes crlBytes(crlDer, crlDer + crlLength);
  OPENSSL_free(crlDer);

  struct Case {
    const char* what;
    std::function<void()> change;
    std::function<void()> expectSeen;
  };
  const Case cases[] = {
      {"a certificate removed",
       [&] {
         Change("DELETE FROM store_certificate WHERE id = ?1", Certificates()[0]->storeEntry());
       },
       [&] {
         const auto contexts = Certificates();
         ASSERT_EQ(contexts.size(), 1u);
         EXPECT_EQ(contexts[0]->properties().at(kMarkPropId), Bytes{'s'});
       }},
      {"a property replaced",
       [&] {
         Change("UPDATE certificate_property SET value = ?1 WHERE property = ?2", Bytes{'x'},
                std::int64_t{kMarkPropId});
       },
       [&] {
         for (const CertContextRef& context : Certificates()) {
           EXPECT_EQ(context->properties().at(kMarkPropId), Bytes{'x'});
         }
       }},
      {"a CRL added",
       [&] {
         Change("INSERT INTO store_crl (store, sha1, der) SELECT id, ?1, ?2 FROM cert_store",
                Bytes(20, 0x5A), crlBytes);
       },
       [&] {
         std::vector<StoredCrl> crls;
         ASSERT_EQ(store_->Crls(crls), error::kOk);
         ASSERT_EQ(crls.size(), 1u);
         EXPECT_EQ(crls[0].der, crlBytes);
         EXPECT_NE(crls[0].parsed, nullptr);
       }},
      {"a key replaced", [&] { Change("UPDATE container_key SET pkcs8 = ?1", replacementPkcs8); },
       [&] {
         Key key;
         ASSERT_EQ(container_->GetUserKey(kAtSignature, key), error::kOk);
         EXPECT_EQ(EVP_PKEY_eq(PkeyOf(key), replacement.get()), 1);
       }},
      {"a key removed", [&] { Change("DELETE FROM container_key"); },
       [&] {
         Key key;
         EXPECT_EQ(container_->GetUserKey(kAtSignature, key), error::kNoKey);
       }},
      {"the container removed", [&] { Change("DELETE FROM key_container"); },
       [&] {
         std::unique_ptr<KeyContainer> gone;
         EXPECT_EQ(KeyContainer::Acquire(u"keys", kMsStrongProvider, kProvRsaFull, 0, gone),
                   error::kBadKeyset);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Read twice first, so that whatever is kept from reading is in place.
    for (int i = 0; i < 2; ++i) {
      Certificates();
      std::vector<StoredCrl> crls;
      EXPECT_EQ(store_->Crls(crls), error::kOk);
      Key key;
      static_cast<void>(container_->GetUserKey(kAtSignature, key));
    }
    c.change();
    c.expectSeen();
  }
}

TEST_F(StoreChangesTest, OwnChangesAndRolledBackOnesAreSeenAsTheyEnd) {
  ASSERT_EQ(Certificates().size(), 2u);
  testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.3", "third")});
  const Bytes third = testing::MakeCertificate(spec, key_.get(), key_.get());
  ASSERT_EQ(store_->AddCertificate(third, {}, AddDisposition::kNew, nullptr), error::kOk);
  EXPECT_EQ(Certificates().size(), 3u);

  std::shared_ptr<Database> database;
  ASSERT_FALSE(SharedDatabase(database));
  const std::error_code failure = std::make_error_code(std::errc::operation_canceled);
  EXPECT_EQ(database->Transact([&]() -> std::error_code {
    EXPECT_EQ(store_->DeleteCertificate(Certificates()[0]), error::kOk);
    EXPECT_EQ(Certificates().size(), 2u) << "inside the transaction";
    return failure;
  }),
            failure);
  EXPECT_EQ(Certificates().size(), 3u) << "after the rollback";
}

}  // namespace
}  // namespace quorvel::platform
