#include "container/plain_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::container {
namespace {

constexpr std::string_view kFormOnly = "0000001000000002ab00000000";
constexpr std::string_view kFileOnly = "00000000000000260000001800000005x.txthello";
constexpr std::string_view kBoth = "0000001000000002ab000000260000001800000005x.txthello";

struct Contents {
  std::vector<std::string> items;
  std::vector<std::pair<std::string, std::string>> files;
  bool operator==(const Contents&) const = default;
};

Contents Read(const FormattedPlainText& text) {
  Contents contents;
  for (size_t i = 0; i < text.FormItemCount(); ++i) {
    std::string item;
    EXPECT_EQ(text.GetFormItem(static_cast<int64_t>(i), item), kPlainTextOk);
    contents.items.push_back(item);
  }
  for (size_t i = 0; i < text.FileCount(); ++i) {
    std::string name;
    std::string content;
    EXPECT_EQ(text.GetFile(static_cast<int64_t>(i), name, content), kPlainTextOk);
    contents.files.emplace_back(name, content);
  }
  return contents;
}

std::string Encoded(const FormattedPlainText& text) {
  std::string encoded = "sentinel";
  EXPECT_EQ(text.Encode(encoded), kPlainTextOk);
  return encoded;
}

Contents Decoded(std::string_view encoded, int32_t expected = kPlainTextOk) {
  FormattedPlainText text;
  EXPECT_EQ(text.Decode(encoded), expected) << encoded;
  return Read(text);
}

TEST(FormattedPlainText, EncodesTheFourShapes) {
  FormattedPlainText text;
  EXPECT_EQ(Encoded(text), "");
  ASSERT_EQ(text.AddFormItem("ab"), kPlainTextOk);
  EXPECT_EQ(Encoded(text), kFormOnly);
  ASSERT_EQ(text.AddFile("x.txt", "hello"), kPlainTextOk);
  EXPECT_EQ(Encoded(text), kBoth);

  FormattedPlainText fileOnly;
  ASSERT_EQ(fileOnly.AddFile("x.txt", "hello"), kPlainTextOk);
  EXPECT_EQ(Encoded(fileOnly), kFileOnly);
}

TEST(FormattedPlainText, DecodesTheWorkedExamplesBackToTheSameContents) {
  EXPECT_EQ(Decoded(kFormOnly), (Contents{{"ab"}, {}}));
  EXPECT_EQ(Decoded(kFileOnly), (Contents{{}, {{"x.txt", "hello"}}}));
  EXPECT_EQ(Decoded(kBoth), (Contents{{"ab"}, {{"x.txt", "hello"}}}));
}

TEST(FormattedPlainText, RoundTripsSeveralElementsInOrderWithAnyBytes) {
  FormattedPlainText text;
  const std::string binary(
      "\0\x01\xff"
      "00000000",
      11);
  ASSERT_EQ(text.AddFormItem("first"), kPlainTextOk);
  ASSERT_EQ(text.AddFormItem(binary), kPlainTextOk);
  ASSERT_EQ(text.AddFormItem("\xc4\xe3\xba\xc3"), kPlainTextOk);
  ASSERT_EQ(text.AddFile("a.bin", binary), kPlainTextOk);
  ASSERT_EQ(text.AddFile("b", "2"), kPlainTextOk);
  const Contents expected{{"first", binary, "\xc4\xe3\xba\xc3"}, {{"a.bin", binary}, {"b", "2"}}};
  EXPECT_EQ(Read(text), expected);
  EXPECT_EQ(Decoded(Encoded(text)), expected);
}

TEST(FormattedPlainText, AcceptsAFormOnlyTextWithoutItsTrailer) {
  EXPECT_EQ(Decoded("0000001000000002ab"), (Contents{{"ab"}, {}}));
  EXPECT_EQ(Decoded("0000002100000002ab00000003cde"), (Contents{{"ab", "cde"}, {}}));
  // The last eight bytes of a form-only text are not looked at.
  EXPECT_EQ(Decoded("0000001000000002abxxxxxxxx"), (Contents{{"ab"}, {}}));
}

TEST(FormattedPlainText, IgnoresBytesAfterACompleteFileSection) {
  EXPECT_EQ(Decoded(std::string(kBoth) + "trailing bytes"),
            (Contents{{"ab"}, {{"x.txt", "hello"}}}));
}

TEST(FormattedPlainText, RefusesWhatIsNotAContainerAndEndsEmpty) {
  for (const std::string_view text :
       {std::string_view("Please transfer 100 yuan to account 6222."), std::string_view(""),
        std::string_view("0000001"), std::string_view("00000000"),
        std::string_view("0000000000000000"), std::string_view("00000000abcdefgh"),
        // A form-only text whose trailer is followed by more bytes.
        std::string_view("0000001000000002ab00000000more bytes"),
        // A section total larger than what follows.
        std::string_view("0000009900000002ab00000000"),
        // A file whose name is longer than its record.
        std::string_view("00000000000000260000001800000020x.txthello"),
        // A file with no content.
        std::string_view("000000000000002100000013000000055x.txt"),
        // An item length running past the end.
        std::string_view("0000001000000009ab")}) {
    FormattedPlainText container;
    ASSERT_EQ(container.AddFormItem("left over"), kPlainTextOk);
    EXPECT_EQ(container.Decode(text), kPlainTextFailed) << text;
    EXPECT_EQ(container.FormItemCount(), 0u) << text;
    EXPECT_EQ(container.FileCount(), 0u) << text;
  }
}

TEST(FormattedPlainText, NeverReadsPastTheEndOfATruncatedText) {
  // Every prefix either fails or decodes to a leading part of the contents.
  const Contents full{{"ab"}, {{"x.txt", "hello"}}};
  for (size_t length = 0; length <= kBoth.size(); ++length) {
    const std::string prefix(kBoth.substr(0, length));  // own buffer, so ASan sees overreads
    FormattedPlainText text;
    if (text.Decode(prefix) != kPlainTextOk) continue;
    const Contents got = Read(text);
    EXPECT_TRUE(got == full || got == (Contents{{"ab"}, {}})) << prefix;
  }
}

TEST(FormattedPlainText, RefusesEmptyElementsAndBadIndexes) {
  FormattedPlainText text;
  EXPECT_EQ(text.AddFormItem(""), kPlainTextEmpty);
  EXPECT_EQ(text.AddFile("", "content"), kPlainTextEmpty);
  EXPECT_EQ(text.AddFile("name", ""), kPlainTextEmpty);
  EXPECT_EQ(text.FormItemCount(), 0u);
  EXPECT_EQ(text.FileCount(), 0u);

  ASSERT_EQ(text.AddFormItem("only"), kPlainTextOk);
  std::string item = "kept";
  std::string name = "kept";
  std::string content = "kept";
  EXPECT_EQ(text.GetFormItem(-1, item), kPlainTextFailed);
  EXPECT_EQ(text.GetFormItem(1, item), kPlainTextFailed);
  EXPECT_EQ(text.GetFile(0, name, content), kPlainTextFailed);
  EXPECT_EQ(item, "kept");
  text.Clear();
  EXPECT_EQ(text.FormItemCount(), 0u);
}

TEST(FormattedPlainText, RefusesToEncodeAFieldBeyondEightDigits) {
  FormattedPlainText text;
  {
    // The largest item whose section total, length + 8, still fits.
    const std::string largest(static_cast<size_t>(kMaxFieldValue) - kLengthFieldSize, 'a');
    ASSERT_EQ(text.AddFormItem(largest), kPlainTextOk);
  }
  std::string encoded;
  ASSERT_EQ(text.Encode(encoded), kPlainTextOk);
  EXPECT_EQ(encoded.substr(0, 16), "9999999999999991");
  encoded = "unchanged";
  ASSERT_EQ(text.AddFormItem("x"), kPlainTextOk);
  EXPECT_EQ(text.Encode(encoded), kPlainTextFieldOverflow);
  EXPECT_EQ(encoded, "unchanged");

  FormattedPlainText files;
  ASSERT_EQ(files.AddFile("n", std::string(static_cast<size_t>(kMaxFieldValue) - 9, 'c')),
            kPlainTextOk);
  EXPECT_EQ(files.Encode(encoded), kPlainTextFieldOverflow);  // its record fits, the total not
}

}  // namespace
}  // namespace quorvel::container
