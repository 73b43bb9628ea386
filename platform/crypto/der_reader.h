// A minimal, bounds-checked reader of DER tag-length-value elements, for the
// few structures the platform layer takes apart itself (names). It never reads
// outside the bytes it was given and refuses indefinite and overlong lengths.
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

inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kSet = 0x31;
inline constexpr uint8_t kObjectIdentifier = 0x06;

// Reads elements one after the other from a span.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : rest_(bytes) {}

  bool AtEnd() const { return rest_.empty(); }

  // Reads the next element; false (and nothing consumed) when the bytes do not
  // hold a well-formed element.
  bool Next(Element& element);

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
