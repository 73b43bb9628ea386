// The candidate list: the certificates a selection offers the chooser, five
// entries per candidate, and the lookup that turns a chosen candidate back
// into a certificate.
//
// Candidate k occupies the entries 5k to 5k+4:
//   5k    text   short subject name              (unavailable: "没有主题")
//   5k+1  text   short issuer name               ("没有颁发者")
//   5k+2  text   end of validity                 ("没有截止日期")
//   5k+3  text   serial number text              ("没有序列号")
//   5k+4  bytes  the encoded issuer name         (the code-page-936 bytes of "没有主题索引")
// The pair (issuer name bytes, serial text) finds the certificate again; the
// chooser reports a choice as the position 5k+4 of the chosen candidate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/stores/cert_store.h"

namespace quorvel::certs {

// The stores a selection searches, in search order; the caller keeps them open.
using StoreSet = std::span<platform::CertStore* const>;

inline constexpr int kEntriesPerCandidate = 5;

// Results of the list's operations.
inline constexpr int32_t kListOk = 0;
inline constexpr int32_t kListNodeAllocation = -1;
inline constexpr int32_t kListBufferAllocation = -2;
inline constexpr int32_t kListNegativePosition = -3;
inline constexpr int32_t kListNoData = -4;

inline constexpr std::u16string_view kNoSubject = u"没有主题";
inline constexpr std::u16string_view kNoIssuer = u"没有颁发者";
inline constexpr std::u16string_view kNoNotAfter = u"没有截止日期";
inline constexpr std::u16string_view kNoSerial = u"没有序列号";
// "没有主题索引" in code page 936.
inline constexpr uint8_t kNoIssuerNameBytes[12] = {0xC3, 0xBB, 0xD3, 0xD0, 0xD6, 0xF7,
                                                   0xCC, 0xE2, 0xCB, 0xF7, 0xD2, 0xFD};

class CandidateList {
 public:
  // The label of the list's head, which precedes the entries and is not one of them.
  static constexpr std::u16string_view kHeadLabel = u"This is a List Head";

  // Appends an entry of `n` bytes or `n` characters; kListNoData when the data
  // is missing or n is 0, kListBufferAllocation when memory runs out.
  int32_t AppendBytes(const uint8_t* data, std::size_t n);
  int32_t AppendText(const char16_t* text, std::size_t n);

  // The number of entries.
  std::size_t Count() const { return entries_.size(); }

  // Entry `position` (0 = the first): sets `*length` to its length in bytes
  // (or characters) and, when `buffer` is given, copies the entry and one
  // terminating zero, so the buffer holds length + 1 units. kListNegativePosition
  // for a negative position; kListNoData when there is no such entry, the entry
  // is of the other kind, or `length` is missing.
  int32_t GetBytes(int position, uint8_t* buffer, std::size_t* length) const;
  int32_t GetText(int position, char16_t* buffer, std::size_t* length) const;

  // The same, returning the entry; empty when it cannot be read.
  std::vector<uint8_t> Bytes(int position) const;
  std::u16string Text(int position) const;

 private:
  std::vector<std::variant<std::vector<uint8_t>, std::u16string>> entries_;
};

// The display form of a name text: the value after "CN=", else "E=", else
// "OU=", else "O=" (the first that occurs anywhere), up to the next comma; the
// whole text when none occurs.
std::u16string ShortName(std::u16string_view name);

// Appends the five entries of `certificate`. `subject` is the subject text when
// the caller has already read it (an empty text reads it here). Returns the
// first failing append's result; the entries appended before it stay.
int32_t AppendCandidate(CandidateList& list, const platform::CertContext& certificate,
                        std::u16string_view subject = {});

// The first certificate, stores in order, whose encoded issuer name equals
// `issuerName` and whose serial text is exactly `serial`; null when none.
platform::CertContextRef FindCertByIssuerSerial(StoreSet stores,
                                                std::span<const uint8_t> issuerName,
                                                std::u16string_view serial);

// Resolves the chooser's answer `position` for a list of `candidates`
// candidates: accepted only when 0 <= position <= 5 * candidates; the issuer
// name at `position` and the serial text before it are looked up over `stores`.
platform::CertContextRef ResolveChoice(const CandidateList& list, int candidates, StoreSet stores,
                                       int position);

}  // namespace quorvel::certs
