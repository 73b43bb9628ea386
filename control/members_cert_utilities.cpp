// Certificate queries: one extension of a certificate as text, whether a
// personal certificate of a DN exists, and the subjects of the personal
// certificates issued by given issuers. None of them shows a dialog.
#include <algorithm>
#include <string>
#include <vector>

#include "certs/selection.h"
#include "control/argument_rules.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/cert_utilities.h"

namespace quorvel::control {

namespace {

// The provider failure has no message of a member's own; the text names the
// cause as the provider step does.
constexpr std::u16string_view kNoDevice = u"找不到设备!";

// Cuts `text` at every ";"; empty pieces name no issuer and are left out.
std::vector<std::u16string> SplitIssuers(std::u16string_view text) {
  std::vector<std::u16string> issuers;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(u';', start), text.size());
    if (end > start) issuers.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return issuers;
}

std::u16string JoinSubjects(const std::vector<std::u16string>& subjects) {
  std::u16string joined;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (i > 0) joined += u';';
    joined += subjects[i];
  }
  return joined;
}

std::u16string_view ExtensionFailureMessage(ErrorNumber number) {
  switch (number) {
    case err::kToCodePage:
      return msg::kConversionShort;
    case err::kOpenStore:
      return msg::kOpenStore;
    case err::kNoMemory:
      return msg::kNoMemory;
    default:
      return msg::kNoExtension;
  }
}

}  // namespace

Status CDrennicQuorvel::QVGetCertExtension(const std::u16string& certDN,
                                           const std::u16string& szOID, std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (certDN.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    FailOn(CheckDnLength(certDN, msg::kDnTooLong));
    if (const ErrorNumber checked = CheckDN(certDN); checked != err::kOk) {
      Fail(checked, msg::kDnCheckFailed);
    }
    if (szOID.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);

    std::u16string extension;
    ErrorNumber outcome = engine::GetCertExtensionValue(certDN, szOID, state.codePage, extension);
    // A DN written in the other order of its parts names the same certificate.
    if (outcome == err::kNoCertificate) {
      outcome =
          engine::GetCertExtensionValue(certs::ReverseDN(certDN), szOID, state.codePage, extension);
    }
    if (outcome != err::kOk) Fail(outcome, ExtensionFailureMessage(outcome));
    text = std::move(extension);
  });
  result = std::move(text);
  return status;
}

Status CDrennicQuorvel::IsCertExists(const std::u16string& DN, uint32_t& pdwRet) {
  pdwRet = 0;
  uint32_t answer = 0;
  // This member reports its failures in errorNum and errMsg only: its status
  // is 0 whatever happens, and the answer stays 0 unless a certificate is found.
  RunMember({}, [&] {
    if (DN.empty()) Fail(err::kEmptyInput, msg::kDnDataEmpty);
    FailOn(CheckDnLength(DN, msg::kDnDataTooLong));
    if (const ErrorNumber checked = CheckDN(DN); checked != err::kOk) {
      Fail(checked, msg::kDnCheckFailed);
    }
    const int32_t exists = engine::CertExists(DN);
    switch (exists) {
      case 0:
      case 1:
        answer = static_cast<uint32_t>(exists);
        break;
      case ToInt(err::kOpenStore):
        Fail(err::kOpenStore, msg::kOpenStore);
      case ToInt(err::kAcquireProvider):
        Fail(err::kAcquireProvider, kNoDevice);
      default:
        Fail(ReportedAs(exists), msg::kNoMemory);
    }
  });
  pdwRet = answer;
  return Status::kOk;
}

Status CDrennicQuorvel::QVEnumCertsDNByIssers(const std::u16string& IssersDN,
                                              std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (IssersDN.empty()) Fail(err::kEmptyInput, msg::kDnEmpty);
    FailOn(CheckDnLength(IssersDN, msg::kDnTooLong));
    if (const ErrorNumber checked = CheckDN(IssersDN); checked != err::kOk) {
      Fail(checked, msg::kDnCheckFailed);
    }
    std::vector<std::u16string> subjects;
    const ErrorNumber outcome = engine::ListSubjectsByIssuers(SplitIssuers(IssersDN), subjects);
    // A store that cannot be opened is reported by its number alone.
    if (outcome == err::kOpenStore) FailKeepingMessage(outcome);
    if (outcome != err::kOk) Fail(outcome, msg::kNoMemory);
    text = JoinSubjects(subjects);
  });
  result = std::move(text);
  return status;
}

}  // namespace quorvel::control
