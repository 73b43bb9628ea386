#include "certs/engine_certificate.h"

#include <new>

#include "certs/selection.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::certs {
namespace {

ErrorNumber Outcome(platform::CertContextRef found, platform::CertContextRef& certificate) {
  certificate = std::move(found);
  return certificate ? err::kOk : err::kNoCertificate;
}

}  // namespace

ErrorNumber SelectEngineCertificate(const EngineCertRequest& request,
                                    platform::CertContextRef& certificate) {
  certificate.reset();
  const platform::ChooserTexts none;
  const platform::ChooserTexts& texts = request.texts != nullptr ? *request.texts : none;
  const auto select = request.signatureKeyOnly ? SelectSignCertByDN : SelectCertByDN;
  try {
    if (request.dn.empty()) {
      return Outcome(request.signatureKeyOnly ? ChooseAnySignCert(request.stores, texts)
                                              : ChooseAnyCert(request.stores, texts),
                     certificate);
    }
    if (request.serverMode) {
      return Outcome(FindFirstCertByDN(request.stores, request.dn, request.separator), certificate);
    }
    bool anyMatched = false;
    platform::CertContextRef found =
        select(request.stores, request.dn, request.separator, anyMatched, false, texts);
    if (!found && !anyMatched) {
      const std::u16string reversed = ReverseDN(request.dn);
      found = select(request.stores, reversed, request.separator, anyMatched, true, texts);
    }
    return Outcome(std::move(found), certificate);
  } catch (const std::bad_alloc&) {
    return err::kNoCertificate;
  }
}

ErrorNumber SelectEngineCertificateBySerial(StoreSet stores, bool signatureKeyOnly,
                                            std::u16string_view serials,
                                            std::u16string_view issuerDn,
                                            const platform::ChooserTexts& texts,
                                            platform::CertContextRef& certificate) {
  certificate.reset();
  try {
    if (serials.empty()) {
      return Outcome(
          signatureKeyOnly ? ChooseAnySignCert(stores, texts) : ChooseAnyCert(stores, texts),
          certificate);
    }
    const auto select = signatureKeyOnly ? SelectSignCertBySerial : SelectCertBySerial;
    platform::CertContextRef found = select(stores, serials, issuerDn, texts);
    if (!found) found = select(stores, serials, ReverseDN(issuerDn), texts);
    return Outcome(std::move(found), certificate);
  } catch (const std::bad_alloc&) {
    return err::kNoCertificate;
  }
}

}  // namespace quorvel::certs
