#include "certs/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certs/demo_home_test.h"
#include "certs/engine_certificate.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::certs {
namespace {

using nlohmann::json;
using platform::CertContextRef;
using List = std::vector<std::string>;
using testing::Stores;

class SelectionTest : public testing::DemoHomeTest {
 protected:
  CertContextRef ByDn(const Stores& stores, std::u16string_view dn, bool& anyMatched,
                      bool showOnNone = false) {
    return SelectCertByDN(stores.set(), dn, u"|", anyMatched, showOnNone, texts_);
  }
  ErrorNumber Engine(const Stores& stores, std::u16string_view dn, CertContextRef& found,
                     bool sign = false) {
    EngineCertRequest request;
    request.stores = stores.set();
    request.signatureKeyOnly = sign;
    request.dn = dn;
    request.separator = u"|";
    request.texts = &texts_;
    return SelectEngineCertificate(request, found);
  }
  CertContextRef BySerial(const Stores& stores, std::u16string_view serials,
                          std::u16string_view issuer = testing::kZazu) {
    return SelectCertBySerial(stores.set(), serials, issuer, texts_);
  }

  platform::ChooserTexts texts_ = testing::DefaultTexts();
};

TEST_F(SelectionTest, SeveralMatchesAreOfferedAndASingleOneIsTakenWithoutADialog) {
  Stores my = Open({"MY"});
  Answer({json::array({json{{"ok", 1}}})});
  bool anyMatched = false;
  EXPECT_EQ(Subject(ByDn(my, u"CN=Zhang", anyMatched)), "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  EXPECT_TRUE(anyMatched);
  std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(choosers[0]["rows"], json::parse(R"([["Zhang San", "ZAZU", "2049-12-31 23:59:59GMT"],
                            ["Zhang Wei", "ZAZU", "2049-12-31 23:59:59GMT"]])"));
  EXPECT_EQ(choosers[0]["answer"], "chosen");

  anyMatched = false;
  EXPECT_EQ(Subject(ByDn(my, u"CN=Zhang San", anyMatched)), "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_TRUE(anyMatched);
  // The Sign variant keeps only Zhang Wei's signature key: no dialog either.
  EXPECT_EQ(Subject(SelectSignCertByDN(my.set(), u"CN=Zhang", u"|", anyMatched, false, texts_)),
            "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  EXPECT_EQ(Choosers().size(), 1u);
}

TEST_F(SelectionTest, ADnWithoutSpacesMatchesTheSubjectsCommaSpaceForm) {
  Stores my = Open({"MY"});
  bool anyMatched = false;
  EXPECT_EQ(Subject(ByDn(my, u"CN=Zhang San,O=ZuvirOrori", anyMatched)),
            "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(NormalizeDN(u"CN=a,O=b, C=CN"), u"CN=a, O=b, C=CN");
  EXPECT_EQ(NormalizeDN(u"CN=a,,O=b"), u"CN=a, ,O=b");
  EXPECT_EQ(NormalizeDN(u"CN=a,"), u"CN=a, ");
  EXPECT_EQ(NormalizeDN(u""), u"");
}

TEST_F(SelectionTest, TheSecondAttemptReversesTheDn) {
  Stores my = Open({"MY"});
  bool anyMatched = false;
  EXPECT_EQ(ByDn(my, u"CN=Zhang Wei, O=ZuvirOrori", anyMatched), nullptr);
  EXPECT_FALSE(anyMatched);
  CertContextRef found;
  EXPECT_EQ(Engine(my, u"CN=Zhang Wei, O=ZuvirOrori", found), err::kOk);
  EXPECT_EQ(Subject(found), "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  EXPECT_TRUE(Choosers().empty());

  EXPECT_EQ(ReverseDN(u"CN=a,O=b,C=CN"), u"C=CN, O=b, CN=a");
  EXPECT_EQ(ReverseDN(u"CN=a, O=b, C=CN"), u"C=CN, O=b, CN=a");
  // Only one space after a comma goes; the separator is just text.
  EXPECT_EQ(ReverseDN(u"CN=a,  O=b|CN=c"), u" O=b|CN=c, CN=a");
  EXPECT_EQ(ReverseDN(u"CN=a"), u"CN=a");
}

TEST_F(SelectionTest, NamesAreCaseSensitive) {
  Stores my = Open({"MY"});
  bool anyMatched = false;
  EXPECT_EQ(ByDn(my, u"cn=Zhang San", anyMatched), nullptr);
  EXPECT_EQ(ByDn(my, u"CN=zhang san", anyMatched), nullptr);
  EXPECT_FALSE(anyMatched);
}

TEST_F(SelectionTest, AlternativesOfferEverySubjectAndAnEmptyOneMatchesAll) {
  Stores my = Open({"MY"});
  Answer({json::array({"cancel"}), json::array({"cancel"})});
  bool anyMatched = false;
  EXPECT_EQ(ByDn(my, u"CN=Zhang San|CN=李四", anyMatched), nullptr);
  EXPECT_EQ(ByDn(my, u"CN=Zhang San|", anyMatched), nullptr);
  std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 2u);
  EXPECT_EQ(Names(choosers[0]["rows"]), (List{"Zhang San", "李四"}));
  // Every certificate of "MY" with a private key: all but the No Key Holder.
  EXPECT_EQ(Names(choosers[1]["rows"]),
            (List{"Zhang San", "Zhang Wei", "张三丰", "李四", "Legacy Key 1024", "Expired User",
                  "Revoked User", "Orphan User"}));
  EXPECT_EQ(choosers[1]["answer"], "cancelled");
}

TEST_F(SelectionTest, ThePrivateKeyFilterAppliesOnlyToAOneStoreSearch) {
  Stores my = Open({"MY"});
  bool anyMatched = false;
  EXPECT_EQ(ByDn(my, u"CN=No Key Holder", anyMatched), nullptr);
  EXPECT_FALSE(anyMatched);

  // The same certificate in "CA" is offered by the search over three stores.
  Stores others = Open({"CA", "ROOT", "AddressBOOK"});
  ASSERT_EQ(others[0].AddCertificate(Find(my[0], u"No Key Holder")->certificate().Der(), {},
                                     platform::AddDisposition::kNew, nullptr),
            platform::error::kOk);
  EXPECT_EQ(Subject(ByDn(others, u"CN=No Key Holder", anyMatched)),
            "C=CN, O=ZuvirOrori, CN=No Key Holder");
  EXPECT_EQ(Subject(ByDn(others, u"CN=Recipient Two", anyMatched)),
            "C=CN, O=Partner Bank, CN=Recipient Two");
  EXPECT_TRUE(Choosers().empty());
}

TEST_F(SelectionTest, ACancelledChooserEndsTheSearchWithoutASecondAttempt) {
  Stores my = Open({"MY"});
  Answer({json::array({"cancel"}), json::array({json{{"ok", 0}}})});
  CertContextRef found;
  EXPECT_EQ(Engine(my, u"CN=Zhang", found), err::kNoCertificate);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(Choosers().size(), 1u);
}

TEST_F(SelectionTest, WithoutAnyMatchTheSecondAttemptShowsAnEmptyChooser) {
  Stores my = Open({"MY"});
  CertContextRef found;
  EXPECT_EQ(Engine(my, u"CN=Nobody, O=Nowhere", found), err::kNoCertificate);
  std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(choosers[0]["rows"], json::array());
  EXPECT_EQ(choosers[0]["answer"], "cancelled");
  // Even OK chooses nothing from an empty list.
  Answer({json::array({"ok", "cancel"})});
  EXPECT_EQ(Engine(my, u"CN=Nobody", found), err::kNoCertificate);
  choosers = Choosers();
  ASSERT_EQ(choosers.size(), 2u);
  EXPECT_EQ(choosers[1]["steps"][0]["message"], "No certificate selected.");
}

TEST_F(SelectionTest, InServerModeTheFirstMatchIsTakenWithoutFilterOrDialog) {
  Stores my = Open({"MY"});
  EngineCertRequest request{my.set(), true, true, u"CN=Zhang", u"|", &texts_};
  CertContextRef found;
  EXPECT_EQ(SelectEngineCertificate(request, found), err::kOk);
  EXPECT_EQ(Subject(found), "CN=Zhang San, O=ZuvirOrori, C=CN");
  request.dn = u"CN=No Key Holder";
  EXPECT_EQ(SelectEngineCertificate(request, found), err::kOk);
  EXPECT_EQ(Subject(found), "C=CN, O=ZuvirOrori, CN=No Key Holder");
  request.dn = u"CN=Zhang Wei, O=ZuvirOrori";  // no reversed attempt in server mode
  EXPECT_EQ(SelectEngineCertificate(request, found), err::kNoCertificate);
  EXPECT_TRUE(Choosers().empty());
}

TEST_F(SelectionTest, ChooseAnyCertAlwaysShowsTheChooser) {
  Stores my = Open({"MY"});
  std::vector<CertContextRef> all;
  ASSERT_EQ(my[0].Certificates(all), platform::error::kOk);
  for (const CertContextRef& context : all) {
    if (SubjectText(context) != u"CN=Zhang San, O=ZuvirOrori, C=CN") {
      ASSERT_EQ(my[0].DeleteCertificate(context), platform::error::kOk);
    }
  }
  Answer({json::array({json{{"ok", 0}}})});
  CertContextRef found;
  EXPECT_EQ(Engine(my, u"", found), err::kOk);
  EXPECT_EQ(Subject(found), "CN=Zhang San, O=ZuvirOrori, C=CN");
  std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(Names(choosers[0]["rows"]), List{"Zhang San"});
  // Its signature-key variant finds nothing (Zhang San's key is an exchange key)
  // and still asks.
  EXPECT_EQ(Engine(my, u"", found, true), err::kNoCertificate);
  ASSERT_EQ(Choosers().size(), 2u);
  EXPECT_EQ(Choosers()[1]["rows"], json::array());
}

TEST_F(SelectionTest, ChooseAnyCertOverSeveralStoresOffersEveryCertificateInOrder) {
  Stores others = Open({"CA", "ROOT", "AddressBOOK"});
  Answer({json::array({json{{"ok", 1}}})});
  EXPECT_EQ(Subject(ChooseAnyCert(others.set(), texts_)),
            "C=CN, O=ZuvirOrori, CN=ZuvirOrori Root CA");
  std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(Names(choosers[0]["rows"]),
            (List{"ZAZU", "ZuvirOrori Root CA", "Recipient One", "Recipient Two"}));
  EXPECT_EQ(ChooseAnyCert(StoreSet{}, texts_), nullptr);
}

TEST_F(SelectionTest, AChoiceAfterSortingNamesTheCandidateOnThatRow) {
  Stores my = Open({"MY"});
  // Subject ascending, then (one flag for all columns) descending: 李四 first.
  Answer({json::array({json{{"sort", 0}}, json{{"sort", 0}}, json{{"ok", 0}}})});
  bool anyMatched = false;
  EXPECT_EQ(Subject(ByDn(my, u"CN=Zhang San|CN=李四", anyMatched)), "C=CN, O=ZuvirOrori, CN=李四");
  const std::vector<json> choosers = Choosers();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(Names(choosers[0]["steps"][0]["rows"]), (List{"Zhang San", "李四"}));
  EXPECT_EQ(Names(choosers[0]["steps"][1]["rows"]), (List{"李四", "Zhang San"}));
}

TEST_F(SelectionTest, AnUnreadableKeySpecificationEndsASignSelection) {
  Stores my = Open({"MY"});
  const CertContextRef orphan = Find(my[0], u"Orphan User");
  const uint8_t garbage[] = {0x01, 0x02, 0x03};
  ASSERT_EQ(my[0].SetProperty(orphan, platform::kKeyProvInfoPropId, std::span(garbage), nullptr),
            platform::error::kOk);
  uint32_t keySpec = 0;
  EXPECT_EQ(GetKeySpec(*Find(my[0], u"Orphan User"), keySpec), err::kCertProperty);
  EXPECT_EQ(GetKeySpec(*Find(my[0], u"Zhang Wei"), keySpec), err::kOk);
  EXPECT_EQ(keySpec, platform::kAtSignature);
  keySpec = 7;
  EXPECT_EQ(GetKeySpec(*Find(my[0], u"No Key Holder"), keySpec), err::kOk);
  EXPECT_EQ(keySpec, 7u);
  EXPECT_FALSE(HasPrivateKey(*Find(my[0], u"No Key Holder")));
  EXPECT_TRUE(HasPrivateKey(*Find(my[0], u"Zhang San")));

  bool anyMatched = false;
  EXPECT_EQ(SelectSignCertByDN(my.set(), u"CN=Zhang Wei", u"|", anyMatched, false, texts_),
            nullptr);
  EXPECT_FALSE(anyMatched);
  EXPECT_EQ(ChooseAnySignCert(my.set(), texts_), nullptr);
  EXPECT_TRUE(Choosers().empty());
}

TEST_F(SelectionTest, SerialNumbersAreComparedAsIntegersWithTheExactIssuer) {
  Stores my = Open({"MY"});
  const std::string zhangSan = "CN=Zhang San, O=ZuvirOrori, C=CN";
  const std::string zhangWei = "C=CN, O=ZuvirOrori, CN=Zhang Wei";
  EXPECT_EQ(Subject(BySerial(my, u"1001")), zhangSan);
  EXPECT_EQ(Subject(BySerial(my, u"001001")), zhangSan);
  EXPECT_EQ(Subject(BySerial(my, u"009A314402")), zhangWei);
  EXPECT_EQ(Subject(BySerial(my, u"009a314402")), zhangWei);
  // Integers are signed: without its leading 00 the value is negative.
  EXPECT_EQ(BySerial(my, u"9A314402"), nullptr);
  EXPECT_EQ(BySerial(my, u"01001"), nullptr);         // odd length: skipped
  EXPECT_EQ(BySerial(my, u"1G01"), nullptr);          // not hexadecimal: dropped
  EXPECT_EQ(BySerial(my, u"009A 3144 02"), nullptr);  // the display form is three numbers
  // The issuer must match exactly, letter case included.
  EXPECT_EQ(BySerial(my, u"1G01 01001  1001", u"O=ZuvirOrori, OU=config, CN=zazu"), nullptr);
  EXPECT_EQ(Subject(BySerial(my, u"1G01 01001  1001")), zhangSan);
  EXPECT_EQ(Subject(BySerial(my, u"1001", u"O=ZuvirOrori,OU=config,CN=ZAZU")), zhangSan);
  EXPECT_EQ(BySerial(my, u""), nullptr);
  EXPECT_TRUE(Choosers().empty());
}

TEST_F(SelectionTest, SeveralSerialMatchesAreOfferedAndTheSignVariantFilters) {
  Stores my = Open({"MY"});
  Answer({json::array({json{{"ok", 1}}})});
  EXPECT_EQ(Subject(BySerial(my, u"1001 1004")), "C=CN, O=ZuvirOrori, CN=李四");
  ASSERT_EQ(Choosers().size(), 1u);
  EXPECT_EQ(Names(Choosers()[0]["rows"]), (List{"Zhang San", "李四"}));
  EXPECT_EQ(Subject(SelectSignCertBySerial(my.set(), u"1001 1004", testing::kZazu, texts_)),
            "C=CN, O=ZuvirOrori, CN=李四");
  EXPECT_EQ(Choosers().size(), 1u);
}

TEST_F(SelectionTest, OnlyTheFirstTwentyValidSerialNumbersAreCompared) {
  Stores my = Open({"MY"});
  std::u16string twenty;
  for (int i = 0; i < 20; ++i) twenty += u"0F ";
  EXPECT_EQ(BySerial(my, twenty + u"1001"), nullptr);
  EXPECT_EQ(Subject(BySerial(my, u"ZZ 0 " + twenty.substr(3) + u"1001")),
            "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(ParseSerialList(twenty + u"1001").size(), kMaxSerialValues);
  EXPECT_EQ(ParseSerialList(u"0A1B"), (std::vector<platform::Bytes>{{0x1B, 0x0A}}));
}

TEST_F(SelectionTest, TheSerialProtocolTriesTheReversedIssuer) {
  Stores my = Open({"MY"});
  CertContextRef found;
  EXPECT_EQ(SelectEngineCertificateBySerial(my.set(), false, u"1004",
                                            u"CN=ZAZU, OU=config, O=ZuvirOrori", texts_, found),
            err::kOk);
  EXPECT_EQ(Subject(found), "C=CN, O=ZuvirOrori, CN=李四");
  EXPECT_EQ(SelectEngineCertificateBySerial(my.set(), false, u"1004", u"CN=ZAZU", texts_, found),
            err::kNoCertificate);
  EXPECT_EQ(found, nullptr);
}

TEST_F(SelectionTest, ExactDnLookupNormalisesButNeverMatchesAPart) {
  Stores my = Open({"MY"});
  const std::u16string dn = u"CN=Zhang San,O=ZuvirOrori,C=CN";
  EXPECT_EQ(Subject(FindCertByExactDN(my.set(), dn, dn.size())),
            "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(FindCertByExactDN(my.set(), u"CN=Zhang San, O=ZuvirOrori", 26), nullptr);
  EXPECT_EQ(FindCertByExactDN(my.set(), u"CN=Zhang San, O=ZuvirOrori, C=cn", 32), nullptr);
  const std::u16string chinese = u"C=CN, O=ZuvirOrori, CN=张三丰";
  EXPECT_EQ(Subject(FindCertByExactDN(my.set(), chinese, chinese.size())),
            "C=CN, O=ZuvirOrori, CN=张三丰");
  EXPECT_EQ(FindFirstCertByDN(StoreSet{}, u"CN=Zhang", u"|"), nullptr);
}

}  // namespace
}  // namespace quorvel::certs
