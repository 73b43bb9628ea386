// Drives the codec with templates taken from the input itself.
//
// Input layout: the first byte gives a directive count (0..31), the next
// bytes pick the directives, and the rest is both the bytes to decode and a
// stream of values to encode.
//
// 1. Decoding: the chosen decoding directives run one call each over the
//    rest of the input (the reader's position carries over between calls,
//    exactly like one long template).
// 2. Encoding: the chosen encoding directives run one call each with values
//    drawn from the input; every open element is closed at the end, and the
//    output is decoded again with the matching directives, which must give
//    back every value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr char kDecodeDirectives[] = "{[(}])iebnoa6ugBIO$tx";
constexpr char kEncodeDirectives[] = "{[(}])iebnoa6ugBIOt";

class Values {
 public:
  Values(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int Int() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<int>(v);
  }
  std::vector<unsigned char> Bytes(std::size_t most) {
    const std::size_t n = std::min<std::size_t>(Byte() % (most + 1), size_ - at_);
    std::vector<unsigned char> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void DecodeDirective(Asn1Reader* reader, char directive, int input_size) {
  const char tmpl[2] = {directive, '\0'};
  int value = 0;
  unsigned char flag = 0;
  unsigned char* bytes = nullptr;
  char* text = nullptr;
  int* arcs = nullptr;
  int length = -1;
  char time[ASN1_TIME_BUFFER_SIZE];
  int result = 0;
  switch (directive) {
    case 'i':
    case 'e':
      result = asn1_decode(reader, tmpl, &value);
      break;
    case 'b':
      result = asn1_decode(reader, tmpl, &flag);
      break;
    case 'o':
    case '6':
    case 'B':
    case '$':
      result = asn1_decode(reader, tmpl, &bytes, &length);
      break;
    case 'a':
      result = asn1_decode(reader, tmpl, &text);
      break;
    case 'u':
    case 'g':
      result = asn1_decode(reader, tmpl, time);
      if (result == 0) Check(std::strlen(time) < ASN1_TIME_BUFFER_SIZE);
      break;
    case 'I':
      result = asn1_decode(reader, tmpl, &text, &length);
      break;
    case 'O':
      result = asn1_decode(reader, tmpl, &arcs, &length);
      break;
    case 't':
      result = asn1_decode(reader, tmpl, &value, &flag);
      break;
    default:
      result = asn1_decode(reader, tmpl);
      break;
  }
  Check(result == 0 || result == -1 || result == -2);
  if (result != 0) Check(bytes == nullptr && text == nullptr && arcs == nullptr);
  if (bytes != nullptr) {
    if (directive == 'B') {
      Check(length >= 0 && length <= input_size * 8);
    } else {
      Check(length >= 0 && length <= input_size);
    }
  }
  if (arcs != nullptr) Check(length >= 2 && length <= ASN1_MAX_OID_ARCS);
  Check(reader->position >= 0 && reader->position <= reader->end);
  std::free(bytes);
  std::free(text);
  std::free(arcs);
}

// One value written by the encoder, to be read back.
struct Written {
  char directive = '\0';
  int number = 0;
  std::vector<unsigned char> bytes;
  std::vector<int> arcs;
  std::string text;
};

void EncodeAndReadBack(const std::vector<char>& directives, Values& values) {
  Asn1Writer* writer = asn1_writer_new();
  if (writer == nullptr) return;
  std::vector<Written> written;
  int open = 0;
  long long total = 0;
  for (const char directive : directives) {
    const char tmpl[2] = {directive, '\0'};
    Written w;
    w.directive = directive;
    int result = 0;
    switch (directive) {
      case '{':
      case '[':
        result = asn1_encode(writer, tmpl);
        break;
      case '(':
        result = asn1_encode(writer, tmpl, values.Byte() % 40);
        break;
      case '}':
      case ']':
      case ')':
        result = asn1_encode(writer, tmpl);
        Check((result == -1) == (open == 0));
        break;
      case 'i':
      case 'e':
      case 'b':
        w.number = values.Int();
        result = asn1_encode(writer, tmpl, w.number);
        break;
      case 'n':
        result = asn1_encode(writer, tmpl);
        break;
      case 'o':
      case 'a':
      case '6':
        w.bytes = values.Bytes(300);
        result = asn1_encode(writer, tmpl, w.bytes.data(), static_cast<int>(w.bytes.size()));
        break;
      case 'u':
      case 'g': {
        for (unsigned char c : values.Bytes(ASN1_TIME_BUFFER_SIZE - 1)) {
          w.text.push_back(static_cast<char>('0' + c % 10));
        }
        result = asn1_encode(writer, tmpl, w.text.c_str());
        break;
      }
      case 'B':
        w.bytes = values.Bytes(40);
        w.number = static_cast<int>(w.bytes.size() * 8) - (w.bytes.empty() ? 0 : values.Byte() % 8);
        result = asn1_encode(writer, tmpl, w.bytes.data(), w.number);
        break;
      case 'I': {
        static const char kHex[] = "0123456789abcdef";
        for (unsigned char c : values.Bytes(ASN1_MAX_HEX_DIGITS)) w.text.push_back(kHex[c % 16]);
        result = asn1_encode(writer, tmpl, w.text.c_str(), static_cast<int>(w.text.size()));
        Check((result == -1) == w.text.empty());
        break;
      }
      case 'O': {
        const int count = 2 + values.Byte() % (ASN1_MAX_OID_ARCS - 1);
        w.arcs.push_back(values.Byte() % 3);
        w.arcs.push_back(values.Byte() % 40);
        while (static_cast<int>(w.arcs.size()) < count) w.arcs.push_back(values.Int() & 0x7FFFFFFF);
        result = asn1_encode(writer, tmpl, w.arcs.data(), count);
        break;
      }
      case 't':
        result = asn1_encode(writer, tmpl, values.Byte() % 64);
        break;
      default:
        break;
    }
    if (result < 0) continue;
    total += result;
    if (directive == '{' || directive == '[' || directive == '(') ++open;
    if (directive == '}' || directive == ']' || directive == ')') --open;
    if (directive != 't') written.push_back(std::move(w));
  }
  for (; open > 0; --open) {
    const int result = asn1_encode(writer, "}");
    Check(result > 0);
    total += result;
    Written close;
    close.directive = '}';
    written.push_back(close);
  }
  Check(writer->open_count == 0);
  Check(total == writer->length);  // the calls' counts add up to the output

  Asn1Reader* reader = asn1_reader_new(writer->buffer, writer->length);
  Check(reader != nullptr);
  for (const Written& w : written) {
    const char tmpl[2] = {w.directive, '\0'};
    switch (w.directive) {
      case 'i':
      case 'e': {
        int value = ~w.number;
        Check(asn1_decode(reader, tmpl, &value) == 0 && value == w.number);
        break;
      }
      case 'b': {
        unsigned char flag = 0x55;
        Check(asn1_decode(reader, tmpl, &flag) == 0 && flag == (w.number != 0 ? 0xFF : 0x00));
        break;
      }
      case 'o':
      case '6': {
        unsigned char* bytes = nullptr;
        int length = -1;
        Check(asn1_decode(reader, tmpl, &bytes, &length) == 0);
        Check(static_cast<std::size_t>(length) == w.bytes.size());
        Check(length == 0 || std::memcmp(bytes, w.bytes.data(), w.bytes.size()) == 0);
        std::free(bytes);
        break;
      }
      case 'a': {
        char* text = nullptr;
        Check(asn1_decode(reader, tmpl, &text) == 0);
        Check(w.bytes.empty() || std::memcmp(text, w.bytes.data(), w.bytes.size()) == 0);
        Check(text[w.bytes.size()] == '\0');
        std::free(text);
        break;
      }
      case 'u':
      case 'g': {
        char time[ASN1_TIME_BUFFER_SIZE];
        Check(asn1_decode(reader, tmpl, time) == 0 && w.text == time);
        break;
      }
      case 'B': {
        unsigned char* bytes = nullptr;
        int bits = -1;
        Check(asn1_decode(reader, tmpl, &bytes, &bits) == 0 && bits == w.number);
        for (int i = 0; i < bits; ++i) {
          const auto index = static_cast<std::size_t>(i / 8);
          Check(((bytes[index] ^ w.bytes[index]) >> (7 - i % 8) & 1) == 0);
        }
        std::free(bytes);
        break;
      }
      case 'I': {
        char* text = nullptr;
        int digits = 0;
        Check(asn1_decode(reader, tmpl, &text, &digits) == 0);
        // Upper case, padded to an even count with one leading 0.
        std::string expected = (w.text.size() % 2 != 0 ? "0" : "") + w.text;
        for (char& c : expected) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
        Check(expected == text && digits == static_cast<int>(expected.size()));
        std::free(text);
        break;
      }
      case 'O': {
        int* arcs = nullptr;
        int count = 0;
        Check(asn1_decode(reader, tmpl, &arcs, &count) == 0);
        Check(std::vector<int>(arcs, arcs + count) == w.arcs);
        std::free(arcs);
        break;
      }
      default:
        Check(asn1_decode(reader, tmpl) == 0);
        break;
    }
  }
  Check(reader->position == reader->end);
  asn1_reader_free(reader);
  asn1_writer_free(writer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 16)) return 0;
  const std::size_t count = std::min<std::size_t>(data[0] % 32, size - 1);
  std::vector<unsigned char> picks(data + 1, data + 1 + count);
  const std::uint8_t* rest = data + 1 + count;
  const std::size_t rest_size = size - 1 - count;

  static const unsigned char kEmpty = 0;
  Asn1Reader* reader = asn1_reader_new(rest_size > 0 ? rest : &kEmpty, static_cast<int>(rest_size));
  Check(reader != nullptr);
  for (const unsigned char pick : picks) {
    DecodeDirective(reader, kDecodeDirectives[pick % (sizeof(kDecodeDirectives) - 1)],
                    static_cast<int>(rest_size));
  }
  asn1_reader_free(reader);

  std::vector<char> directives;
  for (const unsigned char pick : picks) {
    directives.push_back(kEncodeDirectives[pick % (sizeof(kEncodeDirectives) - 1)]);
  }
  Values values(rest, rest_size);
  EncodeAndReadBack(directives, values);
  return 0;
}
