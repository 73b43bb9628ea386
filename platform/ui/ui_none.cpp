#include "platform/ui/ui_none.h"

namespace quorvel::platform {
namespace {

class NoneFileDialogs final : public FileDialogs {
 public:
  DialogResult ShowOpenDialog(const OpenDialogRequest&) override { return {}; }
  DialogResult ShowSaveDialog(const SaveDialogRequest&) override { return {}; }
};

class NoneMessageBoxes final : public MessageBoxes {
 public:
  MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    return DismissedAnswer(request.buttons);
  }
};

// The chooser is never shown, so nothing is chosen.
class NoneChooser final : public CertificateChooser {
 public:
  DialogOutcome ShowChooser(ChooserLogic&) override { return DialogOutcome::kCancelled; }
};

class NoneFileViewer final : public FileViewer {
 public:
  bool OpenWithViewer(const std::filesystem::path&) override { return false; }
};

// Nobody can be asked, so no unknown origin gets in.
class NoneOriginApprovals final : public OriginApprovals {
 public:
  std::unique_ptr<OriginQuestion> AskOriginApproval(std::u16string_view,
                                                    OriginAnswered answered) override {
    answered(OriginApproval::kDismissed);
    return std::make_unique<OriginQuestion>();
  }
};

// Nobody can type a PIN, so every token operation is cancelled.
class NonePinEntries final : public PinEntries {
 public:
  PinAnswer AskPin(const PinRequest&) override { return {}; }
};

// Nobody can consent, so no page uses a key.
class NoneConsent final : public ConsentDialogs {
 public:
  ConsentAnswer AskConsent(const ConsentRequest&) override { return ConsentAnswer::kCancel; }
};

}  // namespace

UiServices MakeNoneUiServices() {
  return {std::make_shared<NoneFileDialogs>(),     std::make_shared<NoneMessageBoxes>(),
          std::make_shared<NoneChooser>(),         std::make_shared<NoneFileViewer>(),
          std::make_shared<NoneOriginApprovals>(), std::make_shared<NonePinEntries>(),
          std::make_shared<NoneConsent>()};
}

}  // namespace quorvel::platform
