#include "control/argument_rules.h"

#include <gtest/gtest.h>

#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

std::u16string Commas(size_t count) {
  return u"CN=x" + std::u16string(count, u',');
}

std::u16string JoinDns(size_t count, std::u16string_view separator) {
  std::u16string list;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) list += separator;
    list += u"CN=Zhang";
  }
  return list;
}

TEST(DnLength, ExactlyTheLimitPassesOneMoreFails) {
  EXPECT_EQ(CheckDnLength(std::u16string(32768, u'a'), msg::kDnTooLong), std::nullopt);
  const auto failure = CheckDnLength(std::u16string(32769, u'a'), msg::kDnTooLong);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->number, err::kTooLong);
  EXPECT_EQ(failure->message, msg::kDnTooLong);
}

TEST(CheckDN, CountsCommasUpToTheLimit) {
  EXPECT_EQ(CheckDN(Commas(255)), err::kOk);
  EXPECT_EQ(CheckDN(Commas(256)), err::kTooManyCommas);
  EXPECT_EQ(CheckDN(u""), err::kEmptyInput);
  EXPECT_EQ(CheckDnList(Commas(256), u"|"),
            (ArgumentFailure{err::kTooManyCommas, msg::kDnCheckFailed}));
}

TEST(DnList, AtMostFourSeparators) {
  EXPECT_EQ(CheckDnList(JoinDns(5, u"|"), u"|"), std::nullopt);
  EXPECT_EQ(CheckDnList(JoinDns(6, u"|"), u"|"),
            (ArgumentFailure{err::kSeparatorLimit, msg::kSeparatorLimit}));
}

TEST(DnList, SeparatorSearchesResumeAfterEachMatch) {
  EXPECT_EQ(CountSeparators(u"a|||b", u"||"), 1u);
  EXPECT_EQ(CountSeparators(u"a||||b", u"||"), 2u);
  EXPECT_EQ(CountSeparators(u"a|b", u""), 0u);
  // Six separators by single bars, but only two by the double bar.
  EXPECT_EQ(CheckDnList(u"a|||b|||c", u"||"), std::nullopt);
  EXPECT_EQ(CheckDnList(u"a|||b|||c", u"|")->number, err::kSeparatorLimit);
}

TEST(DnList, EmptySeparatorFailsOnlyWhenADnIsGiven) {
  EXPECT_EQ(CheckDnArgument(u"CN=a", u"", false, msg::kSourceEmpty),
            (ArgumentFailure{err::kNoSeparator, msg::kNoSeparator}));
  EXPECT_EQ(CheckDnArgument(u"", u"", false, msg::kSourceEmpty), std::nullopt);
}

TEST(DnArgument, ChecksRunInOrderAndServerModeNeedsADn) {
  // Length comes before the comma check.
  const std::u16string longWithCommas = Commas(40000);
  EXPECT_EQ(CheckDnArgument(longWithCommas, u"|", false, msg::kSourceEmpty)->number, err::kTooLong);
  // The comma check comes before the separator.
  EXPECT_EQ(CheckDnArgument(Commas(300), u"", false, msg::kSourceEmpty)->number,
            err::kTooManyCommas);
  EXPECT_EQ(CheckDnArgument(u"", u"|", true, msg::kMustSetDefaultDn),
            (ArgumentFailure{err::kEmptyInput, msg::kMustSetDefaultDn}));
  EXPECT_EQ(CheckDnArgument(u"", u"|", false, msg::kMustSetDefaultDn), std::nullopt);
}

TEST(IssuerDn, EmptyMeansTheDefaultIssuerAndTooLongFails) {
  const auto defaulted = ResolveIssuerDn(u"", msg::kIssuerDnTooLong);
  EXPECT_FALSE(defaulted.failure);
  EXPECT_EQ(defaulted.issuer, u"O=ZuvirOrori, OU=config, CN=ZAZU");
  const auto tooLong = ResolveIssuerDn(std::u16string(32769, u'x'), msg::kIssuerDnTooLong);
  ASSERT_TRUE(tooLong.failure);
  EXPECT_EQ(tooLong.failure->message, msg::kIssuerDnTooLong);
  EXPECT_EQ(CheckIssuerDn(Commas(256))->number, err::kTooManyCommas);
  EXPECT_EQ(CheckIssuerDn(u"CN=a, O=b"), std::nullopt);
}

}  // namespace
}  // namespace quorvel::control
