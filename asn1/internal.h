// Helpers shared by the encoder and decoder; not part of the public interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn1.h"

namespace asn1_internal {

// Identifier octets of a tag: at most one leading octet and five base-128
// octets for a 32-bit tag number.
constexpr int kMaxIdentifierOctets = 6;
// Length octets: at most 0x84 followed by four octets.
constexpr int kMaxLengthOctets = 5;
// Content of an OBJECT IDENTIFIER: one octet for the first two arcs and at
// most five octets for each further 31-bit arc.
constexpr int kMaxOidContent = 1 + (ASN1_MAX_OID_ARCS - 2) * 5;

// Writes the identifier octets of a tag with the given class and constructed
// bits (top three bits of class_bits); returns their count. tag must be >= 0.
int EncodeIdentifier(unsigned char class_bits, int tag, unsigned char* out);
// Number of identifier octets EncodeIdentifier would write.
int IdentifierSize(int tag);
// Writes the minimal definite length octets; returns their count. length >= 0.
int EncodeLength(int length, unsigned char* out);

// Minimal two's-complement content octets of a 32-bit value; returns 1 to 4.
int EncodeIntegerContent(std::int32_t value, unsigned char* out);
// Value of 0 to 4 big-endian two's-complement octets; false for more.
bool DecodeIntegerContent(const unsigned char* content, int length, std::int32_t* value);

// Octets of a hexadecimal text of 1 to ASN1_MAX_HEX_DIGITS digits (an odd
// count reads as if it had a leading 0); returns the octet count or -1 for an
// empty, too long or non-hexadecimal text. out needs room for
// ASN1_MAX_HEX_DIGITS / 2 octets.
int HexToOctets(const char* digits, int count, unsigned char* out);
// Writes two upper-case hexadecimal digits per octet and a terminating NUL.
void OctetsToHex(const unsigned char* octets, int count, char* out);

// Content octets of an OBJECT IDENTIFIER; returns their count or -1 for arcs
// outside the accepted limits. out needs room for kMaxOidContent octets.
int EncodeOid(const int* arcs, int count, unsigned char* out);
// Arcs of an OBJECT IDENTIFIER content; false for malformed content. arcs
// needs room for ASN1_MAX_OID_ARCS values.
bool DecodeOid(const unsigned char* content, int length, int* arcs, int* count);

// --- Writer internals -------------------------------------------------------

// Appends one primitive element: its identifier and length octets, then room
// for content_length content octets, which the caller fills through the
// returned pointer. *written receives the element's total size. Returns null
// on failure (bad length, buffer limit, no memory); the writer is unchanged.
unsigned char* WriterAppendElement(Asn1Writer* writer, unsigned char class_bits, int tag,
                                   int content_length, int* written);
// Appends bytes unchanged; returns false on failure.
bool WriterAppendRaw(Asn1Writer* writer, const unsigned char* bytes, int length);
// Begins a constructed element, reserving room for its header.
bool WriterBegin(Asn1Writer* writer, int tag, unsigned char class_bits, bool context);
// Closes the innermost open element and returns the size of the header it
// wrote, or -1 when nothing is open.
int WriterClose(Asn1Writer* writer, bool context_closer);

// --- Reader internals -------------------------------------------------------

struct ElementHeader {
  unsigned char identifier;  // first identifier octet
  int tag;                   // tag number
  int start;                 // offset of the first identifier octet
  int content_start;         // offset of the first content octet
  int content_length;        // content octets, all inside the current bounds
};

// Reads the header of the element at the reader's position without moving it.
// Returns 0 and fills *header when the whole element lies inside the current
// bounds (the input and every entered element), -2 when the position is at
// those bounds' end, and -1 for a malformed or overrunning header.
int ReaderPeekHeader(const Asn1Reader* reader, ElementHeader* header);
// Enters the element whose header was just peeked.
bool ReaderEnter(Asn1Reader* reader, const ElementHeader& header);
// Leaves the innermost entered element, moving to its end.
bool ReaderLeave(Asn1Reader* reader);

}  // namespace asn1_internal
