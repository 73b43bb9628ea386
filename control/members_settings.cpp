// Properties and setters: separator, error state, compression threshold,
// server mode, version, code page, algorithm identifiers and dialog texts.
#include <algorithm>

#include "control/control.h"
#include "control/member_runner.h"

namespace quorvel::control {

// Only `errorNum` reports a refused separator; the message stays as it was.
Status CDrennicQuorvel::put_DNspliter(const std::u16string& value) {
  if (value.size() > kMaxSeparatorLength) {
    state.errorNum = ToInt(err::kSeparatorLimit);
    return Status::kFalse;
  }
  state.DNspliter = value;
  return Status::kOk;
}

Status CDrennicQuorvel::get_errMsg(std::u16string& value) {
  value = state.errMsg;
  return Status::kOk;
}

Status CDrennicQuorvel::get_errorNum(int32_t& value) {
  value = state.errorNum;
  return Status::kOk;
}

Status CDrennicQuorvel::get_errorCode(int32_t& value) {
  value = state.errorCode;
  return Status::kOk;
}

Status CDrennicQuorvel::get_MaxCompSize(int32_t& value) {
  value = state.MaxCompSize;
  return Status::kOk;
}

// A threshold of 0 or less would compress everything or nothing sensible; it
// is ignored without an error.
Status CDrennicQuorvel::put_MaxCompSize(int32_t value) {
  if (value > 0) state.MaxCompSize = value;
  return Status::kOk;
}

Status CDrennicQuorvel::put_QVServerMode(int32_t value) {
  state.serverMode = value != 0 ? 1 : 0;
  state.errMsg.clear();
  state.errorNum = ToInt(err::kOk);
  return Status::kOk;
}

// The version is informational, like a property read: it leaves the error
// state alone.
Status CDrennicQuorvel::getVersion(std::u16string& pVersion) {
  pVersion = kVersionText;
  return Status::kOk;
}

// Stored unchecked: an unusable code page surfaces as a conversion failure of
// the next member that converts text.
Status CDrennicQuorvel::QVSetCodePage(uint32_t codepage) {
  state.codePage = codepage;
  return Status::kOk;
}

Status CDrennicQuorvel::SetAlgorithmId(const std::u16string& id,
                                       std::array<char, kAlgorithmIdCapacity>& field) {
  return RunMember({}, [&] {
    if (id.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string bytes = ToBytesOrFail(id, msg::kCharsetConversion);
    // An identifier that does not fit the field with its NUL is refused
    // whole; a truncated identifier would name a different algorithm.
    if (bytes.size() > kMaxAlgorithmIdBytes) Fail(err::kBadAlgorithm, msg::kBadAlgorithm);
    field.fill('\0');
    std::copy(bytes.begin(), bytes.end(), field.begin());
  });
}

Status CDrennicQuorvel::QVSetDigestArithmetic(const std::u16string& ArithmeticID) {
  return SetAlgorithmId(ArithmeticID, state.digestArithmeticId);
}

Status CDrennicQuorvel::QVSetSymmetryArithmetic(const std::u16string& ArithmeticID) {
  return SetAlgorithmId(ArithmeticID, state.symmetryArithmeticId);
}

Status CDrennicQuorvel::QVSetCopyRightInfo(const std::u16string& pInfo) {
  return RunMember({.noMemoryMessage = msg::kNoMemoryShort}, [&] {
    if (pInfo.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    state.copyRightInfo.clear();
    state.copyRightInfo = pInfo;
  });
}

// The texts are taken in parameter order; those before an empty one stay
// replaced, the empty one and those after it keep their old texts.
Status CDrennicQuorvel::QVSetDialogPrompt(
    const std::u16string& dlgtitleText, const std::u16string& dlgpromptText,
    const std::u16string& certsubjectText, const std::u16string& certissuerText,
    const std::u16string& notafterText, const std::u16string& OKbuttonText,
    const std::u16string& CancelbuttonText, const std::u16string& ViewbuttonText) {
  const std::array<std::pair<const std::u16string*, std::u16string*>, 8> assignments{{
      {&dlgtitleText, &state.dlgtitle},
      {&dlgpromptText, &state.dlgprompt},
      {&certsubjectText, &state.certsubject},
      {&certissuerText, &state.certissuer},
      {&notafterText, &state.notafter},
      {&OKbuttonText, &state.OKbutton},
      {&CancelbuttonText, &state.Cancelbutton},
      {&ViewbuttonText, &state.Viewbutton},
  }};
  return RunMember({.noMemoryMessage = msg::kNoMemoryShort}, [&] {
    for (const auto& [text, field] : assignments) {
      if (text->empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
      field->clear();
      *field = *text;
    }
  });
}

}  // namespace quorvel::control
