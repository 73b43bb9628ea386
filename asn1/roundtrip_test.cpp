// Round trips: values encoded with each directive decode to the same values,
// and a PKCS#7 SignedData built in parts by the encoder is taken apart again
// with the templates the signature parser uses.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "asn1/test_support.h"

namespace {

using asn1_test::Bytes;
using asn1_test::NewReader;
using asn1_test::NewWriter;
using asn1_test::Output;
using asn1_test::Owned;

std::vector<int> Arcs(const int* arcs, int count) {
  return std::vector<int>(arcs, arcs + count);
}

TEST(Asn1RoundTrip, IntegersAndEnumerations) {
  std::vector<int> values = {0,     1,      -1,    127,     128,      -128,    -129,    255,    256,
                             32767, -32768, 32768, 8388607, -8388608, 8388608, INT_MAX, INT_MIN};
  for (long long v = INT_MIN; v <= INT_MAX; v += 9876543) values.push_back(static_cast<int>(v));
  for (const int value : values) {
    auto writer = NewWriter();
    ASSERT_GT(asn1_encode(writer.get(), "ie", value, value), 0);
    auto reader = NewReader(Output(writer.get()));
    int a = ~value;
    int b = ~value;
    ASSERT_EQ(asn1_decode(reader.get(), "ie", &a, &b), 0);
    EXPECT_EQ(a, value);
    EXPECT_EQ(b, value);
  }
}

TEST(Asn1RoundTrip, BooleanNullAndByteStrings) {
  const Bytes bytes = {0x00, 0x01, 0x7F, 0x80, 0xFF};
  const std::string text = "Quorvel";
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "bbno6a", 1, 0, bytes.data(), 5, bytes.data(), 5, text.data(),
                        static_cast<int>(text.size())),
            0);
  auto reader = NewReader(Output(writer.get()));
  unsigned char yes = 0;
  unsigned char no = 1;
  Owned<unsigned char> octets;
  int octets_length = 0;
  Owned<unsigned char> t61;
  int t61_length = 0;
  Owned<char> ia5;
  ASSERT_EQ(asn1_decode(reader.get(), "bbno6a", &yes, &no, &octets.ptr, &octets_length, &t61.ptr,
                        &t61_length, &ia5.ptr),
            0);
  EXPECT_EQ(yes, 0xFF);
  EXPECT_EQ(no, 0x00);
  EXPECT_EQ(Bytes(octets.ptr, octets.ptr + octets_length), bytes);
  EXPECT_EQ(Bytes(t61.ptr, t61.ptr + t61_length), bytes);
  EXPECT_EQ(ia5.ptr, text);
}

TEST(Asn1RoundTrip, StringTypesWithoutOwnDecoderReadAsOctets) {
  const std::string text = "ab";
  for (const char* directive : {"P", "M", "U", "m"}) {
    auto writer = NewWriter();
    ASSERT_EQ(asn1_encode(writer.get(), directive, text.data(), 2), 4);
    auto reader = NewReader(Output(writer.get()));
    int tag = 0;
    unsigned char class_bits = 0xFF;
    Owned<unsigned char> bytes;
    int length = 0;
    ASSERT_EQ(asn1_decode(reader.get(), "to", &tag, &class_bits, &bytes.ptr, &length), 0);
    EXPECT_EQ(tag, writer->buffer[0]) << directive;
    EXPECT_EQ(class_bits, 0x00);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.ptr), static_cast<std::size_t>(length)),
              text);
  }
}

TEST(Asn1RoundTrip, Times) {
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "ug", "150317080509Z", "20150317080509.125Z"), 0);
  auto reader = NewReader(Output(writer.get()));
  char utc[ASN1_TIME_BUFFER_SIZE];
  char generalized[ASN1_TIME_BUFFER_SIZE];
  ASSERT_EQ(asn1_decode(reader.get(), "ug", utc, generalized), 0);
  EXPECT_STREQ(utc, "150317080509Z");
  EXPECT_STREQ(generalized, "20150317080509.125Z");
}

TEST(Asn1RoundTrip, BitStrings) {
  const Bytes bytes = {0xA5, 0x5A, 0xFF};
  for (int bits = 0; bits <= 24; ++bits) {
    auto writer = NewWriter();
    ASSERT_GT(asn1_encode(writer.get(), "B", bytes.data(), bits), 0);
    auto reader = NewReader(Output(writer.get()));
    Owned<unsigned char> out;
    int count = -1;
    ASSERT_EQ(asn1_decode(reader.get(), "B", &out.ptr, &count), 0);
    EXPECT_EQ(count, bits);
    // Every bit inside the count survives; the rest are cleared.
    for (int i = 0; i < (bits + 7) / 8 * 8; ++i) {
      const int expected =
          i < bits ? (bytes[static_cast<std::size_t>(i / 8)] >> (7 - i % 8)) & 1 : 0;
      EXPECT_EQ((out.ptr[i / 8] >> (7 - i % 8)) & 1, expected) << bits << " bits, bit " << i;
    }
  }
}

TEST(Asn1RoundTrip, HexIntegersComeBackUpperCaseAndPadded) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"00ff", "00FF"},
      {"1a2", "01A2"},
      {"7", "07"},
      {"DEADBEEF", "DEADBEEF"},
      {std::string(256, 'f'), std::string(256, 'F')},
  };
  for (const auto& c : cases) {
    auto writer = NewWriter();
    ASSERT_GT(asn1_encode(writer.get(), "I", c.in.c_str(), static_cast<int>(c.in.size())), 0);
    auto reader = NewReader(Output(writer.get()));
    Owned<char> text;
    int count = 0;
    ASSERT_EQ(asn1_decode(reader.get(), "I", &text.ptr, &count), 0);
    EXPECT_EQ(text.ptr, c.out);
    EXPECT_EQ(count, static_cast<int>(c.out.size()));
  }
}

TEST(Asn1RoundTrip, ObjectIdentifiers) {
  std::vector<std::vector<int>> oids = {
      {0, 0},
      {1, 2},
      {2, 39},
      {1, 3, 14, 3, 2, 26},
      {1, 2, 840, 113549, 1, 7, 2},
      {2, 5, 4, 3},
      {1, 2, 127, 128, 16383, 16384, 2097151, 2097152, 268435455, 268435456, INT_MAX},
  };
  std::vector<int> longest = {1, 2};
  for (int i = 2; i < ASN1_MAX_OID_ARCS; ++i) longest.push_back(i * 7919);
  oids.push_back(longest);
  for (const auto& oid : oids) {
    auto writer = NewWriter();
    ASSERT_GT(asn1_encode(writer.get(), "O", oid.data(), static_cast<int>(oid.size())), 0);
    auto reader = NewReader(Output(writer.get()));
    Owned<int> arcs;
    int count = 0;
    ASSERT_EQ(asn1_decode(reader.get(), "O", &arcs.ptr, &count), 0);
    EXPECT_EQ(Arcs(arcs.ptr, count), oid);
  }
}

TEST(Asn1RoundTrip, TagOverridesAreSeenByPeek) {
  const unsigned char x[] = {0x01};
  auto writer = NewWriter();
  ASSERT_GT(asn1_encode(writer.get(), "T{i}to", 5, 0x80, 7, 1000, x, 1), 0);
  auto reader = NewReader(Output(writer.get()));
  int tag = 0;
  unsigned char class_bits = 0;
  int value = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "t{i}", &tag, &class_bits, &value), 0);
  EXPECT_EQ(tag, 5);
  EXPECT_EQ(class_bits, 0xA0);
  EXPECT_EQ(value, 7);
  Owned<unsigned char> bytes;
  int length = 0;
  ASSERT_EQ(asn1_decode(reader.get(), "to", &tag, &class_bits, &bytes.ptr, &length), 0);
  EXPECT_EQ(tag, 1000);
  EXPECT_EQ(class_bits, 0x00);
  EXPECT_EQ(length, 1);
}

// The shapes of a PKCS#7 SignedData with one signer, built part by part on
// writers of their own and put together with 'A', then taken apart with '$'.
TEST(Asn1RoundTrip, SignedDataShape) {
  const int signed_data[] = {1, 2, 840, 113549, 1, 7, 2};
  const int data[] = {1, 2, 840, 113549, 1, 7, 1};
  const int sha1[] = {1, 3, 14, 3, 2, 26};
  const int rsa[] = {1, 2, 840, 113549, 1, 1, 1};
  const unsigned char content[] = {0x61, 0x62, 0x63};
  const Bytes certificate = {0x30, 0x03, 0x02, 0x01, 0x2A};  // stands for a certificate
  const Bytes issuer = {0x30, 0x00};
  const Bytes signature(128, 0x5C);

  auto version = NewWriter();
  auto algorithms = NewWriter();
  auto content_info = NewWriter();
  auto certificates = NewWriter();
  auto signer_infos = NewWriter();
  ASSERT_GT(asn1_encode(version.get(), "i", 1), 0);
  ASSERT_GT(asn1_encode(algorithms.get(), "[{On}]", sha1, 6), 0);
  ASSERT_GT(asn1_encode(content_info.get(), "{O(o)}", data, 7, 0, content, 3), 0);
  EXPECT_EQ(Output(content_info.get()),
            (Bytes{0x30, 0x12, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D,
                   0x01, 0x07, 0x01, 0xA0, 0x05, 0x04, 0x03, 0x61, 0x62, 0x63}));
  ASSERT_GT(asn1_encode(certificates.get(), "(A)", 0, certificate.data(), 5), 0);
  ASSERT_GT(asn1_encode(signer_infos.get(), "[{i", 1), 0);
  ASSERT_GT(asn1_encode(signer_infos.get(), "{AI}", issuer.data(), 2, "80ff", 4), 0);
  ASSERT_GT(asn1_encode(signer_infos.get(), "{On}", sha1, 6), 0);
  ASSERT_GT(asn1_encode(signer_infos.get(), "{On}", rsa, 7), 0);
  ASSERT_GT(asn1_encode(signer_infos.get(), "o}]", signature.data(), 128), 0);
  auto whole = NewWriter();
  ASSERT_GT(asn1_encode(whole.get(), "{O({AAAAA})}", signed_data, 7, 0, version->buffer,
                        version->length, algorithms->buffer, algorithms->length,
                        content_info->buffer, content_info->length, certificates->buffer,
                        certificates->length, signer_infos->buffer, signer_infos->length),
            0);

  auto reader = NewReader(Output(whole.get()));
  Owned<int> type;
  int type_count = 0;
  Owned<unsigned char> parts[5];
  int sizes[5] = {};
  ASSERT_EQ(asn1_decode(reader.get(), "{O({$$$$$})}", &type.ptr, &type_count, &parts[0].ptr,
                        &sizes[0], &parts[1].ptr, &sizes[1], &parts[2].ptr, &sizes[2],
                        &parts[3].ptr, &sizes[3], &parts[4].ptr, &sizes[4]),
            0);
  EXPECT_EQ(Arcs(type.ptr, type_count), Arcs(signed_data, 7));
  EXPECT_EQ(Bytes(parts[0].ptr, parts[0].ptr + sizes[0]), Output(version.get()));
  EXPECT_EQ(Bytes(parts[1].ptr, parts[1].ptr + sizes[1]), Output(algorithms.get()));
  EXPECT_EQ(Bytes(parts[2].ptr, parts[2].ptr + sizes[2]), Output(content_info.get()));
  EXPECT_EQ(Bytes(parts[3].ptr, parts[3].ptr + sizes[3]), Output(certificates.get()));
  EXPECT_EQ(Bytes(parts[4].ptr, parts[4].ptr + sizes[4]), Output(signer_infos.get()));

  auto info_reader = NewReader(Bytes(parts[2].ptr, parts[2].ptr + sizes[2]));
  Owned<int> data_type;
  int data_count = 0;
  Owned<unsigned char> carried;
  int carried_length = 0;
  ASSERT_EQ(asn1_decode(info_reader.get(), "{O(o)}", &data_type.ptr, &data_count, &carried.ptr,
                        &carried_length),
            0);
  EXPECT_EQ(Arcs(data_type.ptr, data_count), Arcs(data, 7));
  EXPECT_EQ(Bytes(carried.ptr, carried.ptr + carried_length), Bytes(content, content + 3));

  auto signer_reader = NewReader(Bytes(parts[4].ptr, parts[4].ptr + sizes[4]));
  int signer_version = 0;
  Owned<unsigned char> name;
  int name_size = 0;
  Owned<char> serial;
  int serial_digits = 0;
  Owned<int> digest;
  int digest_count = 0;
  Owned<int> algorithm;
  int algorithm_count = 0;
  Owned<unsigned char> encrypted;
  int encrypted_length = 0;
  EXPECT_EQ(asn1_decode(signer_reader.get(), "[{i", &signer_version), 0);
  EXPECT_EQ(
      asn1_decode(signer_reader.get(), "{$I}", &name.ptr, &name_size, &serial.ptr, &serial_digits),
      0);
  EXPECT_EQ(asn1_decode(signer_reader.get(), "{On}", &digest.ptr, &digest_count), 0);
  EXPECT_EQ(asn1_decode(signer_reader.get(), "{On}", &algorithm.ptr, &algorithm_count), 0);
  EXPECT_EQ(asn1_decode(signer_reader.get(), "o}]", &encrypted.ptr, &encrypted_length), 0);
  EXPECT_EQ(signer_version, 1);
  EXPECT_EQ(Bytes(name.ptr, name.ptr + name_size), issuer);
  EXPECT_STREQ(serial.ptr, "80FF");
  EXPECT_EQ(Arcs(digest.ptr, digest_count), Arcs(sha1, 6));
  EXPECT_EQ(Arcs(algorithm.ptr, algorithm_count), Arcs(rsa, 7));
  EXPECT_EQ(Bytes(encrypted.ptr, encrypted.ptr + encrypted_length), signature);

  auto cert_reader = NewReader(Bytes(parts[3].ptr, parts[3].ptr + sizes[3]));
  Owned<unsigned char> first;
  int first_size = 0;
  EXPECT_EQ(asn1_decode(cert_reader.get(), "($)", &first.ptr, &first_size), 0);
  EXPECT_EQ(Bytes(first.ptr, first.ptr + first_size), certificate);

  // The detached form has no [0] after the data identifier.
  auto detached = NewWriter();
  ASSERT_EQ(asn1_encode(detached.get(), "{O}", data, 7), 13);
  auto detached_reader = NewReader(Output(detached.get()));
  Owned<int> detached_type;
  Owned<unsigned char> none;
  int none_length = 0;
  EXPECT_EQ(asn1_decode(detached_reader.get(), "{O(o)}", &detached_type.ptr, &data_count, &none.ptr,
                        &none_length),
            -2);
  EXPECT_EQ(none.ptr, nullptr);
}

}  // namespace
