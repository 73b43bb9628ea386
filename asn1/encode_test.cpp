// Encoding: the bytes asn1_encode writes for each directive, the tag
// overrides, element nesting across calls, and the argument limits.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "asn1/asn1.h"
#include "asn1/test_support.h"

namespace {

using asn1_test::Bytes;
using asn1_test::Concat;
using asn1_test::NewWriter;
using asn1_test::Output;

const int kSha1[] = {1, 3, 14, 3, 2, 26};

TEST(Asn1Encode, IntegerIsMinimalTwosComplement) {
  const struct {
    int value;
    Bytes expected;
  } cases[] = {
      {0, {0x02, 0x01, 0x00}},
      {127, {0x02, 0x01, 0x7F}},
      {128, {0x02, 0x02, 0x00, 0x80}},
      {-1, {0x02, 0x01, 0xFF}},
      {-129, {0x02, 0x02, 0xFF, 0x7F}},
      {-128, {0x02, 0x01, 0x80}},
      {256, {0x02, 0x02, 0x01, 0x00}},
      {INT_MAX, {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
      {INT_MIN, {0x02, 0x04, 0x80, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    auto writer = NewWriter();
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(asn1_encode(writer.get(), "i", c.value), static_cast<int>(c.expected.size()));
    EXPECT_EQ(Output(writer.get()), c.expected) << "value " << c.value;
  }
}

TEST(Asn1Encode, EnumeratedBooleanAndNull) {
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "ebbbn", -129, 0, 1, 42), 15);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x0A, 0x02, 0xFF, 0x7F, 0x01, 0x01, 0x00, 0x01, 0x01, 0xFF,
                                         0x01, 0x01, 0xFF, 0x05, 0x00}));
}

TEST(Asn1Encode, SequenceOfOidAndNull) {
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "{On}", kSha1, 6), 11);
  EXPECT_EQ(Output(writer.get()),
            (Bytes{0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00}));
}

TEST(Asn1Encode, ObjectIdentifierArcs) {
  const int rsa[] = {1, 2, 840, 113549, 1, 1, 1};
  const int zero_arc[] = {2, 39, 0, INT_MAX};
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "OO", rsa, 7, zero_arc, 4), 0);
  EXPECT_EQ(Output(writer.get()),
            (Bytes{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01,  //
                   0x06, 0x07, 0x77, 0x00, 0x87, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(Asn1Encode, ObjectIdentifierLimits) {
  int fifty[50] = {1, 2};
  for (int i = 2; i < 50; ++i) fifty[i] = i;
  int fifty_one[51] = {1, 2};
  const int first_three[] = {3, 1};
  const int second_forty[] = {1, 40};
  const int negative[] = {1, 2, -5};
  {
    auto writer = NewWriter();
    EXPECT_GT(asn1_encode(writer.get(), "O", fifty, 50), 0);
  }
  const struct {
    const char* what;
    const int* arcs;
    int count;
  } bad[] = {
      {"one arc", kSha1, 1},           {"51 arcs", fifty_one, 51},
      {"first arc 3", first_three, 2}, {"second arc 40", second_forty, 2},
      {"negative arc", negative, 3},   {"null arcs", nullptr, 6},
  };
  for (const auto& c : bad) {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), "O", c.arcs, c.count), -1) << c.what;
  }
}

TEST(Asn1Encode, HexIntegerKeepsOctetsAsGiven) {
  const struct {
    std::string digits;
    Bytes expected;
  } cases[] = {
      {"1a2", {0x02, 0x02, 0x01, 0xA2}},  {"00ff", {0x02, 0x02, 0x00, 0xFF}},
      {"F", {0x02, 0x01, 0x0F}},          {"80", {0x02, 0x01, 0x80}},
      {"0000", {0x02, 0x02, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), "I", c.digits.c_str(), static_cast<int>(c.digits.size())),
              static_cast<int>(c.expected.size()));
    EXPECT_EQ(Output(writer.get()), c.expected) << c.digits;
  }
}

TEST(Asn1Encode, HexIntegerRejectsBadText) {
  const std::string max_digits(256, 'a');
  {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), "I", max_digits.c_str(), 256), 131);
    EXPECT_EQ(writer->buffer[1], 0x81);
    EXPECT_EQ(writer->buffer[2], 128);
  }
  const std::string too_long(257, 'a');
  const struct {
    const char* what;
    const char* digits;
    int count;
  } bad[] = {
      {"257 digits", too_long.c_str(), 257},
      {"count shorter than text", "1234", 3},
      {"count longer than text", "12", 3},
      {"non-hex digit", "12g4", 4},
      {"sign", "-12", 3},
      {"empty", "", 0},
      {"null", nullptr, 2},
  };
  for (const auto& c : bad) {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), "I", c.digits, c.count), -1) << c.what;
  }
}

TEST(Asn1Encode, OctetStringLengthForms) {
  const struct {
    int length;
    Bytes header;
  } cases[] = {
      {0, {0x04, 0x00}},
      {127, {0x04, 0x7F}},
      {128, {0x04, 0x81, 0x80}},
      {200, {0x04, 0x81, 0xC8}},
      {256, {0x04, 0x82, 0x01, 0x00}},
      {70000, {0x04, 0x83, 0x01, 0x11, 0x70}},
  };
  for (const auto& c : cases) {
    const Bytes content(static_cast<std::size_t>(c.length), 0x5A);
    auto writer = NewWriter();
    const int written = asn1_encode(writer.get(), "o", content.data(), c.length);
    EXPECT_EQ(written, static_cast<int>(c.header.size()) + c.length);
    EXPECT_EQ(Output(writer.get()), Concat({c.header, content})) << "length " << c.length;
  }
}

TEST(Asn1Encode, StringAndTimeDirectivesUseTheirUniversalTags) {
  const unsigned char x[] = {'x'};
  auto writer = NewWriter();
  ASSERT_EQ(asn1_encode(writer.get(), "PaM6UmugA", x, 1, x, 1, x, 1, x, 1, x, 1, x, 1, "9912",
                        "1999", x, 1),
            3 * 6 + 6 + 6 + 1);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x13, 1, 'x', 0x16, 1,   'x', 0x14, 1, 'x', 0x14, 1,   'x',
                                         0x1C, 1, 'x', 0x1E, 1,   'x', 0x17, 4, '9', '9',  '1', '2',
                                         0x18, 4, '1', '9',  '9', '9', 'x'}));
}

TEST(Asn1Encode, BitStringCountsUnusedBits) {
  const unsigned char bits[] = {0xFF, 0xFF};
  const struct {
    int bit_count;
    Bytes expected;
  } cases[] = {
      {0, {0x03, 0x01, 0x00}},
      {16, {0x03, 0x03, 0x00, 0xFF, 0xFF}},
      {10, {0x03, 0x03, 0x06, 0xFF, 0xC0}},
      {1, {0x03, 0x02, 0x07, 0x80}},
  };
  for (const auto& c : cases) {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), "B", bits, c.bit_count),
              static_cast<int>(c.expected.size()));
    EXPECT_EQ(Output(writer.get()), c.expected) << c.bit_count << " bits";
  }
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "B", bits, -1), -1);
  EXPECT_EQ(asn1_encode(writer.get(), "B", nullptr, 8), -1);
}

TEST(Asn1Encode, ByteArgumentsAreChecked) {
  const unsigned char x[] = {1};
  for (const char* directive : {"o", "P", "a", "M", "6", "U", "m", "A"}) {
    auto writer = NewWriter();
    EXPECT_EQ(asn1_encode(writer.get(), directive, x, -1), -1) << directive;
    EXPECT_EQ(asn1_encode(writer.get(), directive, nullptr, 1), -1) << directive;
    EXPECT_GE(asn1_encode(writer.get(), directive, nullptr, 0), 0) << directive;
  }
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "u", nullptr), -1);
}

TEST(Asn1Encode, RawBytesAreCopiedUnchanged) {
  const unsigned char element[] = {0x30, 0x03, 0x02, 0x01, 0x07};
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "{A}", element, 5), 7);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x30, 0x05, 0x30, 0x03, 0x02, 0x01, 0x07}));
}

TEST(Asn1Encode, ConstructedElementsNestAndCloseWithMinimalLengths) {
  const Bytes big(300, 0x11);
  auto writer = NewWriter();
  const int written = asn1_encode(writer.get(), "{[i](o)}", 5, 2, big.data(), 300);
  const Bytes expected = Concat({{0x30, 0x82, 0x01, 0x39, 0x31, 0x03, 0x02, 0x01, 0x05, 0xA2, 0x82,
                                  0x01, 0x30, 0x04, 0x82, 0x01, 0x2C},
                                 big});
  EXPECT_EQ(written, static_cast<int>(expected.size()));
  EXPECT_EQ(Output(writer.get()), expected);
  EXPECT_EQ(writer->open_count, 0);
}

TEST(Asn1Encode, TemplateSplitOverCallsGivesTheSameBytes) {
  const unsigned char data[] = {0xDE, 0xAD};
  auto joined = NewWriter();
  const int joined_count = asn1_encode(joined.get(), "[{io}]", 1, data, 2);
  auto split = NewWriter();
  const int first = asn1_encode(split.get(), "[{i", 1);
  EXPECT_EQ(split->length, 0);  // nothing finished at top level yet
  const int second = asn1_encode(split.get(), "o}]", data, 2);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(first + second, joined_count);
  EXPECT_EQ(Output(split.get()), Output(joined.get()));
  EXPECT_EQ(Output(split.get()),
            (Bytes{0x31, 0x09, 0x30, 0x07, 0x02, 0x01, 0x01, 0x04, 0x02, 0xDE, 0xAD}));
}

TEST(Asn1Encode, SuccessiveCallsAppendTopLevelElements) {
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "n"), 2);
  EXPECT_EQ(asn1_encode(writer.get(), "{}"), 2);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x05, 0x00, 0x30, 0x00}));
}

TEST(Asn1Encode, ContextElementTakesItsTagFromItsArgument) {
  auto writer = NewWriter();
  // A pending tag does not change '(', and '(' closes context-specific even
  // with '}'.
  EXPECT_EQ(asn1_encode(writer.get(), "t(n}", 9, 3), 4);
  EXPECT_EQ(Output(writer.get()), (Bytes{0xA3, 0x02, 0x05, 0x00}));
  EXPECT_EQ(asn1_encode(writer.get(), "(", -1), -1);
  EXPECT_EQ(asn1_encode(writer.get(), "{)"), 2);  // ')' closes a SEQUENCE as [16]
  EXPECT_EQ(Output(writer.get()), (Bytes{0xA3, 0x02, 0x05, 0x00, 0xB0, 0x00}));
}

TEST(Asn1Encode, TagOverridesApplyToOneDirective) {
  const unsigned char x[] = {'x'};
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "toiT{n}T(n)", 7, x, 1, 1, 3, 0x80, 1, 0xC0, 2), 0);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x07, 0x01, 'x',            // t: universal 7
                                         0x02, 0x01, 0x01,           // i back to INTEGER
                                         0xA3, 0x02, 0x05, 0x00,     // T 0x80 on '{' closes as [3]
                                         0xE2, 0x02, 0x05, 0x00}));  // private bits kept on '('
}

TEST(Asn1Encode, ImplicitContextTagOnPrimitive) {
  const unsigned char x[] = {0xAB};
  auto writer = NewWriter();
  ASSERT_EQ(asn1_encode(writer.get(), "To", 1, 0x80, x, 1), 3);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x81, 0x01, 0xAB}));
}

TEST(Asn1Encode, HighTagNumbers) {
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "tntntnT{}", 30, 31, 200, INT_MAX, 0x60), 0);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x1E, 0x00, 0x1F, 0x1F, 0x00, 0x1F, 0x81, 0x48, 0x00,  //
                                         0x7F, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}));
  EXPECT_EQ(asn1_encode(writer.get(), "t", -1), -1);
}

TEST(Asn1Encode, PendingTagCarriesOverButClassByteDoesNot) {
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "T", 4, 0x80), 0);
  EXPECT_EQ(writer->override_pending, 1);
  EXPECT_EQ(asn1_encode(writer.get(), "nn"), 4);
  EXPECT_EQ(Output(writer.get()), (Bytes{0x04, 0x00, 0x05, 0x00}));
  EXPECT_EQ(writer->pending_tag, -1);
}

TEST(Asn1Encode, BadTemplatesFail) {
  auto writer = NewWriter();
  EXPECT_EQ(asn1_encode(writer.get(), "}"), -1);
  EXPECT_EQ(asn1_encode(writer.get(), ")"), -1);
  EXPECT_EQ(asn1_encode(writer.get(), "z"), -1);
  EXPECT_EQ(asn1_encode(writer.get(), "$"), -1);
  EXPECT_EQ(asn1_encode(writer.get(), nullptr), -1);
  EXPECT_EQ(asn1_encode(nullptr, "n"), -1);
  EXPECT_EQ(writer->length, 0);
}

TEST(Asn1Encode, BufferGrowsPastItsInitialSize) {
  EXPECT_EQ(NewWriter()->capacity, 8192);
  Bytes content(20000);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i);
  auto writer = NewWriter();
  const int written =
      asn1_encode(writer.get(), "{{o}{o}}", content.data(), 20000, content.data(), 8000);
  const Bytes inner_a = Concat({{0x30, 0x82, 0x4E, 0x24, 0x04, 0x82, 0x4E, 0x20}, content});
  const Bytes inner_b = Concat({{0x30, 0x82, 0x1F, 0x44, 0x04, 0x82, 0x1F, 0x40},
                                Bytes(content.begin(), content.begin() + 8000)});
  const Bytes expected = Concat({{0x30, 0x82, 0x6D, 0x70}, inner_a, inner_b});
  EXPECT_EQ(written, static_cast<int>(expected.size()));
  EXPECT_EQ(Output(writer.get()), expected);
  EXPECT_EQ(writer->capacity % 8192, 0);
  EXPECT_GE(writer->capacity, written);
}

TEST(Asn1Encode, FreeAcceptsNullAndOpenElements) {
  asn1_writer_free(nullptr);
  Asn1Writer* writer = asn1_writer_new();
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(asn1_encode(writer, "{[(i", 0, 1), 3);
  asn1_writer_free(writer);  // leak checkers verify the open records are freed
}

}  // namespace
