// The consent's text: what a web page asks a private key to do.
#include <cstdio>
#include <string>

#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::platform {
namespace {

// Characters that could hide, reorder or fake what is shown: C0 and C1
// controls (but the line feed), and Unicode's format and bidirectional marks.
bool Hidden(char16_t c) {
  if (c == u'\n') return false;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  if (c == 0x00AD || c == 0x061C || c == 0x180E || c == 0xFEFF) return true;
  if (c >= 0x200B && c <= 0x200F) return true;  // zero widths, LRM, RLM
  if (c >= 0x2028 && c <= 0x202E) return true;  // separators, embeddings, overrides
  if (c >= 0x2060 && c <= 0x206F) return true;  // joiners, isolates, deprecated formats
  if (c >= 0xFFF9 && c <= 0xFFFB) return true;  // interlinear annotations
  return false;
}

std::u16string Number(uint64_t value) {
  return Utf8ToUtf16(std::to_string(value));
}

std::u16string Ascii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string ActionText(ConsentAction action) {
  switch (action) {
    case ConsentAction::kSign:
      return u"请求用您的证书签名以下内容。\nasks to sign the content below with your certificate.";
    case ConsentAction::kRawSign:
      return u"请求用您的证书对以下数据做原始签名。原始签名可以代表任何内容，请只在您确知其用途时确"
             u"认。\n"
             u"asks for a raw signature over the data below. A raw signature can stand for "
             u"anything: confirm only if you know what it is for.";
    case ConsentAction::kDecrypt:
      return u"请求用您的证书解密发给您的数字信封。\nasks to decrypt an envelope addressed to you "
             u"with your certificate.";
  }
  return {};
}

}  // namespace

std::u16string VisibleText(std::u16string_view text) {
  std::u16string shown;
  shown.reserve(text.size());
  for (const char16_t c : text) {
    if (!Hidden(c)) {
      shown += c;
      continue;
    }
    char code[12];
    std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(c));
    shown += Ascii(code);
  }
  return shown;
}

std::u16string_view ConsentConfirmCaption(ConsentAction action) {
  return action == ConsentAction::kDecrypt ? u"解密 Decrypt" : u"确认 Confirm";
}

std::u16string ConsentText(const ConsentRequest& request) {
  std::u16string text = u"网页 Web page: " + VisibleText(DisplayedOrigin(request.origin)) + u"\n" +
                        ActionText(request.action) + u"\n\n证书 Certificate\n  " +
                        VisibleText(request.subject) + u"\n  颁发者 Issuer: " +
                        VisibleText(request.issuer) + u"\n  有效期 Valid: " + request.notBefore +
                        u" – " + request.notAfter + u"\n\n";
  const ConsentContent& content = request.content;
  if (content.formatted) {
    text += u"表单 Form items: " + Number(content.items.size()) + u"\n";
    for (const std::u16string& item : content.items) text += u"  " + VisibleText(item) + u"\n";
    text += u"文件 Files: " + Number(content.files.size()) + u"\n";
    for (const ConsentFile& file : content.files) {
      text += u"  " + VisibleText(file.name) + u"  " + Number(file.size) + u" B  SHA-256 " +
              Ascii(file.sha256) + u"\n";
    }
  } else {
    text += u"内容 Content (" + Number(content.size) + u" B";
    if (content.size > kConsentTextBytes) {
      text += u", 仅显示前 " + Number(kConsentTextBytes) + u" B, first " +
              Number(kConsentTextBytes) + u" B shown";
    }
    text += u")\n" + VisibleText(content.text) + u"\n";
  }
  text += u"\nSHA-256: " + Ascii(request.contentSha256);
  return text;
}

}  // namespace quorvel::platform
