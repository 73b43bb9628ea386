// A bounds-checked reader of DER tag-length-value elements in the manner of
// BoringSSL's CBS, for the structures the platform takes apart itself (names,
// the fields of a certificate kept as encoded). It never reads outside the
// bytes it was given and takes only DER's lengths: definite, in as few octets
// as they need, at most four of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quorvel::platform::der {

struct Element {
  uint8_t tag = 0;                    // the identifier octet (low-tag-number form only)
  std::span<const uint8_t> content;   // the content octets
  std::span<const uint8_t> encoding;  // the whole element, identifier to last content octet
};

inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kObjectIdentifier = 0x06;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kSet = 0x31;
inline constexpr uint8_t kExplicit0 = 0xA0;  // [0], constructed

// Reads elements one after the other from a span. Every read either takes a
// whole element and returns true, or returns false and consumes nothing.
class Reader {
 public:
  Reader() = default;
  explicit Reader(std::span<const uint8_t> bytes) : rest_(bytes) {}

  bool AtEnd() const { return rest_.empty(); }
  std::span<const uint8_t> Rest() const { return rest_; }

  // The next element, whatever its tag; false when the bytes do not begin
  // with a DER element (a high tag number, the indefinite form, a length in
  // more octets than it needs or in more than four, a length beyond the
  // bytes).
  bool Next(Element& element);

  // The next element when its identifier octet is `tag`.
  bool ReadElement(uint8_t tag, Element& element);
  // The same, giving a reader over its content.
  bool ReadElement(uint8_t tag, Reader& content);

  // When the next element has `tag`, reads it as ReadElement and sets
  // `present`; otherwise, or at the end, leaves `present` false and consumes
  // nothing. False only when the next bytes are not a DER element.
  bool ReadOptional(uint8_t tag, Reader& content, bool& present);

  // A non-negative INTEGER that fits 64 bits, in as few octets as it needs.
  bool ReadUint64(uint64_t& value);

 private:
  std::span<const uint8_t> rest_;
};

// Whether any element of `bytes`, inside constructed elements to any depth,
// has the indefinite length form. The elements are read as BER allows (long
// and non-minimal lengths, high tag numbers); bytes that do not read as
// elements end the walk with false, leaving it to the decoder to refuse them.
bool HasIndefiniteLength(std::span<const uint8_t> bytes);

// The dotted form of an OBJECT IDENTIFIER's content octets; false when they
// are malformed or an arc does not fit 64 bits.
bool OidToDotted(std::span<const uint8_t> content, std::string& dotted);

// The content octets of an OBJECT IDENTIFIER from its dotted form; false when
// the text is not a valid dotted identifier.
bool DottedToOid(std::string_view dotted, std::basic_string<uint8_t>& content);

}  // namespace quorvel::platform::der
