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

FormattedPlainText ReceivedContainerOrFail(const std::string& received) {
  if (received.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
  FormattedPlainText text;
  if (text.Decode(received) != kPlainTextOk) {
    Fail(err::kNotAPlainTextContainer, msg::kNotAPlainTextContainer);
  }
  return text;
}

std::string EncodeOrFail(const FormattedPlainText& text) {
  std::string encoded;
  const int32_t result = text.Encode(encoded);
  if (result == container::kPlainTextNoMemory) Fail(err::kNoMemory, msg::kNoMemory);
  if (result != kPlainTextOk) Fail(result, msg::kEncodePlainTextFailed);
  return encoded;
}

void AddFormItemOrFail(FormattedPlainText& text, const std::string& item) {
  if (const int32_t result = text.AddFormItem(item); result != kPlainTextOk) {
    Fail(result, msg::kAddFormItemFailed);
  }
}

void AddFileOrFail(FormattedPlainText& text, const PlainTextFile& file) {
  if (const int32_t result = text.AddFile(file.name, file.content); result != kPlainTextOk) {
    Fail(result, msg::kAddFileFailed);
  }
}

std::string FormItemOrFail(const FormattedPlainText& text, size_t index) {
  std::string item;
  if (const int32_t result = text.GetFormItem(static_cast<int64_t>(index), item);
      result != kPlainTextOk) {
    Fail(result, msg::kFetchFormItemFailed);
  }
  return item;
}

PlainTextFile FileOrFail(const FormattedPlainText& text, size_t index) {
  PlainTextFile file;
  if (const int32_t result = text.GetFile(static_cast<int64_t>(index), file.name, file.content);
      result != kPlainTextOk) {
    Fail(result, msg::kFetchFileFailed);
  }
  return file;
}

// Copies the elements of `source` into a new container, setting aside the
// first form item or the first file.
struct Taken {
  FormattedPlainText rest;
  std::optional<std::string> formItem;
  std::optional<PlainTextFile> file;
};

Taken TakeFirst(const FormattedPlainText& source, bool takesFile) {
  Taken taken;
  for (size_t i = 0; i < source.FormItemCount(); ++i) {
    std::string item = FormItemOrFail(source, i);
    if (!takesFile && i == 0) {
      taken.formItem = std::move(item);
    } else {
      AddFormItemOrFail(taken.rest, item);
    }
  }
  for (size_t i = 0; i < source.FileCount(); ++i) {
    PlainTextFile file = FileOrFail(source, i);
    if (takesFile && i == 0) {
      taken.file = std::move(file);
    } else {
      AddFileOrFail(taken.rest, file);
    }
  }
  return taken;
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
    if (read != files::kFileOk) Fail(read, msg::kReadFileFailed);

    FormattedPlainText text = OutgoingContainer(state.outgoingPlainText);
    AddFileOrFail(text, {ToBytesOrFail(file.name, msg::kConversionShort), std::move(file.data)});
    state.outgoingPlainText = EncodeOrFail(text);
  });
}

Status CDrennicQuorvel::QVGetPlainText(std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (state.receivedPlainText.empty()) return;
    text = FromBytesOrFail(state.receivedPlainText, msg::kConversionShort);
  });
  result = std::move(text);
  return status;
}

Status CDrennicQuorvel::QVGetFormItem(std::u16string& result) {
  std::u16string item;
  const Status status = RunMember({}, [&] {
    Taken taken = TakeFirst(ReceivedContainerOrFail(state.receivedPlainText), false);
    state.receivedPlainText = EncodeOrFail(taken.rest);
    if (taken.formItem) item = FromBytesOrFail(*taken.formItem, msg::kConversionShort);
  });
  result = std::move(item);
  return status;
}

Status CDrennicQuorvel::QVGetFile(std::u16string& result) {
  std::u16string name;
  const Status status = RunMember({}, [&] {
    Taken taken = TakeFirst(ReceivedContainerOrFail(state.receivedPlainText), true);
    state.receivedPlainText = EncodeOrFail(taken.rest);
    if (!taken.file) return;
    std::u16string receivedName = FromBytesOrFail(taken.file->name, msg::kConversionShort);

    // The name comes from whoever built the container: only a harmless final
    // component of it is ever suggested or joined to a directory.
    const std::string safeName = files::SafeFileName(platform::Utf16ToUtf8(receivedName));
    const std::u16string suggestedName = platform::Utf8ToUtf16(safeName);
    const int32_t saved =
        state.serverMode != 0
            ? files::SaveFileAs(kSaveTitle, kAnyFile, suggestedName, taken.file->content,
                                ServerSavePathOrFail(safeName))
            : files::SaveFileAs(kSaveTitle, kAnyFile, suggestedName, taken.file->content);
    if (saved != files::kFileOk) Fail(saved, msg::kSaveFileFailed);
    name = std::move(receivedName);
  });
  result = std::move(name);
  return status;
}

void CDrennicQuorvel::SetReceivedPlainTextForTesting(std::string bytes) {
  state.receivedPlainText = std::move(bytes);
}

}  // namespace quorvel::control
