#include "container/plain_text_index.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "container/plain_text.h"

namespace quorvel::container {
namespace {

struct Elements {
  std::vector<std::string> items;
  std::vector<std::pair<std::string, std::string>> files;
  bool operator==(const Elements&) const = default;
};

Elements Walk(std::string_view text, PlainTextIndex index) {
  Elements elements;
  for (auto item = FirstFormItem(text, index); item; item = FirstFormItem(text, index)) {
    elements.items.emplace_back(*item);
    index = WithoutFirstFormItem(text, index);
  }
  for (auto file = FirstFile(text, index); file; file = FirstFile(text, index)) {
    elements.files.emplace_back(file->name, file->content);
    index = WithoutFirstFile(text, index);
  }
  EXPECT_TRUE(index.Empty());
  return elements;
}

std::string Encoded(const Elements& elements) {
  FormattedPlainText text;
  for (const std::string& item : elements.items) EXPECT_EQ(text.AddFormItem(item), kPlainTextOk);
  for (const auto& [name, content] : elements.files) {
    EXPECT_EQ(text.AddFile(name, content), kPlainTextOk);
  }
  std::string encoded;
  EXPECT_EQ(text.Encode(encoded), kPlainTextOk);
  return encoded;
}

std::string IndexedEncoding(std::string_view text, const PlainTextIndex& index) {
  std::string encoded = "sentinel";
  EXPECT_EQ(EncodeIndexed(text, index, encoded), kPlainTextOk);
  return encoded;
}

constexpr std::string_view kBoth = "0000001000000002ab000000260000001800000005x.txthello";

TEST(PlainTextIndex, FindsTheElementsOfWellFormedAndLenientTextsAndRefusesTheRest) {
  const Elements item{{"ab"}, {}};
  const Elements file{{}, {{"x.txt", "hello"}}};
  const Elements both{{"ab"}, {{"x.txt", "hello"}}};
  const std::vector<std::pair<std::string, std::optional<Elements>>> cases = {
      {"0000001000000002ab00000000", item},
      {"00000000000000260000001800000005x.txthello", file},
      {std::string(kBoth), both},
      {"0000001000000002ab", item},                   // no trailer
      {"0000001000000002abxxxxxxxx", item},           // the trailer is not looked at
      {std::string(kBoth) + "trailing bytes", both},  // ignored after the file section
      {"0000002100000002ab00000003cde", Elements{{"ab", "cde"}, {}}},
      {"0000000000000008000000000000000000000000", Elements{}},  // a section of no files
      {"Please transfer 100 yuan to account 6222.", std::nullopt},
      {"", std::nullopt},
      {"00000000", std::nullopt},
      {"0000001000000002ab00000000more bytes", std::nullopt},
      {"00000000000000260000001800000020x.txthello", std::nullopt},  // name past its record
      {"000000000000002100000013000000055x.txt", std::nullopt},      // a file without content
      {"0000001000000009ab", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    PlainTextIndex index{1, 2, 3, 4};
    const PlainTextIndex before = index;
    if (!expected) {
      EXPECT_EQ(IndexPlainText(text, index), kPlainTextFailed) << text;
      EXPECT_EQ(index, before) << text;
      continue;
    }
    ASSERT_EQ(IndexPlainText(text, index), kPlainTextOk) << text;
    EXPECT_EQ(Walk(text, index), *expected) << text;
    EXPECT_EQ(IndexedEncoding(text, index), Encoded(*expected)) << text;
  }
  // Every prefix of a text with both sections fails or holds a leading part.
  for (size_t length = 0; length < kBoth.size(); ++length) {
    const std::string prefix(kBoth.substr(0, length));
    PlainTextIndex index;
    if (IndexPlainText(prefix, index) != kPlainTextOk) continue;
    EXPECT_EQ(Walk(prefix, index), item) << prefix;
    EXPECT_EQ(IndexedEncoding(prefix, index), Encoded(item)) << prefix;
  }
}

TEST(PlainTextIndex, TakingFromTheFrontLeavesTheRestInOrderWithDuplicates) {
  const Elements all{{"ab", "ab",
                      std::string("\0"
                                  "00000000",
                                  9),
                      "ab"},
                     {{"x.txt", "hello"}, {"x.txt", "hello"}, {"y", "00000000"}}};
  const std::string text = Encoded(all);
  PlainTextIndex index;
  ASSERT_EQ(IndexPlainText(text, index), kPlainTextOk);
  EXPECT_EQ(Walk(text, index), all);

  // Files taken first leave the form items untouched, and the other way round.
  Elements left = all;
  PlainTextIndex rest = index;
  for (const bool takesFile : {true, false, false, true, false, true, false}) {
    if (takesFile) {
      const std::optional<PlainTextFileView> file = FirstFile(text, rest);
      ASSERT_TRUE(file);
      EXPECT_EQ(std::make_pair(std::string(file->name), std::string(file->content)),
                left.files.front());
      left.files.erase(left.files.begin());
      rest = WithoutFirstFile(text, rest);
    } else {
      const std::optional<std::string_view> item = FirstFormItem(text, rest);
      ASSERT_TRUE(item);
      EXPECT_EQ(*item, left.items.front());
      left.items.erase(left.items.begin());
      rest = WithoutFirstFormItem(text, rest);
    }
    EXPECT_EQ(IndexedEncoding(text, rest), Encoded(left));
  }
  EXPECT_TRUE(rest.Empty());
  EXPECT_EQ(IndexedEncoding(text, rest), "");
  // Nothing left to take leaves the index as it is.
  EXPECT_FALSE(FirstFormItem(text, rest));
  EXPECT_FALSE(FirstFile(text, rest));
  EXPECT_EQ(WithoutFirstFormItem(text, rest), rest);
  EXPECT_EQ(WithoutFirstFile(text, rest), rest);
}

TEST(PlainTextIndex, RefusesToEncodeMoreThanATotalFieldHolds) {
  // The total field says 10, so reading goes on past it: 9 + 99,999,999 + 9
  // bytes of items, more than a total can say.
  std::string text =
      "00000010"
      "00000001a"
      "99999991";
  text.append(99'999'991, 'b');
  text += "00000001c";
  PlainTextIndex index;
  ASSERT_EQ(IndexPlainText(text, index), kPlainTextOk);
  EXPECT_EQ(CheckEncodable(index), kPlainTextFieldOverflow);
  std::string encoded = "unchanged";
  EXPECT_EQ(EncodeIndexed(text, index, encoded), kPlainTextFieldOverflow);
  EXPECT_EQ(encoded, "unchanged");
  const PlainTextIndex withoutOne = WithoutFirstFormItem(text, index);
  EXPECT_EQ(CheckEncodable(withoutOne), kPlainTextFieldOverflow);
  EXPECT_EQ(CheckEncodable(WithoutFirstFormItem(text, withoutOne)), kPlainTextOk);
}

}  // namespace
}  // namespace quorvel::container
