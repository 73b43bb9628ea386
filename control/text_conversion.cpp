#include "control/text_conversion.h"

#include "control/error_numbers.h"
#include "platform/text/code_page.h"

namespace quorvel::control {

ErrorNumber ToCodePageBytes(uint32_t codePage, std::u16string_view text, std::string& bytes) {
  std::string converted;
  if (platform::EncodeToCodePage(codePage, text, converted) != platform::CodePageStatus::kOk) {
    return err::kToCodePage;
  }
  bytes = std::move(converted);
  return err::kOk;
}

ErrorNumber FromCodePageBytes(uint32_t codePage, std::string_view bytes, std::u16string& text) {
  if (bytes.empty()) return err::kFromCodePage;
  std::u16string converted;
  if (platform::DecodeFromCodePage(codePage, bytes, converted) != platform::CodePageStatus::kOk ||
      converted.empty()) {
    return err::kFromCodePage;
  }
  text = std::move(converted);
  return err::kOk;
}

}  // namespace quorvel::control
