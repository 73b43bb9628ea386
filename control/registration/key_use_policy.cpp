#include "control/registration/key_use_policy.h"

#include <openssl/evp.h>

#include <new>
#include <string>

#include "certs/cert_info.h"
#include "container/plain_text.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::registration {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string Sha256(std::string_view bytes) {
  uint8_t digest[EVP_MAX_MD_SIZE];
  size_t length = 0;
  if (EVP_Q_digest(platform::CryptoLibrary(), "SHA256", platform::kCryptoProperties, bytes.data(),
                   bytes.size(), digest, &length) != 1) {
    return {};
  }
  return Hex({digest, length});
}

// Text in the control's code page as the user reads it; a multibyte character
// cut at the end is left out.
std::u16string Decoded(uint32_t codePage, std::string_view bytes) {
  for (size_t cut = 0; cut < 4 && cut <= bytes.size(); ++cut) {
    std::u16string text;
    if (platform::DecodeFromCodePage(codePage, bytes.substr(0, bytes.size() - cut), text) ==
        platform::CodePageStatus::kOk) {
      return text;
    }
  }
  return u"<?>";
}

platform::ConsentContent Describe(platform::KeyAction action, std::string_view bytes,
                                  uint32_t codePage) {
  platform::ConsentContent content;
  content.size = bytes.size();
  if (action == platform::KeyAction::kDecrypt) return content;  // an envelope: no text to show
  container::FormattedPlainText formatted;
  if (action == platform::KeyAction::kSign && formatted.Decode(bytes) == container::kPlainTextOk &&
      formatted.FormItemCount() + formatted.FileCount() > 0) {
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
  content.text = Decoded(codePage, bytes.substr(0, platform::kConsentTextBytes));
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

}  // namespace

CallerKeyUse::CallerKeyUse(std::u16string_view caller, std::string_view member, uint32_t codePage)
    : caller_(caller), web_(caller != kLocalCaller), member_(member), codePage_(codePage) {}

bool CallerKeyUse::Approve(const platform::KeyUse& use) {
  try {
    const std::string_view bytes(reinterpret_cast<const char*>(use.content.data()),
                                 use.content.size());
    certs::CertInfoRecord info;
    platform::CertContextRef context;
    if (platform::CreateCertificateContext(use.certificate->Der(), context) ==
        platform::error::kOk) {
      static_cast<void>(certs::FillCertInfo(context.get(), &info));
    }
    action_ = use.action;
    refused_ = false;
    entry_ = platform::HistoryEntry{};
    entry_->caller = platform::Utf16ToUtf8(caller_);
    entry_->member = member_;
    entry_->certificate = platform::Utf16ToUtf8(info[0]);
    entry_->thumbprint = Hex(use.certificate->Sha1());
    entry_->contentSha256 = Sha256(bytes);
    if (!web_) return true;

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
