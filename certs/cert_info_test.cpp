#include "certs/cert_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "platform/certificates/file_time.h"
#include "platform/certificates/test_certificates.h"

namespace quorvel::certs {
namespace {

using platform::Bytes;
using platform::testing::Attr;
using platform::testing::Name;

class CertInfoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { key_ = platform::testing::MakeRsaKey().release(); }
  static void TearDownTestSuite() { EVP_PKEY_free(key_); }

  static platform::CertContextRef Make(platform::testing::CertificateSpec spec) {
    if (spec.subject.empty()) spec.subject = Name({Attr("2.5.4.3", "ABCDEFGHIJKLMNOPQ")});
    const Bytes der = platform::testing::MakeCertificate(spec, key_, key_);
    platform::CertContextRef context;
    EXPECT_EQ(platform::CreateCertificateContext(der, context), platform::error::kOk);
    return context;
  }

  static platform::CertContextRef WithSerial(Bytes serial) {
    platform::testing::CertificateSpec spec;
    spec.serial = std::move(serial);
    return Make(spec);
  }

  // The text of `type` by the two-call protocol, checking the reported length.
  static std::u16string Text(const platform::CertContext& context, int type,
                             uint32_t* reported = nullptr) {
    uint32_t length = 0;
    EXPECT_EQ(GetCertInfoString(&context, type, nullptr, &length), err::kOk);
    std::vector<char16_t> buffer(length + 1, u'\xFFFF');
    uint32_t second = 0;
    EXPECT_EQ(GetCertInfoString(&context, type, buffer.data(), &second), err::kOk);
    EXPECT_EQ(second, length);
    if (reported != nullptr) *reported = length;
    return std::u16string(buffer.data());
  }

  static EVP_PKEY* key_;
};

EVP_PKEY* CertInfoTest::key_ = nullptr;

TEST_F(CertInfoTest, NamesKeepTheirEncodedOrderAndCountTheTerminator) {
  platform::testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.3", "Zhang San"), Attr("2.5.4.6", "CN")});
  spec.issuer =
      Name({Attr("2.5.4.10", "ZuvirOrori"), Attr("2.5.4.11", "config"), Attr("2.5.4.3", "ZAZU")});
  const auto context = Make(spec);
  EXPECT_EQ(Text(*context, kInfoSubject), u"CN=Zhang San, C=CN");
  EXPECT_EQ(Text(*context, kInfoIssuer), u"O=ZuvirOrori, OU=config, CN=ZAZU");

  uint32_t length = 0;
  const auto twenty = Make({});  // subject "CN=ABCDEFGHIJKLMNOPQ", 20 characters
  EXPECT_EQ(Text(*twenty, kInfoSubject, &length).size(), 20u);
  EXPECT_EQ(length, 21u);
}

TEST_F(CertInfoTest, TimesAreUtcWhateverTheLocalZone) {
  const char* previous = ::getenv("TZ");
  const std::string saved = previous ? previous : "";
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  platform::testing::CertificateSpec spec;
  spec.notBefore = "20150317080509Z";
  spec.notAfter = "20491231235959Z";
  const auto context = Make(spec);
  uint32_t length = 0;
  EXPECT_EQ(Text(*context, kInfoNotAfter, &length), u"2049-12-31 23:59:59GMT");
  EXPECT_EQ(length, 22u);
  EXPECT_EQ(Text(*context, kInfoNotBefore), u"2015-03-17 08:05:09GMT");
  if (previous) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST_F(CertInfoTest, SerialNumbersComeInGroupsOfFourDigits) {
  EXPECT_EQ(Text(*WithSerial({0x0A, 0x0B, 0x0C}), kInfoSerialNumber), u"0A0B 0C");
  EXPECT_EQ(Text(*WithSerial({0x00}), kInfoSerialNumber), u"00");
  EXPECT_EQ(Text(*WithSerial({0x01, 0x23, 0x45, 0x67, 0x89}), kInfoSerialNumber), u"0123 4567 89");
  EXPECT_EQ(Text(*WithSerial({0x01, 0x23}), kInfoSerialNumber), u"0123");
  // A first octet of 0x80 or above is preceded by the 0x00 of the encoding.
  EXPECT_EQ(Text(*WithSerial({0xFE, 0x01}), kInfoSerialNumber), u"00FE 01");

  Bytes twenty;
  for (uint8_t i = 1; i <= 20; ++i) twenty.push_back(i);
  uint32_t length = 0;
  const std::u16string text = Text(*WithSerial(twenty), kInfoSerialNumber, &length);
  EXPECT_EQ(text, u"0102 0304 0506 0708 090A 0B0C 0D0E 0F10 1112 1314");
  EXPECT_EQ(length, 49u);
}

TEST_F(CertInfoTest, SerialNumbersBeyondFiftyOneBytesAreFormattedInFull) {
  // Longer than the 128 characters that hold 51 bytes: nothing is cut off.
  Bytes serial(60, 0x11);
  const auto context = WithSerial(serial);
  const std::u16string text = Text(*context, kInfoSerialNumber);
  EXPECT_EQ(text.size(), 60u * 2 + 29);
  EXPECT_EQ(text.substr(0, 9), u"1111 1111");
  EXPECT_EQ(text.substr(text.size() - 4), u"1111");
}

TEST_F(CertInfoTest, TypesOutsideOneToFiveGiveNothing) {
  const auto context = Make({});
  for (const int type : {0, 6, -1}) {
    uint32_t length = 77;
    char16_t buffer[4] = {u'x', u'y', u'z', 0};
    EXPECT_EQ(GetCertInfoString(context.get(), type, buffer, &length), err::kOk);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(std::u16string(buffer), u"xyz");
  }
}

TEST_F(CertInfoTest, MissingArgumentsGiveEmptyInput) {
  const auto context = Make({});
  uint32_t length = 5;
  EXPECT_EQ(GetCertInfoString(nullptr, kInfoSubject, nullptr, &length), err::kEmptyInput);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(GetCertInfoString(context.get(), kInfoSubject, nullptr, nullptr), err::kEmptyInput);
  EXPECT_EQ(FormatCertTime(0, nullptr, nullptr), -10001);
  CertInfoRecord record;
  EXPECT_EQ(FillCertInfo(nullptr, &record), err::kEmptyInput);
  EXPECT_EQ(FillCertInfo(context.get(), nullptr), err::kEmptyInput);
}

TEST_F(CertInfoTest, FormatCertTimeTakesFileTimesAndRefusesTheUnconvertible) {
  platform::SystemTime time{2049, 12, 31, 23, 59, 59, 0};
  uint64_t fileTime = 0;
  ASSERT_TRUE(platform::SystemTimeToFileTime(time, fileTime));
  uint32_t length = 0;
  ASSERT_EQ(FormatCertTime(fileTime, nullptr, &length), 0);
  EXPECT_EQ(length, 22u);
  std::vector<char16_t> buffer(length + 1);
  ASSERT_EQ(FormatCertTime(fileTime, buffer.data(), &length), 0);
  EXPECT_EQ(std::u16string(buffer.data()), u"2049-12-31 23:59:59GMT");

  EXPECT_EQ(FormatCertTime(0, buffer.data(), &length), 0);
  EXPECT_EQ(std::u16string(buffer.data()), u"1601-01-01 00:00:00GMT");

  length = 9;
  EXPECT_EQ(FormatCertTime(0x8000000000000000ull, nullptr, &length), -1);
  EXPECT_EQ(length, 0u);
}

TEST_F(CertInfoTest, FillCertInfoGivesTheFiveTextsInTypeOrder) {
  platform::testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.6", "CN"), Attr("2.5.4.3", "张伟")});
  spec.issuer = Name({Attr("2.5.4.3", "Root")});
  spec.serial = {0x0A, 0x1B};
  spec.notBefore = "20200101000000Z";
  spec.notAfter = "20301231120000Z";
  CertInfoRecord record;
  ASSERT_EQ(FillCertInfo(Make(spec).get(), &record), err::kOk);
  EXPECT_EQ(record, (CertInfoRecord{u"C=CN, CN=张伟", u"CN=Root", u"2020-01-01 00:00:00GMT",
                                    u"2030-12-31 12:00:00GMT", u"0A1B"}));
}

}  // namespace
}  // namespace quorvel::certs
