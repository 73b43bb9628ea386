// The bridge's question whether a web origin may connect, as a Qt message box
// with the buttons Allow once, Always and Deny.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

class QtOriginApprovals final : public OriginApprovals {
 public:
  OriginApproval AskOriginApproval(std::u16string_view origin) override;
};

}  // namespace quorvel::platform::qt
