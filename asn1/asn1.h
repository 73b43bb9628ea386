// Template-driven ASN.1 codec.
//
// asn1_encode writes DER and asn1_decode reads definite-length BER, both
// driven by a template string in the manner of a formatted print and scan:
// each template character is one directive, and the variadic arguments
// supply (encoding) or receive (decoding) the directives' values in template
// order. A template may be spread over several calls on the same writer or
// reader: elements opened in one call may be closed in a later one, and the
// reader's position carries over from call to call.
//
// Results are integers: -1 means failure. After a failure the writer or
// reader keeps what was already written or read; discard it.
//
// ---------------------------------------------------------------------------
// Encoding directives (asn1_encode)            argument types, in order
//   {   begin SEQUENCE (16)                      -
//   [   begin SET (17)                           -
//   (   begin context-specific constructed       int tag (>= 0)
//   } ] close innermost element as universal     -
//       constructed (an element begun with '(' always closes context-specific)
//   )   close innermost element as context-specific constructed
//   i   INTEGER (2), minimal two's complement    int
//   e   ENUMERATED (10), like i                  int
//   b   BOOLEAN (1), FF for non-zero             int
//   n   NULL (5)                                 -
//   o   OCTET STRING (4)                         const unsigned char*, int length
//   P   PrintableString (19)                     const unsigned char*, int length
//   a   IA5String (22)                           const unsigned char*, int length
//   M 6 T61String (20)                           const unsigned char*, int length
//   U   UniversalString (28)                     const unsigned char*, int length
//   m   BMPString (30)                           const unsigned char*, int length
//   u   UTCTime (23)                             const char* NUL-terminated text
//   g   GeneralizedTime (24)                     const char* NUL-terminated text
//   B   BIT STRING (3)                           const unsigned char*, int bit count
//   I   INTEGER (2) from hexadecimal digits      const char* digits, int digit count
//       (1 to 256 digits; odd counts read with a leading 0; octets written
//       exactly as given, no sign adjustment)
//   O   OBJECT IDENTIFIER (6)                    const int* arcs, int count (2..50;
//       first arc 0..2, second 0..39, none negative)
//   A   bytes copied unchanged                   const unsigned char*, int length
//   t   next directive uses this tag number      int tag (>= 0)
//   T   like t, and the class and constructed    int tag (>= 0), int class byte
//       bits come from the top three bits of the class byte
//
// A t or T affects exactly the one following directive. The pending tag lives
// in the writer (so a trailing t applies to the first directive of the next
// call); the class byte of T starts at 0 in every call.
//
// ---------------------------------------------------------------------------
// Decoding directives (asn1_decode)            result argument types, in order
//   { [ (   enter the next element               -
//   } ] )   leave the innermost entered element  -
//   i e     INTEGER content, 0..4 octets,        int*
//           sign-extended
//   b       one octet, 00 or FF                  unsigned char*
//   n       an element with empty content        -
//   o 6     content bytes (new buffer, one       unsigned char**, int* length
//           extra zero byte after them)
//   a       content as text (new buffer, NUL)    char**
//   u g     content copied into the caller's     char* (ASN1_TIME_BUFFER_SIZE bytes)
//           buffer, NUL-terminated
//   B       BIT STRING (new buffer, unused bits  unsigned char**, int* bit count
//           cleared, one extra zero byte)
//   I       content as upper-case hex text       char**, int* digit count
//           (new buffer, NUL-terminated)
//   O       arcs (new array of 50 ints)          int**, int* count
//   $       the next whole element, header       unsigned char**, int* size
//           included (new buffer, one extra zero byte)
//   t       peek: next tag number and its class  int*, unsigned char*
//           bits (identifier & 0xE0); consumes nothing
//   x       skip the next element                -
//
// asn1_decode returns 0 when the whole template was processed, -1 on failure,
// and -2 when an element header should begin exactly where the input (or the
// innermost entered element) ends: "no further element here". Results stored
// by directives before the failing or ending one stay stored; every buffer and
// array the decoder returns belongs to the caller, who frees it with free().
// A directive that fails stores nothing and keeps no allocation. Initialise
// result pointers to null so that they can be freed unconditionally.
//
// ---------------------------------------------------------------------------
// What the decoder checks
//
// Tags are NOT compared with the directives: the template says what to take
// from each element in turn, and callers check the values they decode (object
// identifiers above all). This keeps implicitly tagged and CHOICE elements
// readable with the generic directives and the t peek.
//
// Lengths ARE checked, because the decoder reads untrusted input:
//   - every element (header and content) must lie inside the input that
//     remains and inside every element the template has entered; an element
//     that claims more fails with -1 before anything is allocated or copied,
//     so no allocation exceeds what the input can justify;
//   - only definite lengths are read: the indefinite-length octet 0x80 fails,
//     as do more than four length octets and lengths above 2^31 - 1;
//   - every directive except the enter/leave/peek ones consumes exactly one
//     whole element; b needs a content of one octet, n an empty content, B an
//     unused-bit count of 0..7 (0 when no data octets follow);
//   - leaving an element moves the position to its end, skipping content the
//     template did not read; leaving when nothing is entered fails;
//   - u and g fail when the content does not fit ASN1_TIME_BUFFER_SIZE - 1
//     characters, so the caller's buffer is never overrun.
#pragma once

// Size of the caller's buffer for the u and g decoding directives.
#define ASN1_TIME_BUFFER_SIZE 64

// Most arcs an OBJECT IDENTIFIER may have, and the size of the array the
// decoder returns for O.
#define ASN1_MAX_OID_ARCS 50

// Most hexadecimal digits accepted by the I encoding directive.
#define ASN1_MAX_HEX_DIGITS 256

// One constructed element begun by the writer and not yet closed.
struct Asn1OpenElement {
  int tag;                   // tag number written when the element closes
  unsigned char class_bits;  // class and constructed bits recorded from T (0 otherwise)
  int context;               // 1 when begun with '(' (always closes context-specific)
  int start;                 // offset of its content in the buffer
  int end;                   // current end of its content
};

struct Asn1Writer {
  int override_pending;   // a t or T is waiting for its directive
  int pending_tag;        // tag number replacing the next default; -1 = none
  unsigned char* buffer;  // encoded bytes, owned by the writer
  int length;             // finished top-level output, valid when nothing is open
  int capacity;           // allocated size of buffer
  Asn1OpenElement* open;  // stack of open elements, innermost last
  int open_count;
  int open_capacity;
};

// A reader over a private copy of its input.
struct Asn1Reader {
  unsigned char* buffer;  // private copy of the input
  int position;           // next byte to read
  int end;                // input length
  int* entered_ends;      // end offsets of entered elements, innermost last
  int entered_count;
  int entered_capacity;
};

// A writer with an empty 8192-byte buffer, or null when memory runs out.
Asn1Writer* asn1_writer_new(void);
// Frees the open-element records, the buffer and the writer. Null is allowed.
void asn1_writer_free(Asn1Writer* writer);
// Encodes the template; returns the number of bytes this call added (headers
// written when elements close included), or -1.
int asn1_encode(Asn1Writer* writer, const char* tmpl, ...);

// A reader over a private copy of the bytes, or null for null bytes, a
// negative length or no memory.
Asn1Reader* asn1_reader_new(const unsigned char* bytes, int length);
// Frees the reader's buffer and the reader. Null is allowed.
void asn1_reader_free(Asn1Reader* reader);
// Decodes the template; returns 0, -1 or -2 (see above).
int asn1_decode(Asn1Reader* reader, const char* tmpl, ...);
