// A hardware token's PIN as a Qt dialog: the prompt with the token's label
// and the tries left, a masked field, OK and Cancel.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

class QtPinEntries final : public PinEntries {
 public:
  PinAnswer AskPin(const PinRequest& request) override;
};

}  // namespace quorvel::platform::qt
