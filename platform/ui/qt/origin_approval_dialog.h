// The bridge's question whether a web origin may connect: a window of its own
// with the buttons Allow once, Always and Deny, shown without a nested event
// loop, so that it holds up neither calls nor other dialogs.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

class QtOriginApprovals final : public OriginApprovals {
 public:
  std::unique_ptr<OriginQuestion> AskOriginApproval(std::u16string_view origin,
                                                    OriginAnswered answered) override;
};

}  // namespace quorvel::platform::qt
