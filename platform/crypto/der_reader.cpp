#include "platform/crypto/der_reader.h"

#include <charconv>
#include <limits>
#include <vector>

namespace quorvel::platform::der {

bool Reader::Next(Element& element) {
  if (rest_.size() < 2) return false;
  const uint8_t tag = rest_[0];
  if ((tag & 0x1F) == 0x1F) return false;
  std::size_t offset = 1;
  std::size_t length = rest_[offset++];
  if ((length & 0x80) != 0) {
    const std::size_t octets = length & 0x7F;
    // 0x80 alone is the indefinite form; four octets are far more than any
    // structure read here needs.
    if (octets == 0 || octets > 4 || rest_.size() - offset < octets) return false;
    if (rest_[offset] == 0) return false;  // a leading zero octet
    length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | rest_[offset++];
    if (length < 0x80) return false;  // the short form would do
  }
  if (rest_.size() - offset < length) return false;
  element.tag = tag;
  element.content = rest_.subspan(offset, length);
  element.encoding = rest_.first(offset + length);
  rest_ = rest_.subspan(offset + length);
  return true;
}

bool Reader::ReadElement(uint8_t tag, Element& element) {
  Reader ahead = *this;
  Element next;
  if (!ahead.Next(next) || next.tag != tag) return false;
  element = next;
  *this = ahead;
  return true;
}

bool Reader::ReadElement(uint8_t tag, Reader& content) {
  Element element;
  if (!ReadElement(tag, element)) return false;
  content = Reader(element.content);
  return true;
}

bool Reader::ReadOptional(uint8_t tag, Reader& content, bool& present) {
  present = false;
  if (AtEnd() || rest_[0] != tag) return true;
  if (!ReadElement(tag, content)) return false;
  present = true;
  return true;
}

bool Reader::ReadUint64(uint64_t& value) {
  Reader ahead = *this;
  Element element;
  if (!ahead.ReadElement(kInteger, element)) return false;
  const std::span<const uint8_t> octets = element.content;
  if (octets.empty() || (octets[0] & 0x80) != 0) return false;  // none, or negative
  // A leading zero octet only where the next would read as negative.
  if (octets.size() > 1 && octets[0] == 0 && (octets[1] & 0x80) == 0) return false;
  const std::span<const uint8_t> magnitude = octets[0] == 0 ? octets.subspan(1) : octets;
  if (magnitude.size() > sizeof(uint64_t)) return false;
  uint64_t read = 0;
  for (const uint8_t octet : magnitude) read = (read << 8) | octet;
  value = read;
  *this = ahead;
  return true;
}

// A constructed element's content is the elements inside it, so the walk
// goes on at its first content octet; a primitive element's is skipped.
bool HasIndefiniteLength(std::span<const uint8_t> bytes) {
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    const uint8_t identifier = bytes[i++];
    if ((identifier & 0x1F) == 0x1F) {
      while (i < size && (bytes[i] & 0x80) != 0) ++i;
      if (i++ >= size) return false;
    }
    if (i >= size) return false;
    const uint8_t first = bytes[i++];
    if (first == 0x80) return true;
    std::size_t length = first;
    if ((first & 0x80) != 0) {
      const std::size_t octets = first & 0x7F;
      if (octets > sizeof(std::size_t) || size - i < octets) return false;
      length = 0;
      for (std::size_t k = 0; k < octets; ++k) length = (length << 8) | bytes[i++];
    }
    if (size - i < length) return false;
    if ((identifier & 0x20) == 0) i += length;
  }
  return false;
}

bool OidToDotted(std::span<const uint8_t> content, std::string& dotted) {
  if (content.empty() || (content.back() & 0x80) != 0) return false;
  std::vector<uint64_t> arcs;
  uint64_t value = 0;
  bool fresh = true;
  for (const uint8_t octet : content) {
    if (fresh && octet == 0x80) return false;  // a padded arc is not DER
    if (value > (std::numeric_limits<uint64_t>::max() >> 7)) return false;
    value = (value << 7) | (octet & 0x7F);
    fresh = (octet & 0x80) == 0;
    if (fresh) {
      arcs.push_back(value);
      value = 0;
    }
  }
  const uint64_t first = arcs.front();
  const uint64_t top = first < 40 ? 0 : first < 80 ? 1 : 2;
  arcs.front() = first - top * 40;
  // Appended piece by piece: GCC 12 at -O3 misreads `"." + std::to_string(…)`
  // as an overlapping copy.
  std::string text = std::to_string(top);
  for (const uint64_t arc : arcs) {
    text.push_back('.');
    text.append(std::to_string(arc));
  }
  dotted = std::move(text);
  return true;
}

bool DottedToOid(std::string_view dotted, std::basic_string<uint8_t>& content) {
  std::vector<uint64_t> arcs;
  const char* position = dotted.data();
  const char* const end = dotted.data() + dotted.size();
  while (true) {
    uint64_t arc = 0;
    const auto [next, ec] = std::from_chars(position, end, arc);
    if (ec != std::errc() || next == position) return false;
    if (next - position > 1 && *position == '0') return false;
    arcs.push_back(arc);
    position = next;
    if (position == end) break;
    if (*position != '.') return false;
    ++position;
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return false;
  if (arcs[1] > std::numeric_limits<uint64_t>::max() - 80) return false;
  std::basic_string<uint8_t> encoded;
  const auto append = [&](uint64_t arc) {
    uint8_t groups[10];
    int count = 0;
    do {
      groups[count++] = static_cast<uint8_t>(arc & 0x7F);
      arc >>= 7;
    } while (arc != 0);
    while (count > 1) encoded.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    encoded.push_back(groups[0]);
  };
  append(arcs[0] * 40 + arcs[1]);
  for (std::size_t i = 2; i < arcs.size(); ++i) append(arcs[i]);
  content = std::move(encoded);
  return true;
}

}  // namespace quorvel::platform::der
