// How every signing and envelope engine obtains its certificate: the one
// protocol they share, so that all of them search, ask and fail alike.
#pragma once

#include <cstdint>
#include <string_view>

#include "certs/candidate_list.h"
#include "platform/certificates/certificate.h"
#include "platform/errors/error_numbers.h"
#include "platform/ui/ui_services.h"

namespace quorvel::certs {

// The engines' internal message for -10005.
inline constexpr std::u16string_view kNoCertificateMessage = u"获取证书失败";

struct EngineCertRequest {
  StoreSet stores;
  bool signatureKeyOnly = false;  // the QVUseKeySpec members: only signature keys qualify
  bool serverMode = false;
  std::u16string_view dn;         // empty: the page named no certificate
  std::u16string_view separator;  // the control's DN separator
  const platform::ChooserTexts* texts = nullptr;
};

// With a DN in server mode: the first certificate matching it, no dialog.
// With a DN otherwise: SelectCertByDN (SelectSignCertByDN); when nothing
// matched at all, a second attempt with the reversed DN, which shows the
// chooser even when empty. A chooser the user cancelled ends the search. With
// no DN: ChooseAnyCert (ChooseAnySignCert). Returns 0 with `certificate` set, or
// -10005.
ErrorNumber SelectEngineCertificate(const EngineCertRequest& request,
                                    platform::CertContextRef& certificate);

// Selection by serial numbers and issuer, the same in server mode: with a
// serial text, SelectCertBySerial (SelectSignCertBySerial), then again with the
// reversed issuer DN; with none, ChooseAnyCert (ChooseAnySignCert). Returns 0
// with `certificate` set, or -10005.
ErrorNumber SelectEngineCertificateBySerial(StoreSet stores, bool signatureKeyOnly,
                                            std::u16string_view serials,
                                            std::u16string_view issuerDn,
                                            const platform::ChooserTexts& texts,
                                            platform::CertContextRef& certificate);

}  // namespace quorvel::certs
