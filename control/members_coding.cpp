// Base64 members: text in the code page to Base64 and back.
#include "control/control.h"
#include "control/member_runner.h"
#include "platform/text/base64.h"

namespace quorvel::control {

Status CDrennicQuorvel::QVBase64Encode(const std::u16string& base64ToBeEncodedText,
                                       std::u16string& result) {
  std::u16string encoded;
  const Status status = RunMember({}, [&] {
    if (base64ToBeEncodedText.empty()) FailKeepingMessage(err::kEmptyInput);
    const std::string bytes = ToBytesOrFail(base64ToBeEncodedText, msg::kCharsetConversion);
    encoded = FromBytesOrFail(platform::Base64Encode(bytes), msg::kCharsetConversion);
  });
  result = std::move(encoded);
  return status;
}

Status CDrennicQuorvel::QVBase64Decode(const std::u16string& base64ToBeDecodedText,
                                       std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (base64ToBeDecodedText.empty()) FailKeepingMessage(err::kEmptyInput);
    const std::string base64 = ToBytesOrFail(base64ToBeDecodedText, msg::kCharsetConversion);
    std::string decoded;
    if (!platform::Base64Decode(base64, decoded))
      Fail(err::kBase64Decode, msg::kBase64DecodeFailed);
    // No decoded bytes fail here, as the conversion of nothing does.
    text = FromBytesOrFail(decoded, msg::kCharsetConversion);
  });
  result = std::move(text);
  return status;
}

}  // namespace quorvel::control
