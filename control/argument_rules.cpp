#include "control/argument_rules.h"

#include <algorithm>

#include "control/error_numbers.h"

namespace quorvel::control {

ErrorNumber CheckDN(std::u16string_view dn) {
  if (dn.empty()) return err::kEmptyInput;
  const auto commas = static_cast<size_t>(std::count(dn.begin(), dn.end(), u','));
  return commas > kMaxDnCommas ? err::kTooManyCommas : err::kOk;
}

size_t CountSeparators(std::u16string_view text, std::u16string_view separator) {
  if (separator.empty()) return 0;
  size_t count = 0;
  for (size_t at = text.find(separator); at != std::u16string_view::npos;
       at = text.find(separator, at + separator.size())) {
    ++count;
  }
  return count;
}

std::optional<ArgumentFailure> CheckDnLength(std::u16string_view dn,
                                             std::u16string_view tooLongMessage) {
  if (dn.size() > kMaxDnLength) return ArgumentFailure{err::kTooLong, tooLongMessage};
  return std::nullopt;
}

std::optional<ArgumentFailure> CheckDnList(std::u16string_view dn, std::u16string_view separator) {
  if (const ErrorNumber result = CheckDN(dn); result != err::kOk) {
    return ArgumentFailure{result, msg::kDnCheckFailed};
  }
  if (separator.empty()) return ArgumentFailure{err::kNoSeparator, msg::kNoSeparator};
  if (CountSeparators(dn, separator) > kMaxSeparators) {
    return ArgumentFailure{err::kSeparatorLimit, msg::kSeparatorLimit};
  }
  return std::nullopt;
}

std::optional<ArgumentFailure> CheckDnArgument(std::u16string_view dn,
                                               std::u16string_view separator, bool serverMode,
                                               std::u16string_view missingMessage) {
  if (auto failure = CheckDnLength(dn, msg::kDnTooLong)) return failure;
  if (!dn.empty()) return CheckDnList(dn, separator);
  if (serverMode) return ArgumentFailure{err::kEmptyInput, missingMessage};
  return std::nullopt;
}

IssuerResolution ResolveIssuerDn(std::u16string_view issuer, std::u16string_view tooLongMessage) {
  if (auto failure = CheckDnLength(issuer, tooLongMessage)) return {failure, {}};
  return {std::nullopt, std::u16string(issuer.empty() ? kDefaultIssuerDn : issuer)};
}

std::optional<ArgumentFailure> CheckIssuerDn(std::u16string_view issuer) {
  if (const ErrorNumber result = CheckDN(issuer); result != err::kOk) {
    return ArgumentFailure{result, msg::kDnCheckFailed};
  }
  return std::nullopt;
}

}  // namespace quorvel::control
