// Decodes arbitrary bytes with the templates the signature parser uses on a
// PKCS#7 ContentInfo of type signedData: the outer shape, then the content
// info, the signer info set and the certificate set taken from it. Each inner
// template also runs over the raw input, so that it is exercised even when
// the outer shape does not decode. Besides memory errors (sanitizers), the
// target traps on any result that breaks the decoder's documented promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/asn1.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Every decoded buffer fits in the input it came from.
void CheckBuffer(const unsigned char* bytes, int length, int input_size) {
  if (bytes == nullptr) return;
  Check(length >= 0 && length <= input_size);
  Check(bytes[length] == 0);
}

void CheckArcs(const int* arcs, int count) {
  if (arcs == nullptr) return;
  Check(count >= 2 && count <= ASN1_MAX_OID_ARCS);
  Check(arcs[0] >= 0 && arcs[0] <= 2 && arcs[1] >= 0 && arcs[1] < 40);
  for (int i = 2; i < count; ++i) Check(arcs[i] >= 0);
}

// A whole element copied by '$' is itself exactly one element.
void CheckWholeElement(const unsigned char* bytes, int size) {
  if (bytes == nullptr) return;
  Asn1Reader* reader = asn1_reader_new(bytes, size);
  Check(reader != nullptr);
  Check(asn1_decode(reader, "x") == 0);
  Check(reader->position == size);
  asn1_reader_free(reader);
}

void DecodeContentInfo(const unsigned char* data, int size) {
  Asn1Reader* reader = asn1_reader_new(data, size);
  if (reader == nullptr) return;
  int* type = nullptr;
  int type_count = 0;
  unsigned char* content = nullptr;
  int content_length = 0;
  const int result = asn1_decode(reader, "{O(o)}", &type, &type_count, &content, &content_length);
  Check(result == 0 || result == -1 || result == -2);
  CheckArcs(type, type_count);
  CheckBuffer(content, content_length, size);
  std::free(type);
  std::free(content);
  asn1_reader_free(reader);
}

void DecodeSignerInfos(const unsigned char* data, int size) {
  Asn1Reader* reader = asn1_reader_new(data, size);
  if (reader == nullptr) return;
  int version = 0;
  unsigned char* issuer = nullptr;
  int issuer_size = 0;
  char* serial = nullptr;
  int serial_digits = 0;
  int* digest = nullptr;
  int digest_count = 0;
  int* algorithm = nullptr;
  int algorithm_count = 0;
  unsigned char* signature = nullptr;
  int signature_length = 0;
  // Each part is tried even when an earlier one failed, as the parser does.
  asn1_decode(reader, "[{i", &version);
  asn1_decode(reader, "{$I}", &issuer, &issuer_size, &serial, &serial_digits);
  asn1_decode(reader, "{On}", &digest, &digest_count);
  asn1_decode(reader, "{On}", &algorithm, &algorithm_count);
  asn1_decode(reader, "o}]", &signature, &signature_length);
  Check(reader->position >= 0 && reader->position <= reader->end);
  CheckBuffer(issuer, issuer_size, size);
  CheckWholeElement(issuer, issuer_size);
  if (serial != nullptr) {
    Check(serial_digits % 2 == 0 && serial_digits <= 2 * size);
    Check(std::strlen(serial) == static_cast<std::size_t>(serial_digits));
  }
  CheckArcs(digest, digest_count);
  CheckArcs(algorithm, algorithm_count);
  CheckBuffer(signature, signature_length, size);
  std::free(issuer);
  std::free(serial);
  std::free(digest);
  std::free(algorithm);
  std::free(signature);
  asn1_reader_free(reader);
}

void DecodeCertificates(const unsigned char* data, int size) {
  Asn1Reader* reader = asn1_reader_new(data, size);
  if (reader == nullptr) return;
  unsigned char* first = nullptr;
  int first_size = 0;
  asn1_decode(reader, "($)", &first, &first_size);
  CheckBuffer(first, first_size, size);
  CheckWholeElement(first, first_size);
  std::free(first);
  asn1_reader_free(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const int length = static_cast<int>(size);
  // Inputs of length 0 still need a non-null pointer.
  static const unsigned char kEmpty = 0;
  const unsigned char* bytes = size > 0 ? data : &kEmpty;

  Asn1Reader* reader = asn1_reader_new(bytes, length);
  Check(reader != nullptr);
  int* type = nullptr;
  int type_count = 0;
  unsigned char* parts[5] = {};
  int sizes[5] = {};
  const int result =
      asn1_decode(reader, "{O({$$$$$})}", &type, &type_count, &parts[0], &sizes[0], &parts[1],
                  &sizes[1], &parts[2], &sizes[2], &parts[3], &sizes[3], &parts[4], &sizes[4]);
  Check(result == 0 || result == -1 || result == -2);
  CheckArcs(type, type_count);
  for (int i = 0; i < 5; ++i) {
    CheckBuffer(parts[i], sizes[i], length);
    CheckWholeElement(parts[i], sizes[i]);
  }
  if (parts[2] != nullptr) DecodeContentInfo(parts[2], sizes[2]);
  if (parts[3] != nullptr) DecodeCertificates(parts[3], sizes[3]);
  if (parts[4] != nullptr) DecodeSignerInfos(parts[4], sizes[4]);
  std::free(type);
  for (unsigned char* part : parts) std::free(part);
  asn1_reader_free(reader);

  DecodeContentInfo(bytes, length);
  DecodeSignerInfos(bytes, length);
  DecodeCertificates(bytes, length);
  return 0;
}
