#include "platform/ui/ui_script.h"

#include <cstddef>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/fileio/whole_file.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {
namespace {

using nlohmann::json;

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Appends whole lines to the log file; each line is one write, so lines of
// concurrent writers do not interleave.
void AppendLine(const std::filesystem::path& file, const std::string& line) {
  if (!file.empty()) static_cast<void>(AppendToFile(file, line + "\n"));
}

std::string_view OutcomeName(DialogOutcome outcome) {
  switch (outcome) {
    case DialogOutcome::kChosen:
      return "chosen";
    case DialogOutcome::kCancelled:
      return "cancelled";
    case DialogOutcome::kFailed:
      return "failed";
  }
  return "failed";
}

std::string_view ButtonsName(MessageBoxButtons buttons) {
  switch (buttons) {
    case MessageBoxButtons::kOk:
      return "ok";
    case MessageBoxButtons::kOkCancel:
      return "okcancel";
    case MessageBoxButtons::kYesNo:
      return "yesno";
  }
  return "ok";
}

std::string_view AnswerName(MessageBoxAnswer answer) {
  switch (answer) {
    case MessageBoxAnswer::kOk:
      return "ok";
    case MessageBoxAnswer::kCancel:
      return "cancel";
    case MessageBoxAnswer::kYes:
      return "yes";
    case MessageBoxAnswer::kNo:
      return "no";
  }
  return "ok";
}

bool Offers(MessageBoxButtons buttons, MessageBoxAnswer answer) {
  switch (buttons) {
    case MessageBoxButtons::kOk:
      return answer == MessageBoxAnswer::kOk;
    case MessageBoxButtons::kOkCancel:
      return answer == MessageBoxAnswer::kOk || answer == MessageBoxAnswer::kCancel;
    case MessageBoxButtons::kYesNo:
      return answer == MessageBoxAnswer::kYes || answer == MessageBoxAnswer::kNo;
  }
  return false;
}

std::optional<MessageBoxAnswer> ParseButton(std::string_view name) {
  for (MessageBoxAnswer answer : {MessageBoxAnswer::kOk, MessageBoxAnswer::kCancel,
                                  MessageBoxAnswer::kYes, MessageBoxAnswer::kNo}) {
    if (AnswerName(answer) == name) return answer;
  }
  return std::nullopt;
}

// The Save dialog appends the default extension to a chosen name that has none.
std::string WithDefaultExtension(std::string path, const std::u16string& extension) {
  if (extension.empty()) return path;
  const size_t slash = path.find_last_of(PathSeparators());
  const std::string_view name =
      std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.find('.') == std::string_view::npos) path += "." + Utf16ToUtf8(extension);
  return path;
}

std::string Text(const std::optional<std::u16string>& text) {
  return text ? Utf16ToUtf8(*text) : std::string();
}

json RowsJson(const std::vector<ChooserRow>& rows) {
  json out = json::array();
  for (const ChooserRow& row : rows) {
    out.push_back({Utf16ToUtf8(row.subject), Utf16ToUtf8(row.issuer), Utf16ToUtf8(row.notAfter)});
  }
  return out;
}

// The chooser's dialog as the script drives it: messages and viewed files are
// recorded in the step that caused them.
class ScriptChooserHost final : public ChooserHost {
 public:
  explicit ScriptChooserHost(json& step) : step_(&step) {}
  void Use(json& step) { step_ = &step; }
  void ShowMessage(std::u16string_view text) override {
    (*step_)["message"] = Utf16ToUtf8(std::u16string(text));
  }
  bool OpenWithViewer(const std::filesystem::path& file) override {
    (*step_)["viewed"] = file.string();
    return true;
  }

 private:
  json* step_;
};

// Runs the scripted actions of one chooser on `logic`, appending one step per
// action to `steps`. Returns the outcome; `error` says why a script is at fault.
// The selection of a scripted chooser: a candidate, which follows its row
// when the list is sorted.
class ScriptedSelection {
 public:
  explicit ScriptedSelection(const ChooserLogic& logic) : logic_(logic) {}

  std::optional<std::size_t> Row() const {
    if (selected_ == kNone) return std::nullopt;
    const auto& rows = logic_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].candidate == selected_) return i;
    }
    return std::nullopt;
  }

  // A displayed row's number, or null for no selection; false for anything else.
  bool Select(const json& row) {
    if (row.is_null()) {
      selected_ = kNone;
      return true;
    }
    if (!row.is_number_unsigned() || row.get<std::size_t>() >= logic_.rows().size()) return false;
    selected_ = logic_.rows()[row.get<std::size_t>()].candidate;
    return true;
  }

 private:
  static constexpr int kNone = -1;
  const ChooserLogic& logic_;
  int selected_ = kNone;
};

// One action of a chooser's script, and where it stands for messages.
struct ScriptedAction {
  std::string name;
  const json* argument = nullptr;  // {"sort": 1} has one; "cancel" none
  std::string where;
};

ScriptedAction ActionAt(const json& actions, std::size_t index) {
  ScriptedAction action{{}, nullptr, "chooser action " + std::to_string(index + 1)};
  const json& given = actions[index];
  if (given.is_string()) {
    action.name = given.get<std::string>();
  } else if (given.is_object() && given.size() == 1) {
    action.name = given.begin().key();
    action.argument = &given.begin().value();
  }
  return action;
}

// Runs one action on the chooser: nothing while the dialog stays open, or
// how it ended (kFailed with `error` for an action that cannot be run). An
// action that ends the dialog records its own step.
std::optional<DialogOutcome> RunChooserAction(const ScriptedAction& action, ChooserLogic& logic,
                                              ScriptedSelection& selection, ScriptChooserHost& host,
                                              json& step, json& steps, std::string& error) {
  const std::string& name = action.name;
  const json* argument = action.argument;
  if (name == "sort") {
    if (argument == nullptr || !argument->is_number_unsigned() ||
        argument->get<std::size_t>() >= static_cast<std::size_t>(kChooserColumns)) {
      error = action.where + " needs a column 0, 1 or 2";
      return DialogOutcome::kFailed;
    }
    step["column"] = *argument;
    logic.SortByColumn(argument->get<int>());
    step["rows"] = RowsJson(logic.rows());
    return std::nullopt;
  }
  if (name == "cancel" || name == "close") {
    steps.push_back(step);
    return DialogOutcome::kCancelled;
  }
  if (name != "select" && name != "ok" && name != "view" && name != "doubleclick") {
    error = action.where + " is not sort, select, ok, view, doubleclick, cancel or close";
    return DialogOutcome::kFailed;
  }
  if (argument != nullptr && !selection.Select(*argument)) {
    error = action.where + " names no displayed row";
    return DialogOutcome::kFailed;
  }
  if (name == "select" && argument == nullptr) {
    error = action.where + " needs a row or null";
    return DialogOutcome::kFailed;
  }
  const std::optional<std::size_t> row = selection.Row();
  step["row"] = row ? json(*row) : json(nullptr);
  if (name == "ok") {
    if (logic.Ok(row, host)) {
      steps.push_back(step);
      return DialogOutcome::kChosen;
    }
  } else if (name != "select") {
    logic.View(row, host);
  }
  return std::nullopt;
}

DialogOutcome RunChooserActions(const json& actions, ChooserLogic& logic, json& steps,
                                std::string& error) {
  ScriptedSelection selection(logic);
  json step;
  ScriptChooserHost host(step);
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const ScriptedAction action = ActionAt(actions, i);
    step = json{{"action", action.name}};
    host.Use(step);
    if (const auto ended = RunChooserAction(action, logic, selection, host, step, steps, error)) {
      return *ended;
    }
    steps.push_back(step);
  }
  // Actions that run out leave the dialog as the close box would.
  return DialogOutcome::kCancelled;
}

std::string_view ApprovalName(OriginApproval approval) {
  switch (approval) {
    case OriginApproval::kAllowOnce:
      return "once";
    case OriginApproval::kAlways:
      return "always";
    case OriginApproval::kDeny:
      return "deny";
    case OriginApproval::kDismissed:
      return "dismissed";
  }
  return "dismissed";
}

std::optional<OriginApproval> ParseApproval(std::string_view name) {
  for (OriginApproval approval : {OriginApproval::kAllowOnce, OriginApproval::kAlways,
                                  OriginApproval::kDeny, OriginApproval::kDismissed}) {
    if (ApprovalName(approval) == name) return approval;
  }
  return std::nullopt;
}

class ScriptUi final : public FileDialogs,
                       public MessageBoxes,
                       public CertificateChooser,
                       public FileViewer,
                       public OriginApprovals,
                       public PinEntries,
                       public ConsentDialogs {
 public:
  ScriptUi(const std::filesystem::path& scriptFile, std::filesystem::path logFile)
      : logFile_(std::move(logFile)) {
    Load(scriptFile);
  }

  DialogResult ShowOpenDialog(const OpenDialogRequest& request) override {
    json entry = {{"kind", "open"},
                  {"title", Utf16ToUtf8(request.title)},
                  {"filter", Utf16ToUtf8(request.filter)},
                  {"suggestedName", ""},
                  {"defaultExtension", ""}};
    return AnswerFileDialog(std::move(entry), {});
  }

  DialogResult ShowSaveDialog(const SaveDialogRequest& request) override {
    json entry = {{"kind", "save"},
                  {"title", Utf16ToUtf8(request.title)},
                  {"filter", Utf16ToUtf8(request.filter)},
                  {"suggestedName", Utf16ToUtf8(request.suggestedName)},
                  {"defaultExtension", Utf16ToUtf8(request.defaultExtension)}};
    return AnswerFileDialog(std::move(entry), request.defaultExtension);
  }

  MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    std::lock_guard lock(mutex_);
    json entry = {{"kind", "message"},
                  {"title", Utf16ToUtf8(request.title)},
                  {"text", Utf16ToUtf8(request.text)},
                  {"buttons", ButtonsName(request.buttons)}};
    MessageBoxAnswer answer = DismissedAnswer(request.buttons);
    std::string error;
    if (const json* scripted = Next("message", error)) {
      const auto button = scripted->find("button");
      std::optional<MessageBoxAnswer> chosen;
      if (button != scripted->end() && button->is_string()) {
        chosen = ParseButton(button->get_ref<const std::string&>());
      }
      if (!chosen) {
        error = "answer " + std::to_string(lastTaken_) + " has no valid \"button\"";
      } else if (!Offers(request.buttons, *chosen)) {
        error = "answer " + std::to_string(lastTaken_) + " names a button the box does not offer";
      } else {
        answer = *chosen;
      }
    }
    entry["answer"] = AnswerName(answer);
    if (!error.empty()) entry["error"] = error;
    AppendLine(logFile_, Dump(entry));
    return answer;
  }

  DialogOutcome ShowChooser(ChooserLogic& logic) override {
    std::lock_guard lock(mutex_);
    const ChooserTexts& texts = logic.texts();
    json entry = {
        {"kind", "chooser"},
        {"title", texts.title ? Utf16ToUtf8(*texts.title)
                              : Utf16ToUtf8(std::u16string(kChooserDefaultCaption))},
        {"prompt", Text(texts.prompt)},
        {"headings",
         {Text(texts.subjectHeading), Text(texts.issuerHeading), Text(texts.notAfterHeading)}},
        {"buttons", {Text(texts.okCaption), Text(texts.cancelCaption), Text(texts.viewCaption)}},
        {"information", Text(texts.information)},
        {"rows", RowsJson(logic.rows())}};
    if (!texts.origin.empty()) entry["origin"] = Utf16ToUtf8(texts.origin);
    DialogOutcome outcome = DialogOutcome::kCancelled;
    std::string error;
    json steps = json::array();
    if (const json* scripted = Next("chooser", error)) {
      const auto actions = scripted->find("actions");
      if (actions == scripted->end() || !actions->is_array()) {
        outcome = DialogOutcome::kFailed;
        error = "answer " + std::to_string(lastTaken_) + " has no \"actions\" array";
      } else {
        outcome = RunChooserActions(*actions, logic, steps, error);
      }
    } else if (!error.empty()) {
      outcome = DialogOutcome::kFailed;
    }
    entry["steps"] = std::move(steps);
    entry["answer"] = OutcomeName(outcome);
    if (!error.empty()) entry["error"] = error;
    AppendLine(logFile_, Dump(entry));
    return outcome;
  }

  // Answered at once: the script is the user, and never keeps the caller
  // waiting; {"dialog":"approval","answer":"open"} leaves the question open
  // until the caller closes it.
  std::unique_ptr<OriginQuestion> AskOriginApproval(std::u16string_view origin,
                                                    OriginAnswered answered) override {
    OriginApproval approval = OriginApproval::kDismissed;
    bool leftOpen = false;
    {
      std::lock_guard lock(mutex_);
      json entry = {{"kind", "approval"},
                    {"origin", Utf16ToUtf8(std::u16string(origin))},
                    {"text", Utf16ToUtf8(OriginApprovalText(origin))}};
      std::string error;
      if (const json* scripted = Next("approval", error)) {
        const auto answer = scripted->find("answer");
        std::optional<OriginApproval> chosen;
        if (answer != scripted->end() && answer->is_string()) {
          chosen = ParseApproval(answer->get_ref<const std::string&>());
        }
        if (chosen) {
          approval = *chosen;
        } else if (answer != scripted->end() && *answer == "open") {
          leftOpen = true;
        } else {
          error = "answer " + std::to_string(lastTaken_) +
                  " has no \"answer\" once, always, deny or dismissed";
        }
      }
      entry["answer"] = leftOpen ? std::string_view("open") : ApprovalName(approval);
      if (!error.empty()) entry["error"] = error;
      AppendLine(logFile_, Dump(entry));
    }
    if (!leftOpen) answered(approval);
    return std::make_unique<OriginQuestion>();
  }

  // {"dialog":"pin","pin":"1234"} enters a PIN, {"dialog":"pin","cancel":true}
  // cancels. The log records the token and the outcome, never the PIN.
  PinAnswer AskPin(const PinRequest& request) override {
    std::lock_guard lock(mutex_);
    json entry = {{"kind", "pin"},
                  {"token", Utf16ToUtf8(request.tokenLabel)},
                  {"text", Utf16ToUtf8(PinPromptText(request))}};
    PinAnswer answer;
    std::string error;
    if (const json* scripted = Next("pin", error)) {
      if (const auto pin = scripted->find("pin"); pin != scripted->end() && pin->is_string()) {
        answer.outcome = PinOutcome::kEntered;
        answer.pin = SecretText(pin->get_ref<const std::string&>());
      } else if (!scripted->value("cancel", false)) {
        answer.outcome = PinOutcome::kFailed;
        error = "answer " + std::to_string(lastTaken_) + " has no \"pin\" or \"cancel\"";
      }
    } else if (!error.empty()) {
      answer.outcome = PinOutcome::kFailed;
    }
    entry["answer"] = answer.outcome == PinOutcome::kEntered     ? "entered"
                      : answer.outcome == PinOutcome::kCancelled ? "cancelled"
                                                                 : "failed";
    if (!error.empty()) entry["error"] = error;
    AppendLine(logFile_, Dump(entry));
    return answer;
  }

  // {"dialog":"consent","answer":"confirm"} or "cancel"; anything else, or no
  // answer, dismisses it. The log records what the user would see.
  ConsentAnswer AskConsent(const ConsentRequest& request) override {
    std::lock_guard lock(mutex_);
    json entry = {{"kind", "consent"},
                  {"origin", Utf16ToUtf8(request.origin)},
                  {"action", ConsentActionName(request.action)},
                  {"certificate", Utf16ToUtf8(request.subject)},
                  {"content", ConsentContentJson(request.content)},
                  {"contentSha256", request.contentSha256},
                  {"text", Utf16ToUtf8(ConsentText(request))}};
    ConsentAnswer answer = ConsentAnswer::kDismissed;
    std::string error;
    if (const json* scripted = Next("consent", error)) {
      const std::string chosen = scripted->value("answer", std::string());
      if (chosen == "confirm") {
        answer = ConsentAnswer::kConfirm;
      } else if (chosen == "cancel") {
        answer = ConsentAnswer::kCancel;
      } else if (chosen != "dismissed") {
        error = "answer " + std::to_string(lastTaken_) + " has no \"answer\" confirm or cancel";
      }
    }
    entry["answer"] = answer == ConsentAnswer::kConfirm  ? "confirm"
                      : answer == ConsentAnswer::kCancel ? "cancel"
                                                         : "dismissed";
    if (!error.empty()) entry["error"] = error;
    AppendLine(logFile_, Dump(entry));
    return answer;
  }

  static std::string_view ConsentActionName(ConsentAction action) {
    return action == ConsentAction::kSign      ? "sign"
           : action == ConsentAction::kRawSign ? "raw-sign"
                                               : "decrypt";
  }

  static json ConsentContentJson(const ConsentContent& content) {
    if (!content.formatted) {
      return {{"text", Utf16ToUtf8(content.text)}, {"size", content.size}};
    }
    json items = json::array();
    for (const std::u16string& item : content.items) items.push_back(Utf16ToUtf8(item));
    json files = json::array();
    for (const ConsentFile& file : content.files) {
      files.push_back(
          {{"name", Utf16ToUtf8(file.name)}, {"size", file.size}, {"sha256", file.sha256}});
    }
    return {{"items", items}, {"files", files}};
  }

  // Nothing is opened; the log records the file a viewer would show.
  bool OpenWithViewer(const std::filesystem::path& file) override {
    std::lock_guard lock(mutex_);
    AppendLine(logFile_, Dump(json{{"kind", "viewer"}, {"path", file.string()}}));
    return true;
  }

 private:
  void Load(const std::filesystem::path& scriptFile) {
    if (scriptFile.empty()) {
      loadError_ = "QUORVEL_UI_SCRIPT is not set";
      return;
    }
    std::ifstream in(scriptFile, std::ios::binary);
    if (!in) {
      loadError_ = "cannot read the script " + scriptFile.string();
      return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
      const json script = json::parse(text.str());
      const auto list = script.find("answers");
      if (!script.is_object() || list == script.end() || !list->is_array()) {
        loadError_ = "the script has no \"answers\" array";
        return;
      }
      for (const json& answer : *list) {
        if (!answer.is_object()) {
          loadError_ = "every answer must be an object";
          answers_.clear();
          return;
        }
        answers_.push_back(answer);
      }
      taken_.assign(answers_.size(), false);
    } catch (const json::exception& e) {
      loadError_ = std::string("the script is not valid JSON: ") + e.what();
    }
  }

  // The answer for a dialog of `kind`: the first one not yet taken when it
  // names no dialog or this kind, else the first untaken one naming this kind,
  // since dialogs of different kinds may be open at once. Null when there is
  // none, with `error` saying why when the script itself is at fault (the
  // first untaken answer is for another kind: it is used up). An exhausted
  // script answers nothing, which dismisses the dialog.
  const json* Next(std::string_view kind, std::string& error) {
    if (!loadError_.empty()) {
      error = loadError_;
      return nullptr;
    }
    while (next_ < answers_.size() && taken_[next_]) ++next_;
    if (next_ >= answers_.size()) return nullptr;
    auto dialogOf = [](const json& answer) { return answer.find("dialog"); };
    auto fits = [&](const json& answer) {
      const auto dialog = dialogOf(answer);
      return dialog != answer.end() && dialog->is_string() && *dialog == kind;
    };
    size_t chosen = next_;
    if (dialogOf(answers_[next_]) != answers_[next_].end() && !fits(answers_[next_])) {
      for (size_t i = next_ + 1; i < answers_.size(); ++i) {
        if (!taken_[i] && fits(answers_[i])) {
          chosen = i;
          break;
        }
      }
    }
    taken_[chosen] = true;
    lastTaken_ = chosen + 1;
    const json& answer = answers_[chosen];
    if (dialogOf(answer) != answer.end() && !fits(answer)) {
      error =
          "answer " + std::to_string(lastTaken_) + " is not for a " + std::string(kind) + " dialog";
      return nullptr;
    }
    return &answer;
  }

  DialogResult AnswerFileDialog(json entry, const std::u16string& defaultExtension) {
    std::lock_guard lock(mutex_);
    DialogResult result;
    std::string error;
    const json* scripted = Next(entry["kind"].get<std::string>(), error);
    if (scripted == nullptr) {
      if (!error.empty()) result.outcome = DialogOutcome::kFailed;
    } else if (const auto path = scripted->find("path");
               path != scripted->end() && path->is_string() &&
               !path->get_ref<const std::string&>().empty()) {
      result.outcome = DialogOutcome::kChosen;
      result.path = WithDefaultExtension(path->get<std::string>(), defaultExtension);
    } else if (scripted->value("fail", false)) {
      result.outcome = DialogOutcome::kFailed;
    } else if (!scripted->value("cancel", false)) {
      result.outcome = DialogOutcome::kFailed;
      error = "answer " + std::to_string(lastTaken_) + " has no \"path\", \"cancel\" or \"fail\"";
    }
    entry["answer"] = OutcomeName(result.outcome);
    if (result.outcome == DialogOutcome::kChosen) entry["path"] = result.path;
    if (!error.empty()) entry["error"] = error;
    AppendLine(logFile_, Dump(entry));
    return result;
  }

  std::mutex mutex_;
  std::filesystem::path logFile_;
  std::vector<json> answers_;
  std::vector<bool> taken_;
  size_t next_ = 0;       // no answer before this one is left
  size_t lastTaken_ = 0;  // the answer last taken, counted from 1
  std::string loadError_;
};

}  // namespace

UiServices MakeScriptUiServices(const std::filesystem::path& scriptFile,
                                const std::filesystem::path& logFile) {
  auto ui = std::make_shared<ScriptUi>(scriptFile, logFile);
  return {std::shared_ptr<FileDialogs>(ui, ui.get()),
          std::shared_ptr<MessageBoxes>(ui, ui.get()),
          std::shared_ptr<CertificateChooser>(ui, ui.get()),
          std::shared_ptr<FileViewer>(ui, ui.get()),
          std::shared_ptr<OriginApprovals>(ui, ui.get()),
          std::shared_ptr<PinEntries>(ui, ui.get()),
          std::shared_ptr<ConsentDialogs>(ui, ui.get())};
}

}  // namespace quorvel::platform
