#include "control/registration/key_use_policy.h"

#include <chrono>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "certs/cert_info.h"
#include "container/plain_text.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"
#include "platform/text/hex.h"
#include "platform/ui/ui_services.h"

namespace quorvel::registration {
namespace {

using platform::LowerHex;

std::string Sha256(std::string_view bytes) {
  std::unique_ptr<platform::Hash> hash;
  platform::Bytes digest;
  if (platform::Hash::Create(platform::kCalgSha256, hash) != platform::error::kOk ||
      hash->HashData({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}) !=
          platform::error::kOk ||
      hash->GetValue(digest) != platform::error::kOk) {
    return {};
  }
  return LowerHex(digest);
}

// At most this many bytes of something that is no text are shown, in hex.
constexpr size_t kHexShown = 256;

// `bytes` as text of `codePage` when they are exactly that: decoding and
// encoding again gives the same bytes. `truncated` bytes may end inside a
// character, which is then left out. Anything else is shown in hex, so that a
// page cannot make the text read otherwise than the bytes it has signed.
std::u16string Decoded(uint32_t codePage, std::string_view bytes, bool truncated = false) {
  for (size_t cut = 0; cut <= (truncated ? 3 : 0) && cut <= bytes.size(); ++cut) {
    const std::string_view whole = bytes.substr(0, bytes.size() - cut);
    std::u16string text;
    std::string again;
    if (platform::DecodeFromCodePage(codePage, whole, text) == platform::CodePageStatus::kOk &&
        text.find(u'\uFFFD') == std::u16string::npos &&
        platform::EncodeToCodePage(codePage, text, again) == platform::CodePageStatus::kOk &&
        again == whole) {
      return text;
    }
  }
  const std::string_view shown = bytes.substr(0, kHexShown);
  return u"<不是代码页 " + platform::Utf8ToUtf16(std::to_string(codePage)) +
         u" 的文本 not text in code page " + platform::Utf8ToUtf16(std::to_string(codePage)) +
         u"; hex: " +
         platform::Utf8ToUtf16(
             LowerHex({reinterpret_cast<const uint8_t*>(shown.data()), shown.size()})) +
         (bytes.size() > shown.size() ? u"…>" : u">");
}

// The form items and files of a formatted plain text, when the bytes are
// exactly their encoding; text around or after them would not be shown.
bool ExactlyFormatted(std::string_view bytes, container::FormattedPlainText& formatted) {
  std::string encoded;
  return formatted.Decode(bytes) == container::kPlainTextOk &&
         formatted.FormItemCount() + formatted.FileCount() > 0 &&
         formatted.Encode(encoded) == container::kPlainTextOk && encoded == bytes;
}

platform::ConsentContent Describe(platform::KeyAction action, std::string_view bytes,
                                  uint32_t codePage) {
  platform::ConsentContent content;
  content.size = bytes.size();
  if (action == platform::KeyAction::kDecrypt) return content;  // an envelope: no text to show
  container::FormattedPlainText formatted;
  if (action == platform::KeyAction::kSign && ExactlyFormatted(bytes, formatted)) {
    content.formatted = true;
    std::string item;
    for (size_t i = 0; i < formatted.FormItemCount(); ++i) {
      if (formatted.GetFormItem(static_cast<int64_t>(i), item) == container::kPlainTextOk) {
        content.items.push_back(Decoded(codePage, item));
      }
    }
    std::string name;
    std::string file;
    for (size_t i = 0; i < formatted.FileCount(); ++i) {
      if (formatted.GetFile(static_cast<int64_t>(i), name, file) == container::kPlainTextOk) {
        content.files.push_back({Decoded(codePage, name), file.size(), Sha256(file)});
      }
    }
    return content;
  }
  content.text = Decoded(codePage, bytes.substr(0, platform::kConsentTextBytes),
                         bytes.size() > platform::kConsentTextBytes);
  return content;
}

platform::ConsentAction ConsentActionOf(platform::KeyAction action) {
  switch (action) {
    case platform::KeyAction::kSign:
      return platform::ConsentAction::kSign;
    case platform::KeyAction::kRawSign:
      return platform::ConsentAction::kRawSign;
    case platform::KeyAction::kDecrypt:
      return platform::ConsentAction::kDecrypt;
  }
  return platform::ConsentAction::kSign;
}

// A page refused this many times in a row is refused without asking for a
// while, so that it cannot wear the user down with dialogs.
constexpr int kRefusalsBeforePause = 3;
constexpr auto kRefusalPause = std::chrono::seconds(60);
constexpr size_t kMaxOriginsRemembered = 256;

class OriginRefusals {
 public:
  bool Paused(const std::u16string& origin) {
    const std::lock_guard lock(mutex_);
    const auto found = refusals_.find(origin);
    return found != refusals_.end() && found->second.inARow >= kRefusalsBeforePause &&
           Clock::now() - found->second.last < kRefusalPause;
  }

  void Note(const std::u16string& origin, bool refused) {
    const std::lock_guard lock(mutex_);
    if (!refused) {
      refusals_.erase(origin);
      return;
    }
    if (refusals_.size() >= kMaxOriginsRemembered && refusals_.count(origin) == 0) {
      refusals_.clear();
    }
    Entry& entry = refusals_[origin];
    if (Clock::now() - entry.last >= kRefusalPause) entry.inARow = 0;
    ++entry.inARow;
    entry.last = Clock::now();
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    int inARow = 0;
    Clock::time_point last{};
  };
  std::mutex mutex_;
  std::map<std::u16string, Entry> refusals_;
};

OriginRefusals& Refusals() {
  static OriginRefusals refusals;
  return refusals;
}

}  // namespace

CallerKeyUse::CallerKeyUse(std::u16string_view caller, std::string_view member, uint32_t codePage)
    : caller_(caller), web_(caller != kLocalCaller), member_(member), codePage_(codePage) {}

bool CallerKeyUse::Approve(const platform::KeyUse& use) {
  try {
    const std::string_view bytes(reinterpret_cast<const char*>(use.content.data()),
                                 use.content.size());
    certs::CertInfoRecord info;
    // The certificate as it was parsed, borrowed for this call.
    const platform::CertContext context(
        std::shared_ptr<const platform::Certificate>(std::shared_ptr<void>(), use.certificate), {},
        0);
    static_cast<void>(certs::FillCertInfo(&context, &info));
    action_ = use.action;
    refused_ = false;
    entry_ = platform::HistoryEntry{};
    entry_->caller = platform::Utf16ToUtf8(caller_);
    entry_->member = member_;
    entry_->certificate = platform::Utf16ToUtf8(info[0]);
    entry_->thumbprint = LowerHex(use.certificate->Sha1());
    entry_->contentSha256 = Sha256(bytes);
    if (!web_) return true;
    if (Refusals().Paused(caller_)) {
      refused_ = true;
      return false;
    }

    platform::ConsentRequest request;
    request.origin = caller_;
    request.action = ConsentActionOf(use.action);
    request.subject = info[0];
    request.issuer = info[1];
    request.notBefore = info[2];
    request.notAfter = info[3];
    request.content = Describe(use.action, bytes, codePage_);
    request.contentSha256 = entry_->contentSha256;
    const platform::UiServices ui = platform::CurrentUiServices();
    const platform::ConsentAnswer answer =
        ui.consent ? ui.consent->AskConsent(request) : platform::ConsentAnswer::kDismissed;
    refused_ = answer != platform::ConsentAnswer::kConfirm;
    Refusals().Note(caller_, refused_);
    return !refused_;
  } catch (const std::bad_alloc&) {
    refused_ = true;
    return false;
  }
}

void CallerKeyUse::Record(int32_t errorNum) const {
  if (!entry_) return;
  try {
    platform::HistoryEntry entry = *entry_;
    entry.errorNum = errorNum;
    entry.outcome = refused_                                   ? "cancelled"
                    : errorNum != 0                            ? "failed"
                    : action_ == platform::KeyAction::kDecrypt ? "decrypted"
                                                               : "signed";
    static_cast<void>(platform::AppendHistory(std::move(entry)));
  } catch (const std::bad_alloc&) {
    // The operation's outcome stands without its entry.
  }
}

}  // namespace quorvel::registration
