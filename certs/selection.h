// Certificate selection: finding the one certificate of the current user that
// an engine signs or encrypts with, from a DN text (one or several
// alternatives), from serial numbers and an issuer, or by the user's choice.
//
// Every routine searches `stores` in order and each store in store order, and
// returns a context the caller owns, or null. With no stores the answer is
// null at once. Texts are compared as UTF-16 code units, case-sensitively;
// subjects and issuers are the X.500 texts of the certificate information
// (parts joined by ", "), and a DN from a page is brought to that form by
// NormalizeDN first. When several certificates fit, the chooser of the current
// UI services lets the user pick one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "certs/candidate_list.h"
#include "platform/certificates/certificate.h"
#include "platform/errors/error_numbers.h"
#include "platform/ui/ui_services.h"

namespace quorvel::certs {

// At most this many serial numbers of a list are compared.
inline constexpr std::size_t kMaxSerialValues = 20;

// Inserts one space after every comma not already followed by one; the
// character after a comma is taken with it, so ",," gives ", ,".
std::u16string NormalizeDN(std::u16string_view dn);

// The comma-separated parts in reverse order, joined by ", " (a single space
// after a comma is dropped with it): "CN=a,O=b,C=CN" gives "C=CN, O=b, CN=a".
// Quoting is not recognised.
std::u16string ReverseDN(std::u16string_view dn);

// True when the certificate has a readable key-provider property.
bool HasPrivateKey(const platform::CertContext& certificate);

// The key specification of the key-provider property (`keySpec` unchanged when
// the certificate has none). Returns 0, -10027 (the property cannot be read)
// or -10000 (no memory).
ErrorNumber GetKeySpec(const platform::CertContext& certificate, uint32_t& keySpec);

// The serial numbers of a list cut at single spaces: tokens of an even number
// of hexadecimal digits, most significant first, each returned least
// significant byte first. Odd-length tokens, empty tokens and tokens with
// other characters are left out; the first kMaxSerialValues valid values are
// kept and any further tokens are ignored.
std::vector<platform::Bytes> ParseSerialList(std::u16string_view text);

// The DN's alternatives (the normalised DN cut at every `separator`, empty ones
// included) are matched as substrings of each certificate's subject. Candidates
// of SelectCertByDN must have a private key when exactly one store is searched;
// those of SelectSignCertByDN must have a signature key whatever the stores
// (a key specification that cannot be read ends the search with null). One
// candidate is taken without a dialog; several are offered in the chooser; with
// none, the chooser is shown empty when `showChooserOnNone` is set. `anyMatched`
// is set to true when any certificate matched, and never back to false.
platform::CertContextRef SelectCertByDN(StoreSet stores, std::u16string_view dn,
                                        std::u16string_view separator, bool& anyMatched,
                                        bool showChooserOnNone,
                                        const platform::ChooserTexts& texts);
platform::CertContextRef SelectSignCertByDN(StoreSet stores, std::u16string_view dn,
                                            std::u16string_view separator, bool& anyMatched,
                                            bool showChooserOnNone,
                                            const platform::ChooserTexts& texts);

// Every certificate that passes the filter (as above) is offered; the chooser
// is shown whatever their number.
platform::CertContextRef ChooseAnyCert(StoreSet stores, const platform::ChooserTexts& texts);
platform::CertContextRef ChooseAnySignCert(StoreSet stores, const platform::ChooserTexts& texts);

// Candidates are the certificates (passing the filter) whose serial number is
// numerically equal to one of the list's values and whose issuer text equals
// the normalised `issuerDn`. None: null; one: taken; several: the chooser.
platform::CertContextRef SelectCertBySerial(StoreSet stores, std::u16string_view serials,
                                            std::u16string_view issuerDn,
                                            const platform::ChooserTexts& texts);
platform::CertContextRef SelectSignCertBySerial(StoreSet stores, std::u16string_view serials,
                                                std::u16string_view issuerDn,
                                                const platform::ChooserTexts& texts);

// The first certificate whose subject holds one of the DN's alternatives; no
// filter, no dialog.
platform::CertContextRef FindFirstCertByDN(StoreSet stores, std::u16string_view dn,
                                           std::u16string_view separator);

// The first certificate whose subject text equals the normalised `dn`. The
// stores are searched for the short name (ShortName) of the first `keyLength`
// characters of `dn`, then the subjects of the finds are compared exactly.
platform::CertContextRef FindCertByExactDN(StoreSet stores, std::u16string_view dn,
                                           std::size_t keyLength);

}  // namespace quorvel::certs
