// The failure handler shared by every member; included by member sources only.
#pragma once

#include <new>

#include "control/control.h"
#include "control/error_numbers.h"

namespace quorvel::control {

template <typename Body>
Status CDrennicQuorvel::RunMember(const CleanupRules& rules, Body&& body) {
  auto cleanUp = [&] {
    if (rules.emptiesOutgoingPlainText) state.outgoingPlainText.clear();
    if (rules.clearsSignerCertInfo) state.signerCertInfo = {};
    if (rules.clearsReciptCertInfo) state.reciptCertInfo = {};
  };
  try {
    body();
    state.errMsg.clear();
    state.errorNum = ToInt(err::kOk);
    return Status::kOk;
  } catch (const MemberFailure& failure) {
    cleanUp();
    state.errorNum = ToInt(failure.number);
    if (failure.platformError) {
      state.errorCode = static_cast<int32_t>(platform::ToUint(*failure.platformError));
    }
    if (!failure.keepsMessage) state.errMsg = failure.message;
  } catch (const std::bad_alloc&) {
    cleanUp();
    state.errorNum = ToInt(err::kNoMemory);
    state.errMsg = rules.noMemoryMessage.empty() ? msg::kNoMemory : rules.noMemoryMessage;
  }
  return Status::kFalse;
}

}  // namespace quorvel::control
