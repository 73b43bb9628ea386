#include "control/control.h"

#include "control/error_numbers.h"
#include "control/text_conversion.h"

namespace quorvel::control {

CDrennicQuorvel::CDrennicQuorvel() = default;

std::string CDrennicQuorvel::ToBytesOrFail(std::u16string_view text,
                                           std::u16string_view message) const {
  std::string bytes;
  if (const ErrorNumber result = ToCodePageBytes(state.codePage, text, bytes); result != err::kOk) {
    Fail(result, message);
  }
  return bytes;
}

std::u16string CDrennicQuorvel::FromBytesOrFail(std::string_view bytes,
                                                std::u16string_view message) const {
  std::u16string text;
  if (const ErrorNumber result = FromCodePageBytes(state.codePage, bytes, text);
      result != err::kOk) {
    Fail(result, message);
  }
  return text;
}

}  // namespace quorvel::control
