// How a member reports failure internally: a failing check throws a
// MemberFailure, and the member's single handler (CDrennicQuorvel::RunMember)
// turns it into status 1, `errorNum`, `errMsg` and, for engine failures,
// `errorCode`. Nothing is thrown across the automation interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "control/argument_rules.h"
#include "control/error_numbers.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::control {

struct MemberFailure {
  ErrorNumber number;
  std::u16string_view message;
  // The platform value an engine reported; argument checks report none and
  // leave `errorCode` as it was.
  std::optional<platform::Status> platformError;
  // A few members report only the number and keep the previous message.
  bool keepsMessage = false;
};

[[noreturn]] inline void Fail(ErrorNumber number, std::u16string_view message) {
  throw MemberFailure{number, message, std::nullopt};
}

// An engine's failure with the member's own message, except a cancellation,
// which reads the same whichever member the user cancelled.
[[noreturn]] inline void FailEngine(ErrorNumber number, platform::Status platformError,
                                    std::u16string_view message) {
  throw MemberFailure{number, number == err::kUserCancelled ? msg::kUserCancelled : message,
                      platformError};
}

[[noreturn]] inline void FailKeepingMessage(ErrorNumber number) {
  throw MemberFailure{number, {}, std::nullopt, true};
}

inline void FailOn(const std::optional<ArgumentFailure>& failure) {
  if (failure) Fail(failure->number, failure->message);
}

}  // namespace quorvel::control
