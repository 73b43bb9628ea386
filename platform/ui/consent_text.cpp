// The consent's text: what a web page asks a private key to do.
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::platform {
namespace {

// Characters that could hide, reorder or fake what is shown: C0 and C1
// controls (but the line feed), Unicode's format and bidirectional marks,
// variation selectors, fillers and tags.
bool Hidden(char32_t c) {
  if (c == U'\n') return false;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  switch (c) {
    case 0x00AD:  // soft hyphen
    case 0x034F:  // combining grapheme joiner
    case 0x061C:  // Arabic letter mark
    case 0x115F:
    case 0x1160:
    case 0x3164:
    case 0xFFA0:  // Hangul fillers
    case 0x180E:
    case 0xFEFF:
      return true;
    default:
      break;
  }
  if (c >= 0x200B && c <= 0x200F) return true;    // zero widths, LRM, RLM
  if (c >= 0x2028 && c <= 0x202E) return true;    // separators, embeddings, overrides
  if (c >= 0x2060 && c <= 0x206F) return true;    // joiners, isolates, deprecated formats
  if (c >= 0xFE00 && c <= 0xFE0F) return true;    // variation selectors
  if (c >= 0xFFF9 && c <= 0xFFFB) return true;    // interlinear annotations
  if (c >= 0xD800 && c <= 0xDFFF) return true;    // a surrogate without its pair
  if (c >= 0x1D173 && c <= 0x1D17A) return true;  // musical formatting
  if (c >= 0xE0000 && c <= 0xE0FFF) return true;  // tags, variation selectors supplement
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
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    size_t units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
    }
    if (!Hidden(c)) {
      shown.append(text.substr(i, units));
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(c));
      shown += Ascii(code);
    }
    i += units - 1;
  }
  return shown;
}

// Text from the page, on lines of its own that each start with a bar, so that
// it cannot pass for the dialog's own lines.
std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"  │ ";
  for (const char16_t c : VisibleText(text)) {
    quoted += c;
    if (c == u'\n') quoted += u"  │ ";
  }
  return quoted;
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
    // Lines up to about kConsentTextBytes characters; the rest is counted, and
    // the digest below covers it all.
    std::size_t room = kConsentTextBytes;
    const auto line = [&](std::u16string shown) {
      if (room == 0) return false;
      if (shown.size() > room) shown = shown.substr(0, room) + u"…";
      room -= std::min(room, shown.size());
      text += shown + u"\n";
      return true;
    };
    const auto rest = [&](std::size_t left) {
      if (left > 0) text += u"  … 另有 " + Number(left) + u" 项 " + Number(left) + u" more\n";
    };
    text += u"表单 Form items: " + Number(content.items.size()) + u"\n";
    std::size_t shown = 0;
    while (shown < content.items.size() && line(Quoted(content.items[shown]))) ++shown;
    rest(content.items.size() - shown);
    text += u"文件 Files: " + Number(content.files.size()) + u"\n";
    shown = 0;
    while (shown < content.files.size()) {
      const ConsentFile& file = content.files[shown];
      if (!line(Quoted(file.name) + u"  " + Number(file.size) + u" B  SHA-256 " +
                Ascii(file.sha256))) {
        break;
      }
      ++shown;
    }
    rest(content.files.size() - shown);
  } else {
    text += u"内容 Content (" + Number(content.size) + u" B";
    if (content.size > kConsentTextBytes) {
      text += u", 仅显示前 " + Number(kConsentTextBytes) + u" B, first " +
              Number(kConsentTextBytes) + u" B shown";
    }
    text += u")\n" + Quoted(content.text) + u"\n";
  }
  text += u"\nSHA-256: " + Ascii(request.contentSha256);
  return text;
}

}  // namespace quorvel::platform
