// Allocation bounds: a header that claims more content than the input holds
// must fail before the decoder allocates anything for it. This executable is
// linked with --wrap=malloc so that it can see every malloc the codec makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

#include "asn1/asn1.h"
#include "asn1/test_support.h"

namespace {
bool g_watching = false;
std::size_t g_largest = 0;
}  // namespace

extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
  if (g_watching) g_largest = std::max(g_largest, size);
  return __real_malloc(size);
}

namespace {

using asn1_test::Bytes;
using asn1_test::Concat;
using asn1_test::NewReader;
using asn1_test::Owned;

// Decodes one directive that returns a buffer and reports the largest
// allocation made meanwhile.
struct Outcome {
  int result;
  std::size_t largest;
};

Outcome DecodeWatched(const Bytes& input, const char* tmpl) {
  auto reader = NewReader(input);
  EXPECT_NE(reader, nullptr);
  Owned<unsigned char> bytes;
  Owned<char> text;
  Owned<int> arcs;
  int length = 0;
  g_largest = 0;
  g_watching = true;
  int result = -1;
  switch (tmpl[std::char_traits<char>::length(tmpl) - 1]) {
    case 'a':
      result = asn1_decode(reader.get(), tmpl, &text.ptr);
      break;
    case 'I':
      result = asn1_decode(reader.get(), tmpl, &text.ptr, &length);
      break;
    case 'O':
      result = asn1_decode(reader.get(), tmpl, &arcs.ptr, &length);
      break;
    default:
      result = asn1_decode(reader.get(), tmpl, &bytes.ptr, &length);
      break;
  }
  g_watching = false;
  return {result, g_largest};
}

const char* const kAllocatingTemplates[] = {"o", "6",  "a",  "B",  "I",  "$",
                                            "O", "{o", "[$", "(I", "{{a"};

TEST(Asn1Allocation, GenuineContentIsAllocated) {
  // Shows the hook sees the codec's allocations: a real 5000-byte content
  // gets its 5001-byte buffer.
  const Bytes input = Concat({{0x04, 0x82, 0x13, 0x88}, Bytes(5000, 0x33)});
  const Outcome outcome = DecodeWatched(input, "o");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.largest, 5001u);
}

TEST(Asn1Allocation, TwoGibiByteClaimWithTenBytesLeftAllocatesNothingLarge) {
  const Bytes claim = {0x04, 0x84, 0x7F, 0xFF, 0xFF, 0xFF};
  const Bytes ten(10, 0x01);
  for (const char* tmpl : kAllocatingTemplates) {
    // At top level, and inside constructed elements whose own lengths are
    // honest about the input.
    Bytes input = Concat({claim, ten});
    for (std::size_t depth = 1; depth < std::char_traits<char>::length(tmpl); ++depth) {
      input = Concat({{0x30, static_cast<unsigned char>(input.size())}, input});
    }
    const Outcome outcome = DecodeWatched(input, tmpl);
    EXPECT_EQ(outcome.result, -1) << tmpl;
    EXPECT_LE(outcome.largest, 256u) << tmpl;
  }
}

TEST(Asn1Allocation, ConstructedClaimBeyondInputAllocatesNothingLarge) {
  // The SEQUENCE claims 1 MiB; its first element is small and honest.
  const Bytes input = {0x30, 0x83, 0x10, 0x00, 0x00, 0x04, 0x02, 0x61, 0x62};
  for (const char* tmpl : {"{o", "$"}) {
    const Outcome outcome = DecodeWatched(input, tmpl);
    EXPECT_EQ(outcome.result, -1) << tmpl;
    EXPECT_LE(outcome.largest, 256u) << tmpl;
  }
}

}  // namespace
