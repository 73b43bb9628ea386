// The certificate queries as a page drives them: through `quorvel host
// --stdio`, over a copy of the demo PKI home.
#include <filesystem>
#include <string>
#include <vector>

#include "tools/host_session_fixture.h"

namespace quorvel::tools {
namespace {

using Call = std::pair<std::string, json>;

constexpr const char* kZazu = "O=ZuvirOrori, OU=config, CN=ZAZU";
constexpr const char* kElsewhereCa = "C=CN, O=Elsewhere, CN=Elsewhere CA";
constexpr const char* kRoot = "C=CN, O=ZuvirOrori, CN=ZuvirOrori Root CA";
constexpr const char* kZhangSan = "CN=Zhang San, O=ZuvirOrori, C=CN";
constexpr const char* kZhangWei = "C=CN, O=ZuvirOrori, CN=Zhang Wei";

constexpr const char* kBasicConstraints = "2.5.29.19";
constexpr const char* kKeyUsage = "2.5.29.15";
constexpr const char* kCrlDistribution = "2.5.29.31";

// The personal certificates ZAZU issued, in store order.
const std::vector<std::string> kZazuSubjects = {
    "CN=Zhang San, O=ZuvirOrori, C=CN",       "C=CN, O=ZuvirOrori, CN=Zhang Wei",
    "C=CN, O=ZuvirOrori, CN=张三丰",          "C=CN, O=ZuvirOrori, CN=李四",
    "C=CN, O=ZuvirOrori, CN=Legacy Key 1024", "C=CN, O=ZuvirOrori, CN=Expired User",
    "C=CN, O=ZuvirOrori, CN=Revoked User",    "C=CN, O=ZuvirOrori, CN=No Key Holder"};

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ";") + part;
  return text;
}

// A DN with `commas` commas, short enough to pass the length rule.
std::string DnWithCommas(size_t commas) {
  std::string dn = "CN=a";
  for (size_t i = 0; i < commas; ++i) dn += ",O=b";
  return dn;
}

class HostCertUtilitiesTest : public HostSessionTest {
 protected:
  void SetUp() override {
    HostSessionTest::SetUp();
    std::filesystem::copy(QUORVEL_DEMO_HOME, root_ / "home",
                          std::filesystem::copy_options::recursive);
  }

  static json Value(const json& response) { return response["result"]["value"]; }
  static int Status(const json& response) { return response["result"]["status"].get<int>(); }

  static Call Extension(const std::string& dn, const std::string& oid) {
    return Invoke("QVGetCertExtension", {dn, oid});
  }
  static Call Exists(const std::string& dn) { return Invoke("IsCertExists", {dn}); }
  static Call Enumerate(const std::string& issuers) {
    return Invoke("QVEnumCertsDNByIssers", {issuers});
  }

  // One call with its errorNum and errMsg after it.
  struct Outcome {
    int status;
    json value;
    int errorNum;
    std::string errMsg;
  };
  Outcome Ask(const Call& call) {
    const std::vector<json> r = Session({call, ErrorNum(), ErrMsg()});
    return {Status(r[0]), Value(r[0]), Value(r[1]).get<int>(),
            Value(r[2]).is_string() ? Value(r[2]).get<std::string>() : std::string()};
  }
};

TEST_F(HostCertUtilitiesTest, ExtensionsAreReadFromEveryStoreAsSingleLineText) {
  const std::vector<json> r = Session({
      Extension(kRoot, kBasicConstraints),
      Extension(kZazu, kKeyUsage),
      Extension(kZhangSan, kKeyUsage),
      Extension(kZhangWei, kKeyUsage),
      Extension(kZhangSan, kBasicConstraints),
      Extension("C=CN, O=Partner Bank, CN=Recipient One", kCrlDistribution),
      ErrorNum(),
      ErrMsg(),
  });
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Status(r[i]), 0) << r[i];
  EXPECT_EQ(Value(r[0]), "Subject Type=CA, Path Length Constraint=None");
  EXPECT_EQ(Value(r[1]), "Certificate Signing, Off-line CRL Signing, CRL Signing (06)");
  EXPECT_EQ(Value(r[2]), "Digital Signature, Key Encipherment, Data Encipherment (b0)");
  EXPECT_EQ(Value(r[3]), "Digital Signature, Non-Repudiation (c0)");
  EXPECT_EQ(Value(r[4]), "Subject Type=End Entity, Path Length Constraint=None");
  EXPECT_EQ(Value(r[5]),
            "[1]CRL Distribution Point: Distribution Point Name: Full Name: "
            "URL=http://pki.zuvirorori.example/zazu.crl");
  EXPECT_EQ(Value(r[6]), 0);
  EXPECT_TRUE(Value(r[7]).is_null() || Value(r[7]) == "") << r[7];
}

TEST_F(HostCertUtilitiesTest, ExtensionDnMatchesExactlyInEitherOrderOfItsParts) {
  // Zhang Wei's subject reads C first; the DN written CN first is found by
  // the second lookup with the parts reversed.
  EXPECT_EQ(Ask(Extension("CN=Zhang Wei, O=ZuvirOrori, C=CN", kKeyUsage)).value,
            "Digital Signature, Non-Repudiation (c0)");
  // Missing spaces after commas are supplied before comparing.
  EXPECT_EQ(Ask(Extension("CN=Zhang San,O=ZuvirOrori,C=CN", kKeyUsage)).value,
            "Digital Signature, Key Encipherment, Data Encipherment (b0)");

  // A part of a subject, or a subject in other letter case, names no certificate.
  for (const char* dn : {"CN=Zhang San", "cn=Zhang San, O=ZuvirOrori, C=CN"}) {
    const Outcome outcome = Ask(Extension(dn, kKeyUsage));
    EXPECT_EQ(outcome.status, 1) << dn;
    EXPECT_EQ(outcome.value, "") << dn;
    EXPECT_EQ(outcome.errorNum, -10005) << dn;
    EXPECT_EQ(outcome.errMsg, "获取证书扩展失败") << dn;
  }
}

TEST_F(HostCertUtilitiesTest, ExtensionFailuresNameTheirCause) {
  struct Case {
    std::string dn;
    std::string oid;
    int number;
    std::string message;
  };
  const std::vector<Case> cases = {
      {kRoot, kCrlDistribution, -10026, "获取证书扩展失败"},  // the root has none
      {kZhangSan, "1.2.3.4", -10026, "获取证书扩展失败"},
      {"", kKeyUsage, -10001, "源数据为空"},
      {kZhangSan, "", -10001, "源数据为空"},
      {std::string(32769, 'a'), kKeyUsage, -10056, "DN太长"},
      {DnWithCommas(256), kKeyUsage, -10057, "DN验证失败"},
      // Not representable in the code page 936.
      {kZhangSan, "2.5.29.15\xF0\x9F\x98\x80", -10034, "编码转换失败"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Ask(Extension(c.dn, c.oid));
    EXPECT_EQ(outcome.status, 1) << c.oid;
    EXPECT_EQ(outcome.value, "") << c.oid;
    EXPECT_EQ(outcome.errorNum, c.number) << c.oid;
    EXPECT_EQ(outcome.errMsg, c.message) << c.oid;
  }
  // 255 commas still pass the DN check; the DN then names no certificate.
  EXPECT_EQ(Ask(Extension(DnWithCommas(255), kKeyUsage)).errorNum, -10005);
}

TEST_F(HostCertUtilitiesTest, ExistenceIsExactAndLimitedToPersonalCertificates) {
  struct Case {
    std::string dn;
    unsigned answer;
  };
  const std::vector<Case> cases = {
      {kZhangSan, 1},
      {"CN=Zhang San,O=ZuvirOrori,C=CN", 1},    // spaces supplied
      {"C=CN, O=ZuvirOrori, CN=Zhang San", 1},  // parts reversed
      {"C=CN,O=ZuvirOrori,CN=Zhang San", 1},    // both
      {"CN=Zhang San, O=zuvirorori, C=CN", 0},  // letter case differs
      {"CN=Zhang San", 0},                      // only a part of the subject
      {"C=CN, O=ZuvirOrori, CN=No Key Holder", 1},
      {"C=CN, O=Partner Bank, CN=Recipient One", 0},  // in AddressBOOK, not MY
      {kZazu, 0},                                     // in CA
  };
  for (const Case& c : cases) {
    const Outcome outcome = Ask(Exists(c.dn));
    EXPECT_EQ(outcome.status, 0) << c.dn;
    EXPECT_EQ(outcome.value, c.answer) << c.dn;
    EXPECT_EQ(outcome.errorNum, 0) << c.dn;
    EXPECT_EQ(outcome.errMsg, "") << c.dn;
  }
}

TEST_F(HostCertUtilitiesTest, ExistenceReportsBadDnsWithStatusZeroAndAnswerZero) {
  struct Case {
    std::string dn;
    int number;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", -10001, "设置的DN数据为空"},
      {std::string(32769, 'a'), -10056, "设置的DN数据太长"},
      {DnWithCommas(256), -10057, "DN验证失败"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Ask(Exists(c.dn));
    EXPECT_EQ(outcome.status, 0) << c.number;
    EXPECT_EQ(outcome.value, 0) << c.number;
    EXPECT_EQ(outcome.errorNum, c.number);
    EXPECT_EQ(outcome.errMsg, c.message);
  }
  // The next successful call clears the report.
  const std::vector<json> r = Session({Exists(""), Exists(kZhangSan), ErrorNum(), ErrMsg()});
  EXPECT_EQ(Value(r[1]), 1);
  EXPECT_EQ(Value(r[2]), 0);
  EXPECT_TRUE(Value(r[3]).is_null() || Value(r[3]) == "") << r[3];
}

TEST_F(HostCertUtilitiesTest, SubjectsAreListedByExactIssuerInIssuerOrder) {
  EXPECT_EQ(Ask(Enumerate(kZazu)).value, Joined(kZazuSubjects));
  EXPECT_EQ(Ask(Enumerate("O=ZuvirOrori,OU=config,CN=ZAZU")).value, Joined(kZazuSubjects));

  std::vector<std::string> both = {"C=CN, O=Elsewhere, CN=Orphan User"};
  both.insert(both.end(), kZazuSubjects.begin(), kZazuSubjects.end());
  const std::string pair = std::string(kElsewhereCa) + ";" + kZazu;
  const Outcome outcome = Ask(Enumerate(pair));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.value, Joined(both));
  EXPECT_EQ(outcome.errorNum, 0);
  EXPECT_EQ(outcome.errMsg, "");

  // Empty pieces name no issuer.
  EXPECT_EQ(Ask(Enumerate(pair + ";")).value, Joined(both));
  EXPECT_EQ(Ask(Enumerate(";;" + pair + ";;")).value, Joined(both));
  // An issuer given twice lists its certificates twice.
  EXPECT_EQ(Ask(Enumerate(std::string(kElsewhereCa) + ";" + kElsewhereCa)).value,
            "C=CN, O=Elsewhere, CN=Orphan User;C=CN, O=Elsewhere, CN=Orphan User");
}

TEST_F(HostCertUtilitiesTest, AListAsLongAsAllowedKeepsOrderAndDuplicates) {
  // Real issuers, one written without spaces, around pieces that name no
  // issuer, up to the longest text the member takes.
  const std::string head = std::string(kElsewhereCa) + ";O=ZuvirOrori,OU=config,CN=ZAZU;";
  const std::string tail = std::string(kZazu) + ";" + kElsewhereCa;
  std::string issuers = head;
  while (issuers.size() + 2 + tail.size() <= 32768) issuers += "a;";
  issuers += tail;
  ASSERT_GT(issuers.size(), 32760u);

  std::vector<std::string> expected = {"C=CN, O=Elsewhere, CN=Orphan User"};
  for (int copy = 0; copy < 2; ++copy) {
    expected.insert(expected.end(), kZazuSubjects.begin(), kZazuSubjects.end());
  }
  expected.push_back("C=CN, O=Elsewhere, CN=Orphan User");
  const Outcome outcome = Ask(Enumerate(issuers));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.value, Joined(expected));
  EXPECT_EQ(outcome.errorNum, 0);
}

TEST_F(HostCertUtilitiesTest, IssuersWithoutPersonalCertificatesListNothing) {
  for (const std::string& issuers :
       {std::string(kRoot),                               // issued only ZAZU, which is in CA
        std::string("o=zuvirorori, ou=config, cn=zazu"),  // letter case differs
        std::string("OU=config, CN=ZAZU"),                // only a part of the issuer
        std::string("CN=Nobody"), std::string(";")}) {
    const Outcome outcome = Ask(Enumerate(issuers));
    EXPECT_EQ(outcome.status, 0) << issuers;
    EXPECT_EQ(outcome.value, "") << issuers;
    EXPECT_EQ(outcome.errorNum, 0) << issuers;
    EXPECT_EQ(outcome.errMsg, "") << issuers;
  }
}

TEST_F(HostCertUtilitiesTest, EnumerationRefusesBadIssuerText) {
  struct Case {
    std::string issuers;
    int number;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", -10001, "DN为空"},
      {std::string(32769, 'a'), -10056, "DN太长"},
      {DnWithCommas(256), -10057, "DN验证失败"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Ask(Enumerate(c.issuers));
    EXPECT_EQ(outcome.status, 1) << c.number;
    EXPECT_EQ(outcome.value, "") << c.number;
    EXPECT_EQ(outcome.errorNum, c.number);
    EXPECT_EQ(outcome.errMsg, c.message);
  }
}

}  // namespace
}  // namespace quorvel::tools
