// NIST's Public Key Interoperability Test Suite (PKITS) through QVDetachedVerify.
//
// Each test's S/MIME message is verified over a fresh platform home holding the
// trust anchor in "ROOT" and the certificates and CRLs the message carries (all
// but the signer's own certificate) in "CA". A test agrees with PKITS when a
// path PKITS calls valid verifies and one it calls invalid does not; where the
// control's own rules give another result on purpose, the departure is listed
// with its result and reason.
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/control.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/text/base64.h"
#include "platform/text/code_page.h"
#include "tests/temporary_home.h"

namespace quorvel::control {
namespace {

const std::filesystem::path kPkits = QUORVEL_PKITS_DIR;

enum class Pkits { kValid, kInvalid };

struct Case {
  const char* number;  // in the PKITS document
  const char* name;    // the message is smime/Signed<name>.eml
  Pkits expected;
};

constexpr Pkits V = Pkits::kValid;
constexpr Pkits I = Pkits::kInvalid;

constexpr Case kCases[] = {
    // 4.1 signature verification
    {"4.1.1", "ValidSignaturesTest1", V},
    {"4.1.2", "InvalidCASignatureTest2", I},
    {"4.1.3", "InvalidEESignatureTest3", I},
    {"4.1.4", "ValidDSASignaturesTest4", V},
    {"4.1.5", "ValidDSAParameterInheritanceTest5", V},
    {"4.1.6", "InvalidDSASignatureTest6", I},
    // 4.2 validity periods
    {"4.2.1", "InvalidCAnotBeforeDateTest1", I},
    {"4.2.2", "InvalidEEnotBeforeDateTest2", I},
    {"4.2.3", "Validpre2000UTCnotBeforeDateTest3", V},
    {"4.2.4", "ValidGeneralizedTimenotBeforeDateTest4", V},
    {"4.2.5", "InvalidCAnotAfterDateTest5", I},
    {"4.2.6", "InvalidEEnotAfterDateTest6", I},
    {"4.2.7", "Invalidpre2000UTCEEnotAfterDateTest7", I},
    {"4.2.8", "ValidGeneralizedTimenotAfterDateTest8", V},
    // 4.3 name chaining
    {"4.3.1", "InvalidNameChainingEETest1", I},
    {"4.3.2", "InvalidNameChainingOrderTest2", I},
    {"4.3.3", "ValidNameChainingWhitespaceTest3", V},
    {"4.3.4", "ValidNameChainingWhitespaceTest4", V},
    {"4.3.5", "ValidNameChainingCapitalizationTest5", V},
    {"4.3.6", "ValidNameChainingUIDsTest6", V},
    {"4.3.7", "ValidRFC3280MandatoryAttributeTypesTest7", V},
    {"4.3.8", "ValidRFC3280OptionalAttributeTypesTest8", V},
    {"4.3.9", "ValidUTF8StringEncodedNamesTest9", V},
    {"4.3.10", "ValidRolloverfromPrintableStringtoUTF8StringTest10", V},
    {"4.3.11", "ValidUTF8StringCaseInsensitiveMatchTest11", V},
    // 4.4 basic CRLs
    {"4.4.1", "MissingCRLTest1", I},
    {"4.4.2", "InvalidRevokedCATest2", I},
    {"4.4.3", "InvalidRevokedEETest3", I},
    {"4.4.4", "InvalidBadCRLSignatureTest4", I},
    {"4.4.5", "InvalidBadCRLIssuerNameTest5", I},
    {"4.4.6", "InvalidWrongCRLTest6", I},
    {"4.4.7", "ValidTwoCRLsTest7", V},
    {"4.4.8", "InvalidUnknownCRLEntryExtensionTest8", I},
    {"4.4.9", "InvalidUnknownCRLExtensionTest9", I},
    {"4.4.10", "InvalidUnknownCRLExtensionTest10", I},
    {"4.4.11", "InvalidOldCRLnextUpdateTest11", I},
    {"4.4.12", "Invalidpre2000CRLnextUpdateTest12", I},
    {"4.4.13", "ValidGeneralizedTimeCRLnextUpdateTest13", V},
    {"4.4.14", "ValidNegativeSerialNumberTest14", V},
    {"4.4.15", "InvalidNegativeSerialNumberTest15", I},
    {"4.4.16", "ValidLongSerialNumberTest16", V},
    {"4.4.17", "ValidLongSerialNumberTest17", V},
    {"4.4.18", "InvalidLongSerialNumberTest18", I},
    {"4.4.19", "ValidSeparateCertificateandCRLKeysTest19", V},
    {"4.4.20", "InvalidSeparateCertificateandCRLKeysTest20", I},
    {"4.4.21", "InvalidSeparateCertificateandCRLKeysTest21", I},
    // 4.5 self-issued certificates
    {"4.5.1", "ValidBasicSelfIssuedOldWithNewTest1", V},
    {"4.5.2", "InvalidBasicSelfIssuedOldWithNewTest2", I},
    {"4.5.3", "ValidBasicSelfIssuedNewWithOldTest3", V},
    {"4.5.4", "ValidBasicSelfIssuedNewWithOldTest4", V},
    {"4.5.5", "InvalidBasicSelfIssuedNewWithOldTest5", I},
    {"4.5.6", "ValidBasicSelfIssuedCRLSigningKeyTest6", V},
    {"4.5.7", "InvalidBasicSelfIssuedCRLSigningKeyTest7", I},
    {"4.5.8", "InvalidBasicSelfIssuedCRLSigningKeyTest8", I},
    // 4.6 basic constraints
    {"4.6.1", "InvalidMissingbasicConstraintsTest1", I},
    {"4.6.2", "InvalidcAFalseTest2", I},
    {"4.6.3", "InvalidcAFalseTest3", I},
    {"4.6.4", "ValidbasicConstraintsNotCriticalTest4", V},
    {"4.6.5", "InvalidpathLenConstraintTest5", I},
    {"4.6.6", "InvalidpathLenConstraintTest6", I},
    {"4.6.7", "ValidpathLenConstraintTest7", V},
    {"4.6.8", "ValidpathLenConstraintTest8", V},
    {"4.6.9", "InvalidpathLenConstraintTest9", I},
    {"4.6.10", "InvalidpathLenConstraintTest10", I},
    {"4.6.11", "InvalidpathLenConstraintTest11", I},
    {"4.6.12", "InvalidpathLenConstraintTest12", I},
    {"4.6.13", "ValidpathLenConstraintTest13", V},
    {"4.6.14", "ValidpathLenConstraintTest14", V},
    {"4.6.15", "ValidSelfIssuedpathLenConstraintTest15", V},
    {"4.6.16", "InvalidSelfIssuedpathLenConstraintTest16", I},
    {"4.6.17", "ValidSelfIssuedpathLenConstraintTest17", V},
    // 4.7 key usage
    {"4.7.1", "InvalidkeyUsageCriticalkeyCertSignFalseTest1", I},
    {"4.7.2", "InvalidkeyUsageNotCriticalkeyCertSignFalseTest2", I},
    {"4.7.3", "ValidkeyUsageNotCriticalTest3", V},
    {"4.7.4", "InvalidkeyUsageCriticalcRLSignFalseTest4", I},
    {"4.7.5", "InvalidkeyUsageNotCriticalcRLSignFalseTest5", I},
    // 4.13 name constraints
    {"4.13.1", "ValidDNnameConstraintsTest1", V},
    {"4.13.2", "InvalidDNnameConstraintsTest2", I},
    {"4.13.3", "InvalidDNnameConstraintsTest3", I},
    {"4.13.4", "ValidDNnameConstraintsTest4", V},
    {"4.13.5", "ValidDNnameConstraintsTest5", V},
    {"4.13.6", "ValidDNnameConstraintsTest6", V},
    {"4.13.7", "InvalidDNnameConstraintsTest7", I},
    {"4.13.8", "InvalidDNnameConstraintsTest8", I},
    {"4.13.9", "InvalidDNnameConstraintsTest9", I},
    {"4.13.10", "InvalidDNnameConstraintsTest10", I},
    {"4.13.11", "ValidDNnameConstraintsTest11", V},
    {"4.13.12", "InvalidDNnameConstraintsTest12", I},
    {"4.13.13", "InvalidDNnameConstraintsTest13", I},
    {"4.13.14", "ValidDNnameConstraintsTest14", V},
    {"4.13.15", "InvalidDNnameConstraintsTest15", I},
    {"4.13.16", "InvalidDNnameConstraintsTest16", I},
    {"4.13.17", "InvalidDNnameConstraintsTest17", I},
    {"4.13.18", "ValidDNnameConstraintsTest18", V},
    {"4.13.19", "ValidSelfIssuedDNnameConstraintsTest19", V},
    {"4.13.20", "InvalidSelfIssuedDNnameConstraintsTest20", I},
    {"4.13.21", "ValidRFC822nameConstraintsTest21", V},
    {"4.13.22", "InvalidRFC822nameConstraintsTest22", I},
    {"4.13.23", "ValidRFC822nameConstraintsTest23", V},
    {"4.13.24", "InvalidRFC822nameConstraintsTest24", I},
    {"4.13.25", "ValidRFC822nameConstraintsTest25", V},
    {"4.13.26", "InvalidRFC822nameConstraintsTest26", I},
    {"4.13.27", "ValidDNandRFC822nameConstraintsTest27", V},
    {"4.13.28", "InvalidDNandRFC822nameConstraintsTest28", I},
    {"4.13.29", "InvalidDNandRFC822nameConstraintsTest29", I},
    {"4.13.30", "ValidDNSnameConstraintsTest30", V},
    {"4.13.31", "InvalidDNSnameConstraintsTest31", I},
    {"4.13.32", "ValidDNSnameConstraintsTest32", V},
    {"4.13.33", "InvalidDNSnameConstraintsTest33", I},
    {"4.13.34", "ValidURInameConstraintsTest34", V},
    {"4.13.35", "InvalidURInameConstraintsTest35", I},
    {"4.13.36", "ValidURInameConstraintsTest36", V},
    {"4.13.37", "InvalidURInameConstraintsTest37", I},
    {"4.13.38", "InvalidDNSnameConstraintsTest38", I},
    // 4.16 private certificate extensions
    {"4.16.1", "ValidUnknownNotCriticalCertificateExtensionTest1", V},
    {"4.16.2", "InvalidUnknownCriticalCertificateExtensionTest2", I},
};

struct Departure {
  std::vector<std::string_view> numbers;
  int32_t result;
  const char* reason;
};

const std::vector<Departure>& Departures() {
  static const std::vector<Departure> departures = {
      {{"4.2.1", "4.2.5"},
       0,
       "the chain step accepts CA certificates outside their validity; only the signer's own "
       "validity is checked"},
      {{"4.4.2"}, 0, "revocation is checked for the signer only"},
      {{"4.3.3", "4.3.4", "4.3.5", "4.3.11"},
       -10014,
       "the signer's issuer is looked up by its name rendered as text, compared exactly"},
      {{"4.5.1", "4.5.3", "4.6.15", "4.6.17", "4.13.19"},
       -10017,
       "the first certificate whose name matches the signer's issuer exactly is the issuer that "
       "must have signed it"},
      {{"4.4.1", "4.4.4", "4.4.5", "4.4.6", "4.4.10", "4.4.11", "4.4.12", "4.4.20", "4.4.21",
        "4.5.5", "4.5.7", "4.7.4", "4.7.5"},
       0,
       "a signer passes when no CRL of its issuer counts; a CRL counts when its issuer name "
       "matches and the issuer's key verifies it, whatever its dates, extensions or the "
       "issuer's key usage"},
      {{"4.1.5"}, -10010, "DSA parameters inherited from the issuer are not supported"},
  };
  return departures;
}

const Departure* DepartureOf(std::string_view number) {
  for (const Departure& departure : Departures()) {
    if (std::find(departure.numbers.begin(), departure.numbers.end(), number) !=
        departure.numbers.end()) {
      return &departure;
    }
  }
  return nullptr;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A multipart/signed message: the signed part, exactly as signed, and the
// signature's Base64 text.
struct SignedMail {
  std::string content;
  std::string signatureBase64;
};

std::optional<SignedMail> ParseMail(const std::string& mail) {
  const std::string_view kBoundary = "boundary=\"";
  const std::size_t at = mail.find(kBoundary);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = mail.find('"', at + kBoundary.size());
  const std::string delimiter =
      "\n--" + mail.substr(at + kBoundary.size(), end - at - kBoundary.size());
  const std::size_t first = mail.find(delimiter, end);
  if (first == std::string::npos) return std::nullopt;
  const std::size_t contentStart = mail.find('\n', first + 1) + 1;
  const std::size_t second = mail.find(delimiter, contentStart);
  const std::size_t third = mail.find(delimiter, second + 1);
  const std::size_t body = mail.find("\n\n", second + 1);
  if (second == std::string::npos || third == std::string::npos || body > third) {
    return std::nullopt;
  }
  SignedMail parsed;
  // The line break before a delimiter belongs to the delimiter.
  parsed.content = mail.substr(contentStart, second - contentStart);
  parsed.signatureBase64 = mail.substr(body + 2, third - body - 2);
  return parsed;
}

template <typename T>
std::vector<uint8_t> Der(const T* object, int (*encode)(const T*, unsigned char**)) {
  const int length = encode(object, nullptr);
  std::vector<uint8_t> der(length > 0 ? static_cast<std::size_t>(length) : 0);
  unsigned char* cursor = der.data();
  if (length <= 0 || encode(object, &cursor) != length) der.clear();
  return der;
}

void PrintTo(const Case& test, std::ostream* out) {
  *out << test.number << " " << test.name;
}

class PkitsTest : public platform::TemporaryHome, public ::testing::WithParamInterface<Case> {
 protected:
  void AddCertificate(std::string_view storeName, std::span<const uint8_t> der) {
    std::unique_ptr<platform::CertStore> store;
    ASSERT_EQ(platform::CertStore::OpenSystemStore(storeName, store), platform::error::kOk);
    ASSERT_EQ(store->AddCertificate(der, {}, platform::AddDisposition::kUseExisting, nullptr),
              platform::error::kOk);
  }
  void AddCrl(std::span<const uint8_t> der) {
    std::unique_ptr<platform::CertStore> store;
    ASSERT_EQ(platform::CertStore::OpenSystemStore(platform::kStoreCa, store),
              platform::error::kOk);
    ASSERT_EQ(store->AddCrl(der, platform::AddDisposition::kUseExisting), platform::error::kOk);
  }

  // The stores for `signature`: the anchor in "ROOT", the rest in "CA".
  void InstallPath(const std::string& signature) {
    const std::string anchor = ReadAll(kPkits / "certs" / "TrustAnchorRootCertificate.crt");
    ASSERT_FALSE(anchor.empty()) << "PKITS data missing under " << kPkits
                                 << " (Debian package python3-cryptography-vectors)";
    AddCertificate(platform::kStoreRoot,
                   {reinterpret_cast<const uint8_t*>(anchor.data()), anchor.size()});
    const auto* cursor = reinterpret_cast<const unsigned char*>(signature.data());
    const platform::OpenSslPtr<PKCS7, PKCS7_free> message(
        d2i_PKCS7(nullptr, &cursor, static_cast<long>(signature.size())));
    ASSERT_TRUE(message && PKCS7_type_is_signed(message.get()));
    const platform::X509StackPtr signers(PKCS7_get0_signers(message.get(), nullptr, 0));
    ASSERT_EQ(sk_X509_num(signers.get()), 1);
    STACK_OF(X509)* certificates = message->d.sign->cert;
    for (int i = 0; i < sk_X509_num(certificates); ++i) {
      X509* certificate = sk_X509_value(certificates, i);
      if (X509_cmp(certificate, sk_X509_value(signers.get(), 0)) == 0) continue;
      AddCertificate(platform::kStoreCa, Der(certificate, i2d_X509));
    }
    STACK_OF(X509_CRL)* crls = message->d.sign->crl;
    for (int i = 0; i < sk_X509_CRL_num(crls); ++i)
      AddCrl(Der(sk_X509_CRL_value(crls, i), i2d_X509_CRL));
  }
};

TEST_P(PkitsTest, AgreesWithThePkitsVerdictOrTheListedDeparture) {
  const Case& test = GetParam();
  const std::optional<SignedMail> mail =
      ParseMail(ReadAll(kPkits / "smime" / (std::string("Signed") + test.name + ".eml")));
  ASSERT_TRUE(mail) << test.name;
  std::string signature;
  ASSERT_TRUE(platform::Base64Decode(mail->signatureBase64, signature));
  InstallPath(signature);

  CDrennicQuorvel control;
  const Status status = control.QVDetachedVerify(platform::Utf8ToUtf16(mail->signatureBase64),
                                                 platform::Utf8ToUtf16(mail->content));
  const int32_t result = control.Inspect().errorNum;
  EXPECT_EQ(status == Status::kOk, result == 0);
  if (const Departure* departure = DepartureOf(test.number)) {
    EXPECT_EQ(result, departure->result)
        << test.number << " " << test.name << ": " << departure->reason;
  } else if (test.expected == Pkits::kValid) {
    EXPECT_EQ(result, 0) << test.number << " " << test.name;
  } else {
    EXPECT_NE(result, 0) << test.number << " " << test.name;
  }
}

std::string TestName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = std::string("T") + info.param.number;
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Pkits, PkitsTest, ::testing::ValuesIn(kCases), TestName);

}  // namespace
}  // namespace quorvel::control
