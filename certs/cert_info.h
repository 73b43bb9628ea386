// The five information texts of a certificate: subject (type 1), issuer (2),
// start (3) and end (4) of validity, serial number (5).
//
//  - names: the X.500 string of the encoded name, in encoded order, parts joined by ", ";
//  - times: UTC as stored, "2015-03-17 08:05:09GMT";
//  - serial: upper-case hexadecimal, most significant byte first, in groups of
//    four digits separated by single spaces ("0123 4567 89").
//
// Lengths are in UTF-16 characters. For types 1 and 2 the reported length
// includes the terminating zero (the platform's count); for types 3 to 5 it
// does not. A caller allocates length + 1 characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/certificates/certificate.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::certs {

inline constexpr int kInfoSubject = 1;
inline constexpr int kInfoIssuer = 2;
inline constexpr int kInfoNotBefore = 3;
inline constexpr int kInfoNotAfter = 4;
inline constexpr int kInfoSerialNumber = 5;

// The five texts in type order; an empty text stands for none.
using CertInfoRecord = std::array<std::u16string, 5>;

// Without `buffer`, sets `*length`; with a buffer of at least *length + 1
// characters (from a first call), also copies the text with a terminating
// zero. A type outside 1..5 gives length 0 and 0. Returns 0, -10001 (no
// certificate or no length) or -10016 (the text cannot be made); a failure
// leaves the length at 0.
//
// Serial numbers of any length are formatted in full: the text grows past the
// 128 characters that hold 51 bytes rather than being refused or cut.
ErrorNumber GetCertInfoString(const platform::CertContext* certificate, int type, char16_t* buffer,
                              uint32_t* length);

// Formats a file time as "YYYY-MM-DD hh:mm:ssGMT". Returns 0, -1 (the time
// cannot be converted; length 0) or -10001 (no length).
int32_t FormatCertTime(uint64_t fileTime, char16_t* buffer, uint32_t* length);

// Fills the five texts. Returns 0, -10001 (no certificate or record), -10000
// (no memory) or the number of the first type that fails; on failure every
// text of the record is emptied.
ErrorNumber FillCertInfo(const platform::CertContext* certificate, CertInfoRecord* record);

}  // namespace quorvel::certs
