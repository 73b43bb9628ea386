// Certificate queries for pages that inspect the user's certificates without
// signing: one extension of a certificate as text, whether a personal
// certificate of a DN exists, and the subjects of the personal certificates a
// given issuer issued. DNs are matched exactly (after a space is put behind
// every comma that lacks one); none of these shows a dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "certs/candidate_list.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::engine {

// The extension `oid` (dotted, converted to bytes in `codePage` for the
// lookup) of the certificate whose subject text is exactly `dn`, searched in
// "CA", "ROOT", "AddressBOOK" and "MY" in that order, as single-line text.
// Returns 0, -10001 (empty DN or identifier), -10019 (no provider), -10018 (a
// store cannot be opened), -10005 (no certificate of that DN), -10034 (the
// identifier cannot be converted), -10026 (no such extension) or -10016 (the
// extension cannot be formatted). `text` is set only on success.
ErrorNumber GetCertExtensionValue(std::u16string_view dn, std::u16string_view oid,
                                  uint32_t codePage, std::u16string& text);

// 1 when "MY" holds a certificate whose subject text is exactly `dn` or, failing
// that, the DN with its parts in reverse order; 0 when it holds none (and for an
// empty DN); -10019 (no provider) or -10018 ("MY" cannot be opened).
int32_t CertExists(std::u16string_view dn);

// Appends to `subjects` the subject text of every certificate of `stores`
// whose issuer text is exactly `issuerDn` (normalised), stores in order and
// each in store order. Returns the number appended, or -10000 when memory runs
// out (`subjects` is then left as it was).
int32_t FindCertsByIssuerDN(certs::StoreSet stores, std::u16string_view issuerDn,
                            std::vector<std::u16string>& subjects);

// FindCertsByIssuerDN over "MY" for each of `issuerDns` in order, into one
// list: a certificate appears once for every issuer DN that names its issuer.
// "MY" is read once per call and each distinct DN compared once with its
// certificates' texts in memory; a DN repeated costs a lookup.
// Returns 0, -10018 ("MY" cannot be opened) or -10000 (no memory); on failure
// `subjects` is left as it was.
ErrorNumber ListSubjectsByIssuers(const std::vector<std::u16string>& issuerDns,
                                  std::vector<std::u16string>& subjects);

}  // namespace quorvel::engine
