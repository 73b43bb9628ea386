#include "platform/ui/ui_services.h"

#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/text/code_page.h"
#include "platform/text/idn.h"
#include "platform/ui/ui_none.h"
#include "platform/ui/ui_script.h"

namespace quorvel::platform {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

struct Selection {
  std::string ui;
  std::string script;
  std::string log;
  bool hasDesktop = false;
  bool operator==(const Selection&) const = default;
};

struct Current {
  std::mutex mutex;
  std::string desktopName;
  std::function<UiServices()> desktopFactory;
  std::optional<Selection> selection;
  UiServices services;
};

Current& TheCurrent() {
  static Current current;
  return current;
}

UiServices Build(const Selection& selection, const Current& current) {
  if (selection.ui == "script") return MakeScriptUiServices(selection.script, selection.log);
  if (selection.ui == "none") return MakeNoneUiServices();
  if (current.desktopFactory && (selection.ui == current.desktopName || selection.ui.empty())) {
    return current.desktopFactory();
  }
  return MakeNoneUiServices();
}

}  // namespace

MessageBoxAnswer DismissedAnswer(MessageBoxButtons buttons) {
  switch (buttons) {
    case MessageBoxButtons::kOk:
      return MessageBoxAnswer::kOk;
    case MessageBoxButtons::kOkCancel:
      return MessageBoxAnswer::kCancel;
    case MessageBoxButtons::kYesNo:
      return MessageBoxAnswer::kNo;
  }
  return MessageBoxAnswer::kCancel;
}

namespace {

// "scheme://host[:port]" with an internationalised host in Unicode, or nullopt
// when the origin has no Punycode label or does not decode.
std::optional<std::u16string> UnicodeOrigin(std::u16string_view origin) {
  const std::string text = Utf16ToUtf8(std::u16string(origin));
  const size_t separator = text.find("://");
  if (separator == std::string::npos || text.find("xn--") == std::string::npos) {
    return std::nullopt;
  }
  const size_t hostStart = separator + 3;
  if (text.compare(hostStart, 1, "[") == 0) return std::nullopt;
  const size_t colon = text.find(':', hostStart);
  const size_t hostEnd = colon == std::string::npos ? text.size() : colon;
  const auto host =
      HostNameToUnicode(std::string_view(text).substr(hostStart, hostEnd - hostStart));
  if (!host) return std::nullopt;
  return Utf8ToUtf16(text.substr(0, hostStart) + *host + text.substr(hostEnd));
}

}  // namespace

std::u16string DisplayedOrigin(std::u16string_view origin) {
  std::u16string shown(origin);
  if (const auto unicode = UnicodeOrigin(origin); unicode && *unicode != shown) {
    shown = *unicode + u" (" + shown + u")";
  }
  return shown;
}

std::u16string OriginApprovalText(std::u16string_view origin) {
  const std::u16string shown = DisplayedOrigin(origin);
  return u"是否允许 " + shown + u" 使用您的证书签名？\n" + u"Allow " + shown +
         u" to use your certificates for signing?";
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
  if (this != &other) {
    Wipe();
    bytes_ = std::move(other.bytes_);
  }
  return *this;
}

void SecretText::Wipe() {
  // Stores through a volatile pointer are never optimised away, unlike a
  // plain fill before a free.
  volatile char* bytes = bytes_.data();
  for (size_t i = 0; i < bytes_.size(); ++i) bytes[i] = 0;
  bytes_.clear();
}

std::u16string PinPromptText(const PinRequest& request) {
  std::u16string text = u"Enter the PIN of the token ";
  text += request.tokenLabel;
  text += u".";
  if (request.tries == PinTries::kFew) {
    text += u"\nFew tries are left before the token locks.";
  } else if (request.tries == PinTries::kLast) {
    text += u"\nThis is the last try before the token locks.";
  }
  return text;
}

UiServices CurrentUiServices() {
  Current& current = TheCurrent();
  std::lock_guard lock(current.mutex);
  Selection selection{Environment("QUORVEL_UI"), Environment("QUORVEL_UI_SCRIPT"),
                      Environment("QUORVEL_UI_LOG"), static_cast<bool>(current.desktopFactory)};
  if (current.selection != selection) {
    current.services = Build(selection, current);
    current.selection = std::move(selection);
  }
  return current.services;
}

void SetDesktopUiFactory(std::string_view name, std::function<UiServices()> factory) {
  Current& current = TheCurrent();
  std::lock_guard lock(current.mutex);
  current.desktopName = name;
  current.desktopFactory = std::move(factory);
  current.selection.reset();
}

}  // namespace quorvel::platform
