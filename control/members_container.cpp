// Container members: the outgoing text is built from plain text, form items and
// files; the received text is taken apart one form item or one file at a time.
#include <optional>
#include <string>

#include "container/plain_text.h"
#include "control/container_messages.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "files/file_routines.h"
#include "files/safe_file_name.h"
#include "files/save_directory.h"
#include "platform/text/code_page.h"

namespace quorvel::control {
namespace {

using container::FormattedPlainText;
using container::kPlainTextOk;
using container::PlainTextFile;

// Longest file name QVAddFile accepts, in UTF-16 code units.
constexpr size_t kMaxFileNameLength = 256;
constexpr std::u16string_view kOpenTitle = u"Open";
constexpr std::u16string_view kSaveTitle = u"Save";
constexpr std::u16string_view kAnyFile = u"*.*";

// The outgoing text as a container to add to; a text that is not a container
// is dropped.
FormattedPlainText OutgoingContainer(const std::string& outgoing) {
  FormattedPlainText text;
  if (!outgoing.empty() && text.Decode(outgoing) != kPlainTextOk) text.Clear();
  return text;
}

std::string EncodeOrFail(const FormattedPlainText& text) {
  std::string encoded;
  const int32_t result = text.Encode(encoded);
  if (result == container::kPlainTextNoMemory) Fail(err::kNoMemory, msg::kNoMemory);
  if (result != kPlainTextOk) Fail(ReportedAs(result), msg::kEncodePlainTextFailed);
  return encoded;
}

void AddFormItemOrFail(FormattedPlainText& text, const std::string& item) {
  if (const int32_t result = text.AddFormItem(item); result != kPlainTextOk) {
    Fail(ReportedAs(result), msg::kAddFormItemFailed);
  }
}

void AddFileOrFail(FormattedPlainText& text, const PlainTextFile& file) {
  if (const int32_t result = text.AddFile(file.name, file.content); result != kPlainTextOk) {
    Fail(ReportedAs(result), msg::kAddFileFailed);
  }
}

// Maps a take's failure: a text that is not a container, or a remainder that
// could not be encoded.
void TakeOrFail(int32_t result) {
  if (result == container::kPlainTextFailed) {
    Fail(err::kNotAPlainTextContainer, msg::kNotAPlainTextContainer);
  }
  if (result != kPlainTextOk) Fail(ReportedAs(result), msg::kEncodePlainTextFailed);
}

// The path server mode saves a received file to; `safeName` is already reduced
// to a harmless final component.
std::string ServerSavePathOrFail(const std::string& safeName) {
  std::string directory;
  switch (files::LookUpSaveDirectory(directory)) {
    case files::SaveDirectoryStatus::kOk:
      break;
    case files::SaveDirectoryStatus::kNoSettingsKey:
      Fail(err::kNoSaveDirectory, msg::kNoSavePathKey);
    case files::SaveDirectoryStatus::kNoValue:
      Fail(err::kNoSaveDirectory, msg::kNoStubPathValue);
    case files::SaveDirectoryStatus::kNoMemory:
      Fail(err::kNoMemory, msg::kNoMemory);
  }
  return files::JoinSavePath(directory, safeName);
}

}  // namespace

Status CDrennicQuorvel::QVSetPlainText(const std::u16string& plainText) {
  return RunMember({}, [&] {
    if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    state.outgoingPlainText.clear();
    state.outgoingPlainText = ToBytesOrFail(plainText, msg::kConversionShort);
  });
}

Status CDrennicQuorvel::QVAddFormItem(const std::u16string& itemContent) {
  return RunMember({}, [&] {
    FormattedPlainText text = OutgoingContainer(state.outgoingPlainText);
    AddFormItemOrFail(text, ToBytesOrFail(itemContent, msg::kConversionShort));
    state.outgoingPlainText = EncodeOrFail(text);
  });
}

Status CDrennicQuorvel::QVAddFile(const std::u16string& fileName) {
  return RunMember({}, [&] {
    if (fileName.size() > kMaxFileNameLength) Fail(err::kTooLong, msg::kFileNameTooLong);
    if (fileName.empty() && state.serverMode != 0) Fail(err::kEmptyInput, msg::kSourceEmpty);
    files::FileContents file;
    const std::string path = platform::Utf16ToUtf8(fileName);
    const int32_t read = fileName.empty()
                             ? files::OpenFileForRead(kOpenTitle, kAnyFile, file)
                             : files::OpenFileForRead(kOpenTitle, kAnyFile, file, path);
    if (read == files::kFileDialogCancelled) Fail(err::kUserCancelled, msg::kUserCancelled);
    if (read != files::kFileOk) Fail(ReportedAs(read), msg::kReadFileFailed);

    FormattedPlainText text = OutgoingContainer(state.outgoingPlainText);
    AddFileOrFail(text, {ToBytesOrFail(file.name, msg::kConversionShort), std::move(file.data)});
    state.outgoingPlainText = EncodeOrFail(text);
  });
}

Status CDrennicQuorvel::QVGetPlainText(std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (state.receivedPlainText.empty()) return;
    std::string storage;
    text = FromBytesOrFail(state.receivedPlainText.Text(storage), msg::kConversionShort);
  });
  result = std::move(text);
  return status;
}

// The received text loses the taken element before it is converted or saved,
// so a failure from there on loses the element.
Status CDrennicQuorvel::QVGetFormItem(std::u16string& result) {
  std::u16string item;
  const Status status = RunMember({}, [&] {
    if (state.receivedPlainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    Taken<std::string_view> taken;
    TakeOrFail(state.receivedPlainText.TakeFormItem(taken));
    if (taken.element) item = FromBytesOrFail(*taken.element, msg::kConversionShort);
  });
  result = std::move(item);
  return status;
}

Status CDrennicQuorvel::QVGetFile(std::u16string& result) {
  std::u16string name;
  const Status status = RunMember({}, [&] {
    if (state.receivedPlainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    Taken<container::PlainTextFileView> taken;
    TakeOrFail(state.receivedPlainText.TakeFile(taken));
    if (!taken.element) return;
    const container::PlainTextFileView& file = *taken.element;
    std::u16string receivedName = FromBytesOrFail(file.name, msg::kConversionShort);

    // The name comes from whoever built the container: only a harmless final
    // component of it is ever suggested or joined to a directory.
    const std::string safeName = files::SafeFileName(platform::Utf16ToUtf8(receivedName));
    const std::u16string suggestedName = platform::Utf8ToUtf16(safeName);
    const int32_t saved =
        state.serverMode != 0
            ? files::SaveFileAs(kSaveTitle, kAnyFile, suggestedName, file.content,
                                ServerSavePathOrFail(safeName))
            : files::SaveFileAs(kSaveTitle, kAnyFile, suggestedName, file.content);
    if (saved != files::kFileOk) Fail(ReportedAs(saved), msg::kSaveFileFailed);
    name = std::move(receivedName);
  });
  result = std::move(name);
  return status;
}

void CDrennicQuorvel::SetReceivedPlainTextForTesting(std::string bytes) {
  state.receivedPlainText.Assign(std::move(bytes));
}

}  // namespace quorvel::control
