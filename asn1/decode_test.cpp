// Decoding: what each directive returns, the -2 end-of-input result, header
// forms, and the bounds the decoder enforces on untrusted input.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "asn1/asn1.h"
#include "asn1/test_support.h"

namespace {

using asn1_test::Bytes;
using asn1_test::Concat;
using asn1_test::NewReader;
using asn1_test::Owned;

Bytes Content(const unsigned char* bytes, int length) {
  return Bytes(bytes, bytes + length);
}

TEST(Asn1Decode, OctetStringGetsTerminatedCopy) {
  auto reader = NewReader({0x04, 0x03, 0x61, 0x62, 0x63});
  Owned<unsigned char> bytes;
  int length = -1;
  EXPECT_EQ(asn1_decode(reader.get(), "o", &bytes.ptr, &length), 0);
  ASSERT_NE(bytes.ptr, nullptr);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(Content(bytes.ptr, 4), (Bytes{0x61, 0x62, 0x63, 0x00}));
}

TEST(Asn1Decode, EndOfInputWhereHeaderShouldBeginGivesMinusTwo) {
  auto reader = NewReader({0x30, 0x03, 0x06, 0x01, 0x2A});
  Owned<int> arcs;
  int count = 0;
  Owned<unsigned char> data;
  int length = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "{O(o)}", &arcs.ptr, &count, &data.ptr, &length), -2);
  ASSERT_NE(arcs.ptr, nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(arcs.ptr[0], 1);
  EXPECT_EQ(arcs.ptr[1], 2);
  EXPECT_EQ(data.ptr, nullptr);
}

TEST(Asn1Decode, EndOfEnteredElementAlsoGivesMinusTwo) {
  // The SEQUENCE ends after its OID although more input follows.
  auto reader = NewReader({0x30, 0x03, 0x06, 0x01, 0x2A, 0x04, 0x01, 0x00});
  Owned<int> arcs;
  int count = 0;
  Owned<unsigned char> data;
  int length = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "{O(o)}", &arcs.ptr, &count, &data.ptr, &length), -2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(data.ptr, nullptr);
}

TEST(Asn1Decode, EmptyInput) {
  auto reader = NewReader({});
  ASSERT_NE(reader, nullptr);
  Owned<unsigned char> bytes;
  int length = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "o", &bytes.ptr, &length), -2);
  EXPECT_EQ(asn1_decode(reader.get(), ""), 0);
}

TEST(Asn1Decode, HexIntegerKeepsLeadingZero) {
  auto reader = NewReader({0x02, 0x02, 0x00, 0xA5, 0x02, 0x00});
  Owned<char> text;
  int count = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "I", &text.ptr, &count), 0);
  EXPECT_STREQ(text.ptr, "00A5");
  EXPECT_EQ(count, 4);
  Owned<char> empty;
  ASSERT_EQ(asn1_decode(reader.get(), "I", &empty.ptr, &count), 0);
  EXPECT_STREQ(empty.ptr, "");
  EXPECT_EQ(count, 0);
}

TEST(Asn1Decode, IntegerIsSignExtended) {
  const struct {
    Bytes input;
    int expected;
  } cases[] = {
      {{0x02, 0x01, 0x00}, 0},
      {{0x02, 0x01, 0x7F}, 127},
      {{0x02, 0x02, 0x00, 0x80}, 128},
      {{0x02, 0x01, 0xFF}, -1},
      {{0x02, 0x02, 0xFF, 0x7F}, -129},
      {{0x02, 0x01, 0x80}, -128},
      {{0x02, 0x04, 0x80, 0x00, 0x00, 0x00}, INT_MIN},
      {{0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, INT_MAX},
      {{0x02, 0x00}, 0},
      {{0x0A, 0x01, 0x05}, 5},
  };
  for (const auto& c : cases) {
    auto reader = NewReader(c.input);
    int value = 12345;
    EXPECT_EQ(asn1_decode(reader.get(), "i", &value), 0);
    EXPECT_EQ(value, c.expected);
  }
  auto reader = NewReader({0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00});
  int value = 12345;
  EXPECT_EQ(asn1_decode(reader.get(), "e", &value), -1);
  EXPECT_EQ(value, 12345);
}

TEST(Asn1Decode, BooleanAndNullContents) {
  unsigned char flag = 7;
  auto ok = NewReader({0x01, 0x01, 0xFF, 0x01, 0x01, 0x00, 0x05, 0x00});
  EXPECT_EQ(asn1_decode(ok.get(), "b", &flag), 0);
  EXPECT_EQ(flag, 0xFF);
  EXPECT_EQ(asn1_decode(ok.get(), "bn", &flag), 0);
  EXPECT_EQ(flag, 0x00);

  for (const Bytes& bad :
       {Bytes{0x01, 0x01, 0x01}, Bytes{0x01, 0x02, 0xFF, 0xFF}, Bytes{0x01, 0x00}}) {
    auto reader = NewReader(bad);
    flag = 7;
    EXPECT_EQ(asn1_decode(reader.get(), "b", &flag), -1);
    EXPECT_EQ(flag, 7);
  }
  auto null_with_content = NewReader({0x05, 0x01, 0x00});
  EXPECT_EQ(asn1_decode(null_with_content.get(), "n"), -1);
}

TEST(Asn1Decode, ObjectIdentifierArcs) {
  auto reader = NewReader({0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02,  //
                           0x06, 0x07, 0x77, 0x00, 0x87, 0xFF, 0xFF, 0xFF, 0x7F});
  Owned<int> first;
  Owned<int> second;
  int first_count = 0;
  int second_count = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "OO", &first.ptr, &first_count, &second.ptr, &second_count),
            0);
  EXPECT_EQ(std::vector<int>(first.ptr, first.ptr + first_count),
            (std::vector<int>{1, 2, 840, 113549, 1, 7, 2}));
  EXPECT_EQ(std::vector<int>(second.ptr, second.ptr + second_count),
            (std::vector<int>{2, 39, 0, INT_MAX}));
}

TEST(Asn1Decode, MalformedObjectIdentifiersFail) {
  Bytes fifty_arcs{0x06, 49, 0x2A};
  fifty_arcs.insert(fifty_arcs.end(), 48, 0x01);
  const Bytes fifty_one_arcs = [&] {
    Bytes b = fifty_arcs;
    b[1] = 50;
    b.push_back(0x01);
    return b;
  }();
  {
    auto reader = NewReader(fifty_arcs);
    Owned<int> arcs;
    int count = 0;
    EXPECT_EQ(asn1_decode(reader.get(), "O", &arcs.ptr, &count), 0);
    EXPECT_EQ(count, 50);
  }
  const struct {
    const char* what;
    Bytes input;
  } bad[] = {
      {"first arc 3", {0x06, 0x01, 0x78}},
      {"first octet with high bit", {0x06, 0x02, 0x81, 0x01}},
      {"empty content", {0x06, 0x00}},
      {"ends inside an arc", {0x06, 0x02, 0x2A, 0x86}},
      {"arc beyond 31 bits", {0x06, 0x06, 0x2A, 0x88, 0x80, 0x80, 0x80, 0x00}},
      {"51 arcs", fifty_one_arcs},
  };
  for (const auto& c : bad) {
    auto reader = NewReader(c.input);
    Owned<int> arcs;
    int count = -7;
    EXPECT_EQ(asn1_decode(reader.get(), "O", &arcs.ptr, &count), -1) << c.what;
    EXPECT_EQ(arcs.ptr, nullptr) << c.what;
    EXPECT_EQ(count, -7) << c.what;
  }
}

TEST(Asn1Decode, LengthOctets) {
  // Long forms with one to four octets, non-minimal forms included.
  const Bytes payload(300, 0x42);
  const struct {
    Bytes header;
    int length;
  } ok[] = {
      {{0x04, 0x81, 0x05}, 5},
      {{0x04, 0x82, 0x01, 0x2C}, 300},
      {{0x04, 0x83, 0x00, 0x01, 0x2C}, 300},
      {{0x04, 0x84, 0x00, 0x00, 0x00, 0x07}, 7},
  };
  for (const auto& c : ok) {
    auto reader = NewReader(Concat({c.header, Bytes(payload.begin(), payload.begin() + c.length)}));
    Owned<unsigned char> bytes;
    int length = 0;
    EXPECT_EQ(asn1_decode(reader.get(), "o", &bytes.ptr, &length), 0);
    EXPECT_EQ(length, c.length);
  }
  const struct {
    const char* what;
    Bytes input;
  } bad[] = {
      {"five length octets", {0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}},
      {"reserved 0xFF", {0x04, 0xFF, 0x00}},
      {"indefinite length", {0x30, 0x80, 0x04, 0x00, 0x00, 0x00}},
      {"length above 2^31 - 1", {0x04, 0x84, 0x80, 0x00, 0x00, 0x00, 0x00}},
      {"length octets missing", {0x04, 0x82, 0x01}},
      {"length missing", {0x04}},
      {"content shorter than length", {0x04, 0x05, 0x61, 0x62}},
  };
  for (const auto& c : bad) {
    auto reader = NewReader(c.input);
    Owned<unsigned char> bytes;
    int length = -7;
    EXPECT_EQ(asn1_decode(reader.get(), "o", &bytes.ptr, &length), -1) << c.what;
    EXPECT_EQ(bytes.ptr, nullptr) << c.what;
    EXPECT_EQ(length, -7) << c.what;
  }
}

TEST(Asn1Decode, ConstructedLengthMustFitTheInput) {
  // Accepted only because the content is really there; a SEQUENCE claiming
  // more than the input holds fails before its content is read.
  for (const char* tmpl : {"{", "[", "(", "x"}) {
    auto reader = NewReader({0x30, 0x05, 0x02, 0x01, 0x00});
    EXPECT_EQ(asn1_decode(reader.get(), tmpl), -1) << tmpl;
  }
  auto reader = NewReader({0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x02, 0x01, 0x00});
  Owned<unsigned char> whole;
  int size = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "$", &whole.ptr, &size), -1);
  EXPECT_EQ(whole.ptr, nullptr);
}

TEST(Asn1Decode, ElementsMustStayInsideTheEnteredElement) {
  // The OCTET STRING claims five bytes; the input has them, but its SEQUENCE
  // holds only three.
  auto reader = NewReader({0x30, 0x03, 0x04, 0x05, 0x61, 0x62, 0x63, 0x64, 0x65});
  Owned<unsigned char> bytes;
  int length = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "{o", &bytes.ptr, &length), -1);
  EXPECT_EQ(bytes.ptr, nullptr);
}

TEST(Asn1Decode, LeavingSkipsUnreadContent) {
  auto reader = NewReader({0x30, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x06, 0x02, 0x01, 0x07});
  int a = 0;
  int b = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "{i}i", &a, &b), 0);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(asn1_decode(reader.get(), "}"), -1);  // nothing entered any more
}

TEST(Asn1Decode, TagsAreNotComparedWithDirectives) {
  // A UTF8String read with 'o', a SET entered with '{', an implicitly tagged
  // [1] INTEGER read with 'i'.
  auto reader = NewReader({0x0C, 0x02, 0x68, 0x69, 0x31, 0x03, 0x81, 0x01, 0x09});
  Owned<unsigned char> text;
  int length = 0;
  int value = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "o{i}", &text.ptr, &length, &value), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text.ptr)), "hi");
  EXPECT_EQ(value, 9);
}

TEST(Asn1Decode, PeekReportsTagWithoutConsuming) {
  auto reader = NewReader({0xA0, 0x03, 0x02, 0x01, 0x01, 0x1F, 0x81, 0x48, 0x00});
  int tag = -1;
  unsigned char class_bits = 0;
  int value = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "t", &tag, &class_bits), 0);
  EXPECT_EQ(tag, 0);
  EXPECT_EQ(class_bits, 0xA0);
  ASSERT_EQ(asn1_decode(reader.get(), "(i)t", &value, &tag, &class_bits), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(tag, 200);
  EXPECT_EQ(class_bits, 0x00);
  EXPECT_EQ(asn1_decode(reader.get(), "nt", &tag, &class_bits), -2);
}

TEST(Asn1Decode, HighTagNumberLimits) {
  // Five octets after the first are allowed; a sixth is not.
  auto five = NewReader({0x1F, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x00});
  int tag = 0;
  unsigned char class_bits = 0;
  EXPECT_EQ(asn1_decode(five.get(), "t", &tag, &class_bits), 0);
  EXPECT_EQ(tag, INT_MAX);
  const struct {
    const char* what;
    Bytes input;
  } bad[] = {
      {"six tag octets", {0x1F, 0x80, 0x80, 0x80, 0x80, 0x81, 0x01, 0x00}},
      {"tag above 31 bits", {0x1F, 0x88, 0x80, 0x80, 0x80, 0x00, 0x00}},
      {"input ends in tag", {0x1F, 0x81}},
  };
  for (const auto& c : bad) {
    auto reader = NewReader(c.input);
    EXPECT_EQ(asn1_decode(reader.get(), "x"), -1) << c.what;
  }
}

TEST(Asn1Decode, WholeElementCopyAndSkip) {
  auto reader = NewReader({0x30, 0x03, 0x02, 0x01, 0x07, 0x05, 0x00, 0x04, 0x01, 0x61});
  Owned<unsigned char> whole;
  int size = 0;
  Owned<unsigned char> last;
  int last_length = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "$xo", &whole.ptr, &size, &last.ptr, &last_length), 0);
  EXPECT_EQ(Content(whole.ptr, size + 1), (Bytes{0x30, 0x03, 0x02, 0x01, 0x07, 0x00}));
  EXPECT_EQ(last_length, 1);
  EXPECT_EQ(last.ptr[0], 0x61);
}

TEST(Asn1Decode, TextAndTimeDirectives) {
  auto reader = NewReader({0x16, 0x03, 'a', 'b', 'c', 0x17, 0x0D, '1', '5', '0',
                           '3',  '1',  '7', '0', '8', '0',  '5',  '0', '9', 'Z'});
  Owned<char> text;
  char time[ASN1_TIME_BUFFER_SIZE];
  ASSERT_EQ(asn1_decode(reader.get(), "au", &text.ptr, time), 0);
  EXPECT_STREQ(text.ptr, "abc");
  EXPECT_STREQ(time, "150317080509Z");

  // The longest content that fits the caller's buffer, and one octet more.
  const Bytes fits =
      Concat({{0x18, ASN1_TIME_BUFFER_SIZE - 1}, Bytes(ASN1_TIME_BUFFER_SIZE - 1, '7')});
  const Bytes too_long = Concat({{0x18, ASN1_TIME_BUFFER_SIZE}, Bytes(ASN1_TIME_BUFFER_SIZE, '7')});
  auto fit_reader = NewReader(fits);
  EXPECT_EQ(asn1_decode(fit_reader.get(), "g", time), 0);
  EXPECT_EQ(std::strlen(time), static_cast<std::size_t>(ASN1_TIME_BUFFER_SIZE - 1));
  auto long_reader = NewReader(too_long);
  EXPECT_EQ(asn1_decode(long_reader.get(), "g", time), -1);
}

TEST(Asn1Decode, BitStrings) {
  auto reader = NewReader({0x03, 0x03, 0x06, 0xFF, 0xFF, 0x03, 0x01, 0x00});
  Owned<unsigned char> bits;
  int bit_count = 0;
  Owned<unsigned char> empty;
  int empty_count = -1;
  ASSERT_EQ(asn1_decode(reader.get(), "BB", &bits.ptr, &bit_count, &empty.ptr, &empty_count), 0);
  EXPECT_EQ(bit_count, 10);
  EXPECT_EQ(Content(bits.ptr, 3), (Bytes{0xFF, 0xC0, 0x00}));
  EXPECT_EQ(empty_count, 0);

  for (const Bytes& bad :
       {Bytes{0x03, 0x02, 0x08, 0xFF}, Bytes{0x03, 0x01, 0x05}, Bytes{0x03, 0x00}}) {
    auto bad_reader = NewReader(bad);
    Owned<unsigned char> out;
    int count = -7;
    EXPECT_EQ(asn1_decode(bad_reader.get(), "B", &out.ptr, &count), -1);
    EXPECT_EQ(out.ptr, nullptr);
    EXPECT_EQ(count, -7);
  }
}

TEST(Asn1Decode, PositionCarriesOverBetweenCalls) {
  // A SignerInfo-like SET read in five calls, as the signature parser does.
  const Bytes signer_infos = {0x31, 0x1D, 0x30, 0x1B, 0x02, 0x01, 0x01, 0x30, 0x07, 0x30, 0x00,
                              0x02, 0x03, 0x00, 0x80, 0x01, 0x30, 0x05, 0x06, 0x01, 0x2B, 0x05,
                              0x00, 0x30, 0x02, 0x05, 0x00, 0x04, 0x02, 0xAB, 0xCD};
  auto reader = NewReader(signer_infos);
  int version = 0;
  Owned<unsigned char> issuer;
  int issuer_size = 0;
  Owned<char> serial;
  int serial_digits = 0;
  Owned<int> digest;
  int digest_count = 0;
  Owned<unsigned char> signature;
  int signature_length = 0;
  EXPECT_EQ(asn1_decode(reader.get(), "[{i", &version), 0);
  EXPECT_EQ(
      asn1_decode(reader.get(), "{$I}", &issuer.ptr, &issuer_size, &serial.ptr, &serial_digits), 0);
  EXPECT_EQ(asn1_decode(reader.get(), "{On}", &digest.ptr, &digest_count), 0);
  EXPECT_EQ(asn1_decode(reader.get(), "{xn}"), -2);  // the second SEQUENCE holds only a NULL
  EXPECT_EQ(asn1_decode(reader.get(), "}o}]", &signature.ptr, &signature_length), 0);
  EXPECT_EQ(version, 1);
  EXPECT_EQ(issuer_size, 2);
  EXPECT_STREQ(serial.ptr, "008001");
  EXPECT_EQ(digest_count, 2);
  EXPECT_EQ(Content(signature.ptr, signature_length), (Bytes{0xAB, 0xCD}));
  EXPECT_EQ(reader->position, static_cast<int>(signer_infos.size()));
}

TEST(Asn1Decode, BadCallsFail) {
  EXPECT_EQ(asn1_reader_new(nullptr, 3), nullptr);
  const unsigned char byte = 0;
  EXPECT_EQ(asn1_reader_new(&byte, -1), nullptr);
  asn1_reader_free(nullptr);

  auto reader = NewReader({0x04, 0x01, 0x61});
  int length = 0;
  EXPECT_EQ(asn1_decode(nullptr, "n"), -1);
  EXPECT_EQ(asn1_decode(reader.get(), nullptr), -1);
  EXPECT_EQ(asn1_decode(reader.get(), "o", nullptr, &length), -1);
  for (const char* unknown : {"P", "M", "U", "m", "A", "T", "?"}) {
    EXPECT_EQ(asn1_decode(reader.get(), unknown), -1) << unknown;
  }
  EXPECT_EQ(reader->position, 0);  // nothing consumed by the failures
}

TEST(Asn1Decode, ReaderKeepsItsOwnCopy) {
  Bytes input = {0x02, 0x01, 0x05};
  Asn1Reader* reader = asn1_reader_new(input.data(), 3);
  ASSERT_NE(reader, nullptr);
  input[2] = 0x06;
  int value = 0;
  EXPECT_EQ(asn1_decode(reader, "i", &value), 0);
  EXPECT_EQ(value, 5);
  asn1_reader_free(reader);
}

}  // namespace
