// The user-interface services the control relies on: the Open and Save file
// dialogs, message boxes, the certificate chooser, "open this file with its
// viewer", the bridge's question whether a web origin may connect and a hardware token's PIN. Each
// service is a small interface of its own, so that further services can join the UiServices bundle
// without touching the existing ones.
//
// Which implementation runs is chosen by the environment variable QUORVEL_UI:
//   script  answers come from the JSON file named by QUORVEL_UI_SCRIPT, and
//           every dialog is logged to the file named by QUORVEL_UI_LOG;
//   none    every dialog counts as cancelled (server use);
//   qt      the desktop's own dialogs (Qt's on Linux; `windows` names the
//   windows Win32 dialogs on Windows), when the program installed them under
//           that name with SetDesktopUiFactory; they are also what an unset
//           QUORVEL_UI selects. Otherwise, and for any other value, `none`.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

enum class DialogOutcome {
  kChosen,     // the user chose a path
  kCancelled,  // the user closed the dialog without choosing
  kFailed,     // the dialog could not be shown
};

struct DialogResult {
  DialogOutcome outcome = DialogOutcome::kCancelled;
  std::string path;  // UTF-8, set when a path was chosen
};

struct OpenDialogRequest {
  std::u16string title;
  std::u16string filter;  // display text of the single filter entry, e.g. "*.*"
  bool pathMustExist = true;
  bool fileMustExist = true;
};

struct SaveDialogRequest {
  std::u16string title;
  std::u16string filter;
  std::u16string suggestedName;     // pre-filled file name, may be empty
  std::u16string defaultExtension;  // appended to a typed name without one, may be empty
  bool overwritePrompt = true;
  bool createPrompt = true;
  bool pathMustExist = true;
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  virtual DialogResult ShowOpenDialog(const OpenDialogRequest& request) = 0;
  virtual DialogResult ShowSaveDialog(const SaveDialogRequest& request) = 0;
};

enum class MessageBoxButtons { kOk, kOkCancel, kYesNo };
enum class MessageBoxAnswer { kOk, kCancel, kYes, kNo };

struct MessageBoxRequest {
  std::u16string title;
  std::u16string text;
  MessageBoxButtons buttons = MessageBoxButtons::kOk;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
};

// Opens a file in the viewer the desktop registers for its type, without
// waiting for the viewer. False when no viewer could be started.
class FileViewer {
 public:
  virtual ~FileViewer() = default;
  virtual bool OpenWithViewer(const std::filesystem::path& file) = 0;
};

// The certificate chooser: a modal list of candidate certificates (subject,
// issuer, end of validity) with OK, Cancel and a view button. Its logic (rows,
// sorting, the chosen candidate, the view action) lives above this layer in a
// ChooserLogic; the implementations here only show it and forward the user's
// actions, so every implementation behaves alike.

// The chooser's texts. A title that is none keeps kChooserDefaultCaption; any
// other text that is none empties its control.
struct ChooserTexts {
  std::optional<std::u16string> title;
  std::optional<std::u16string> prompt;
  std::optional<std::u16string> subjectHeading;
  std::optional<std::u16string> issuerHeading;
  std::optional<std::u16string> notAfterHeading;
  std::optional<std::u16string> okCaption;
  std::optional<std::u16string> cancelCaption;
  std::optional<std::u16string> viewCaption;
  std::optional<std::u16string> information;
  // The web origin that asks, shown on a line of its own that no other text
  // replaces; empty for a local caller.
  std::u16string origin;
};

inline constexpr std::u16string_view kChooserDefaultCaption = u"请选择您要用的证书";
inline constexpr int kChooserColumns = 3;  // subject, issuer, end of validity

struct ChooserRow {
  int candidate = 0;  // the candidate the row shows; stays with the row when sorted
  std::u16string subject;
  std::u16string issuer;
  std::u16string notAfter;

  const std::u16string& Column(int column) const {
    return column == 0 ? subject : column == 1 ? issuer : notAfter;
  }
};

// What the dialog on screen offers the chooser's logic while it is open.
class ChooserHost {
 public:
  virtual ~ChooserHost() = default;
  // A message box owned by the dialog: `text`, an empty caption, one OK button.
  virtual void ShowMessage(std::u16string_view text) = 0;
  virtual bool OpenWithViewer(const std::filesystem::path& file) = 0;
};

class ChooserLogic {
 public:
  virtual ~ChooserLogic() = default;
  virtual const ChooserTexts& texts() const = 0;
  // The rows in display order.
  virtual const std::vector<ChooserRow>& rows() const = 0;
  // A click on the heading of `column` (0 to 2).
  virtual void SortByColumn(int column) = 0;
  // OK with the displayed row `row` selected (none: nothing selected). True
  // when the dialog ends with a choice.
  virtual bool Ok(std::optional<std::size_t> row, ChooserHost& host) = 0;
  // The view button, or a double click on `row`.
  virtual void View(std::optional<std::size_t> row, ChooserHost& host) = 0;
};

class CertificateChooser {
 public:
  virtual ~CertificateChooser() = default;
  // Shows the chooser modally over the active window and returns when it has
  // closed: kChosen when OK ended it, kCancelled for Cancel or the close box,
  // kFailed when it could not be shown.
  virtual DialogOutcome ShowChooser(ChooserLogic& logic) = 0;
};

// The question a web page's first connection puts to the user: may this
// origin use the certificates? "Allow once" admits the connections waiting on
// the question; "Always" and "Deny" are remembered by the caller. A question
// closed without an answer, or one that cannot be shown, refuses those
// connections only.
enum class OriginApproval { kAllowOnce, kAlways, kDeny, kDismissed };

inline constexpr std::u16string_view kOriginApprovalCaption = u"Quorvel";

// An origin as the user reads it: an internationalised host name in Unicode,
// with its ASCII form after it in parentheses.
std::u16string DisplayedOrigin(std::u16string_view origin);

// The question's text in Chinese and English. The origin is shown as the user
// reads it: an internationalised host name in Unicode, with its ASCII form
// after it in parentheses.
std::u16string OriginApprovalText(std::u16string_view origin);

// An open question. Destroying it closes the question if it is still open;
// its answer is never given after that.
class OriginQuestion {
 public:
  virtual ~OriginQuestion() = default;
};

using OriginAnswered = std::function<void(OriginApproval)>;

class OriginApprovals {
 public:
  virtual ~OriginApprovals() = default;
  // Puts the question without waiting for it: `answered` is called once with
  // the answer, either before this returns or later from the event loop of
  // the thread that asked, unless the returned question is destroyed first.
  // The question never holds up the caller, and other dialogs may open and
  // close while it is open.
  virtual std::unique_ptr<OriginQuestion> AskOriginApproval(std::u16string_view origin,
                                                            OriginAnswered answered) = 0;
};

// A token's PIN as the user typed it, UTF-8. The bytes are wiped when the
// holder goes, so a PIN lives no longer than the login it is asked for.
class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::string_view text) : bytes_(text.begin(), text.end()) {}
  SecretText(SecretText&& other) noexcept : bytes_(std::move(other.bytes_)) {}
  SecretText& operator=(SecretText&& other) noexcept;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { Wipe(); }

  std::string_view view() const { return {bytes_.data(), bytes_.size()}; }
  void Wipe();

 private:
  std::vector<char> bytes_;
};

// The question a key on a hardware token puts before its first use in an
// operation: the token's label, and what the token says of the tries left
// (PKCS#11 tokens report only "few" and "last", never a number).
enum class PinTries { kUnknown, kFew, kLast };

struct PinRequest {
  std::u16string tokenLabel;
  PinTries tries = PinTries::kUnknown;
};

enum class PinOutcome { kEntered, kCancelled, kFailed };

struct PinAnswer {
  PinOutcome outcome = PinOutcome::kCancelled;
  SecretText pin;  // set when entered
};

inline constexpr std::u16string_view kPinCaption = u"Quorvel";

// "Enter the PIN of the token LABEL." followed, where the token reports it, by
// a line on the tries left before it locks.
std::u16string PinPromptText(const PinRequest& request);

class PinEntries {
 public:
  virtual ~PinEntries() = default;
  virtual PinAnswer AskPin(const PinRequest& request) = 0;
};

// The consent a web page's use of a private key needs: who asks, for what,
// with which certificate, and what exactly the key will sign or open. Every
// text is the platform's own but the origin and the content, which are shown
// as plain text with control and bidirectional characters made visible.
enum class ConsentAction { kSign, kRawSign, kDecrypt };

struct ConsentFile {
  std::u16string name;
  uint64_t size = 0;
  std::string sha256;  // lower-case hex
};

struct ConsentContent {
  // A formatted plain text: its form items and files; otherwise its text.
  bool formatted = false;
  std::u16string text;  // as decoded, the first kConsentTextBytes bytes at most
  uint64_t size = 0;    // of the whole content, in bytes
  std::vector<std::u16string> items;
  std::vector<ConsentFile> files;
};

inline constexpr std::size_t kConsentTextBytes = 4096;

struct ConsentRequest {
  std::u16string origin;
  ConsentAction action = ConsentAction::kSign;
  std::u16string subject;
  std::u16string issuer;
  std::u16string notBefore;
  std::u16string notAfter;
  ConsentContent content;
  std::string contentSha256;  // of the bytes the key signs, or of the input it opens
};

enum class ConsentAnswer { kConfirm, kCancel, kDismissed };

inline constexpr std::u16string_view kConsentCaption = u"Quorvel";
// Confirm is enabled this long after the dialog opens; without an answer it
// closes after kConsentTimeout.
inline constexpr int kConsentConfirmDelayMs = 1000;
inline constexpr int kConsentTimeoutMs = 120000;

// The consent's whole text in Chinese and English.
std::u16string ConsentText(const ConsentRequest& request);
// The caption of the confirming button: "确认 Confirm", or "解密 Decrypt".
std::u16string_view ConsentConfirmCaption(ConsentAction action);
inline constexpr std::u16string_view kConsentCancelCaption = u"取消 Cancel";
// `text` with control, format and bidirectional characters shown as <U+XXXX>
// (line feeds kept), so that a page cannot hide or reorder what is shown.
std::u16string VisibleText(std::u16string_view text);

class ConsentDialogs {
 public:
  virtual ~ConsentDialogs() = default;
  // Shows the consent modally; kDismissed for the close box, no answer in
  // time, or a dialog that cannot be shown.
  virtual ConsentAnswer AskConsent(const ConsentRequest& request) = 0;
};

// One implementation of every service. The bundle owns its services.
struct UiServices {
  std::shared_ptr<FileDialogs> fileDialogs;
  std::shared_ptr<MessageBoxes> messageBoxes;
  std::shared_ptr<CertificateChooser> chooser;
  std::shared_ptr<FileViewer> fileViewer;
  std::shared_ptr<OriginApprovals> originApprovals;
  std::shared_ptr<PinEntries> pinEntries;
  std::shared_ptr<ConsentDialogs> consent;
};

// The answer a dismissed message box gives: OK for a box with only OK, and
// otherwise the negative choice.
MessageBoxAnswer DismissedAnswer(MessageBoxButtons buttons);

// The services QUORVEL_UI selects. The bundle is built on first use and built
// again when QUORVEL_UI, QUORVEL_UI_SCRIPT or QUORVEL_UI_LOG change; holders of
// an earlier bundle keep it as long as they hold it.
UiServices CurrentUiServices();

// Installs the factory of the desktop's dialogs, which QUORVEL_UI=`name` (and
// an unset QUORVEL_UI) then select. A program that links them calls this once
// at start-up.
void SetDesktopUiFactory(std::string_view name, std::function<UiServices()> factory);

}  // namespace quorvel::platform
