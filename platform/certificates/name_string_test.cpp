#include "platform/certificates/name_string.h"

#include <gtest/gtest.h>

#include "platform/certificates/test_certificates.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

std::u16string X500(const Bytes& name, uint32_t flags = 0) {
  std::u16string text;
  EXPECT_EQ(NameToString(name, kX500NameStr | flags, text), error::kOk);
  return text;
}

std::u16string Simple(const Bytes& name) {
  std::u16string text;
  EXPECT_EQ(NameToString(name, kSimpleNameStr, text), error::kOk);
  return text;
}

TEST(NameStringOrder, KeepsTheEncodedOrderEitherWay) {
  const Bytes cnFirst = Name({Attr("2.5.4.3", "Zhang San"), Attr("2.5.4.10", "ZuvirOrori"),
                              Attr("2.5.4.6", "CN", testing::kTagPrintable)});
  const Bytes cFirst = Name({Attr("2.5.4.6", "CN", testing::kTagPrintable),
                             Attr("2.5.4.10", "ZuvirOrori"), Attr("2.5.4.3", "Zhang San")});
  EXPECT_EQ(X500(cnFirst), u"CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(X500(cFirst), u"C=CN, O=ZuvirOrori, CN=Zhang San");
  EXPECT_EQ(X500(cFirst, kNameStrCrlfFlag), u"C=CN\r\nO=ZuvirOrori\r\nCN=Zhang San");
  EXPECT_EQ(Simple(cFirst), u"CN, ZuvirOrori, Zhang San");
}

TEST(NameStringKeys, UsesThePlatformKeysAndDottedFormForOthers) {
  const Bytes name =
      Name({Attr("2.5.4.8", "Beijing"), Attr("2.5.4.7", "Haidian"), Attr("2.5.4.11", "config"),
            Attr("1.2.840.113549.1.9.1", "a@b.cn", testing::kTagIa5), Attr("2.5.4.5", "42"),
            Attr("1.2.3.4", "x")});
  EXPECT_EQ(X500(name),
            u"S=Beijing, L=Haidian, OU=config, E=a@b.cn, SERIALNUMBER=42, OID.1.2.3.4=x");
}

TEST(NameStringQuoting, QuotesSpecialValuesAndDoublesInnerQuotes) {
  EXPECT_EQ(X500(Name({Attr("2.5.4.10", "Bank, Ltd")})), u"O=\"Bank, Ltd\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", " leading")})), u"CN=\" leading\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "trailing ")})), u"CN=\"trailing \"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "say \"hi\"")})), u"CN=\"say \"\"hi\"\"\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "")})), u"CN=\"\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "a+b")})), u"CN=\"a+b\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "a=b;c")})), u"CN=\"a=b;c\"");
  EXPECT_EQ(X500(Name({Attr("2.5.4.3", "inner space")})), u"CN=inner space");
  // The simple form quotes the same way.
  EXPECT_EQ(Simple(Name({Attr("2.5.4.10", "Bank, Ltd")})), u"\"Bank, Ltd\"");
}

TEST(NameStringTypes, DecodesChineseBmpAndUtf8Values) {
  const Bytes bmp = Name({{"2.5.4.3", testing::kTagBmp, testing::BmpBytes(u"张三")}});
  const Bytes utf8 = Name({Attr("2.5.4.3", "张伟")});
  EXPECT_EQ(X500(bmp), u"CN=张三");
  EXPECT_EQ(X500(utf8), u"CN=张伟");
  std::u16string display;
  ASSERT_EQ(SimpleDisplayName(bmp, display), error::kOk);
  EXPECT_EQ(display, u"张三");
}

TEST(NameStringTypes, WritesNonStringValuesAsHexOfTheirEncoding) {
  const Bytes name = Name({{"2.5.4.3", 0x02, {0x01, 0xFF}}});  // an INTEGER value
  EXPECT_EQ(X500(name), u"CN=#020201FF");
}

TEST(NameStringStructure, JoinsMultiValuedRdnsWithPlus) {
  // One SET holding two attributes.
  const Bytes single = Name({Attr("2.5.4.3", "a"), Attr("2.5.4.11", "b")});
  // Rebuild as one RDN: take the two SEQUENCEs out of their SETs.
  der::Reader outer(single);
  der::Element sequence;
  ASSERT_TRUE(outer.Next(sequence));
  der::Reader sets(sequence.content);
  Bytes pairs;
  der::Element set;
  while (sets.Next(set)) pairs.insert(pairs.end(), set.content.begin(), set.content.end());
  const Bytes multi = testing::Tlv(0x30, testing::Tlv(0x31, pairs));
  EXPECT_EQ(X500(multi), u"CN=a + OU=b");
}

TEST(NameStringStructure, EmptyNameGivesEmptyTextAndCountOne) {
  const Bytes empty = {0x30, 0x00};
  EXPECT_EQ(X500(empty), u"");
  EXPECT_EQ(NameToStr(empty, kX500NameStr, nullptr, 0), 1u);
}

TEST(NameStringStructure, RefusesMalformedNames) {
  std::u16string text;
  const Bytes truncated = {0x30, 0x05, 0x31, 0x03, 0x30};
  const Bytes notASet = {0x30, 0x02, 0x30, 0x00};
  const Bytes trailing = {0x30, 0x00, 0x00};
  const Bytes hugeLength = {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF};
  for (const Bytes& bad : {truncated, notASet, trailing, hugeLength, Bytes{}}) {
    EXPECT_EQ(NameToString(bad, kX500NameStr, text), error::kAsn1Corrupt);
    EXPECT_EQ(NameToStr(bad, kX500NameStr, nullptr, 0), 0u);
  }
}

TEST(NameStringTwoCall, CountsTheTerminatorAndTruncatesToTheBuffer) {
  const Bytes name = Name({Attr("2.5.4.3", "Zhang San")});  // "CN=Zhang San": 12 characters
  ASSERT_EQ(NameToStr(name, kX500NameStr, nullptr, 0), 13u);
  char16_t buffer[13];
  EXPECT_EQ(NameToStr(name, kX500NameStr, buffer, 13), 13u);
  EXPECT_EQ(std::u16string(buffer), u"CN=Zhang San");
  char16_t small[4];
  EXPECT_EQ(NameToStr(name, kX500NameStr, small, 4), 13u);
  EXPECT_EQ(std::u16string(small), u"CN=");
}

TEST(SimpleDisplayNameOrder, PrefersCnThenOuThenOThenE) {
  const auto display = [](const Bytes& name) {
    std::u16string text;
    EXPECT_EQ(SimpleDisplayName(name, text), error::kOk);
    return text;
  };
  const auto email = Attr("1.2.840.113549.1.9.1", "a@b.cn", testing::kTagIa5);
  EXPECT_EQ(display(Name({Attr("2.5.4.6", "CN"), Attr("2.5.4.10", "Org"), Attr("2.5.4.11", "Unit"),
                          Attr("2.5.4.3", "Common"), email})),
            u"Common");
  EXPECT_EQ(display(Name({email, Attr("2.5.4.10", "Org"), Attr("2.5.4.11", "Unit")})), u"Unit");
  EXPECT_EQ(display(Name({email, Attr("2.5.4.10", "Org")})), u"Org");
  EXPECT_EQ(display(Name({Attr("2.5.4.6", "CN"), email})), u"a@b.cn");
  EXPECT_EQ(display(Name({Attr("2.5.4.6", "CN")})), u"");
  // The first of several CNs, and no quoting in the display form.
  EXPECT_EQ(display(Name({Attr("2.5.4.3", "One, Inc"), Attr("2.5.4.3", "Two")})), u"One, Inc");
}

}  // namespace
}  // namespace quorvel::platform
