// What a private key may do for the caller a hosting program names: every use
// for a web origin needs the user's consent, given in a dialog of our own that
// shows the origin, the certificate and exactly what the key will sign or
// open; and every use, for a web origin or a local client, goes into the
// signing history with the member's outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/keyuse/key_use.h"
#include "platform/keyuse/signing_history.h"

namespace quorvel::registration {

inline constexpr std::u16string_view kLocalCaller = u"local";

class CallerKeyUse final : public platform::KeyUseGuard {
 public:
  // `caller` is the web origin, or kLocalCaller; `codePage` is the control's,
  // in which the content is shown.
  CallerKeyUse(std::u16string_view caller, std::string_view member, uint32_t codePage);

  bool Approve(const platform::KeyUse& use) override;
  std::u16string_view origin() const override { return web_ ? caller_ : std::u16string_view(); }

  // Writes the history entry of the call once the member returned `errorNum`;
  // nothing when no key was asked for. A failed write changes nothing.
  void Record(int32_t errorNum) const;

 private:
  std::u16string caller_;
  bool web_ = false;
  std::string member_;
  uint32_t codePage_ = 0;
  std::optional<platform::HistoryEntry> entry_;  // of the last key use asked for
  bool refused_ = false;
  platform::KeyAction action_ = platform::KeyAction::kSign;
};

}  // namespace quorvel::registration
