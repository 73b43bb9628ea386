
#include "platform/errors/error_numbers.h"
// Checks that DN, DN-list, serial-number and issuer arguments pass before any
// engine sees them. Each check returns the failure to report, or nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::control {

inline constexpr size_t kMaxDnLength = 32768;
inline constexpr size_t kMaxDnCommas = 255;
inline constexpr size_t kMaxSeparators = 4;
inline constexpr size_t kMaxSeparatorLength = 7;
inline constexpr std::u16string_view kDefaultIssuerDn = u"O=ZuvirOrori, OU=config, CN=ZAZU";

struct ArgumentFailure {
  ErrorNumber number;
  std::u16string_view message;
  bool operator==(const ArgumentFailure&) const = default;
};

// 0 for an acceptable DN; -10001 for a missing one; -10057 for 256 or more commas.
ErrorNumber CheckDN(std::u16string_view dn);

// Non-overlapping occurrences of `separator` in `text`, each search resuming
// right after the previous match. An empty separator occurs nowhere.
size_t CountSeparators(std::u16string_view text, std::u16string_view separator);

// Rule 1: more than 32768 characters fails with -10056 and `tooLongMessage`.
std::optional<ArgumentFailure> CheckDnLength(std::u16string_view dn,
                                             std::u16string_view tooLongMessage);

// Rules 2 to 4 for a given DN list: the DN check, a separator set, at most
// four separators.
std::optional<ArgumentFailure> CheckDnList(std::u16string_view dn, std::u16string_view separator);

// All five rules for a member taking one DN list. An empty `dn` is absent;
// absent in server mode fails with -10001 and `missingMessage`.
std::optional<ArgumentFailure> CheckDnArgument(std::u16string_view dn,
                                               std::u16string_view separator, bool serverMode,
                                               std::u16string_view missingMessage);

// The issuer DN to use: the given one, or the default issuer when empty. Too
// long fails with -10056 and `tooLongMessage`; the DN check runs separately,
// where each member places it, through `CheckIssuerDn`.
struct IssuerResolution {
  std::optional<ArgumentFailure> failure;
  std::u16string issuer;
};
IssuerResolution ResolveIssuerDn(std::u16string_view issuer, std::u16string_view tooLongMessage);
std::optional<ArgumentFailure> CheckIssuerDn(std::u16string_view issuer);

}  // namespace quorvel::control
