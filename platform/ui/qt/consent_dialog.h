// The consent to a web page's use of a private key as a Qt dialog: the whole
// text read-only, Confirm (enabled after a second) and Cancel, Cancel the
// default; the close box and no answer in time dismiss it.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

class QtConsentDialogs final : public ConsentDialogs {
 public:
  ConsentAnswer AskConsent(const ConsentRequest& request) override;
};

}  // namespace quorvel::platform::qt
