// The file members: a signed file verified and its content saved, and a file
// encrypted for a certificate the page supplies and saved as ".cry" text.
#include <string>

#include "container/plain_text.h"
#include "control/container_messages.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/engine.h"
#include "files/file_routines.h"
#include "platform/text/code_page.h"

namespace quorvel::control {
namespace {

// Longest file name the members accept, in UTF-16 code units.
constexpr size_t kMaxFileNameLength = 256;
// Largest file the members read: a file's bytes must fit a container field,
// as everything held in the control's texts does.
constexpr uint64_t kMaxFileBytes = container::kMaxFieldValue;
constexpr std::u16string_view kOpenTitle = u"Open";
constexpr std::u16string_view kSaveTitle = u"Save";
constexpr std::u16string_view kAnyFile = u"*.*";
constexpr std::u16string_view kEncryptedFiles = u"*.cry";
constexpr std::u16string_view kEncryptedExtension = u"cry";
constexpr std::u16string_view kSignedSuffix = u".sign";

// The file `fileName` names, or the one the user picks when it is empty.
files::FileContents ReadFileOrFail(const std::u16string& fileName, bool serverMode) {
  if (fileName.size() > kMaxFileNameLength) Fail(err::kTooLong, msg::kFileNameTooLong);
  if (fileName.empty() && serverMode) Fail(err::kEmptyInput, msg::kSourceEmpty);
  files::FileContents file;
  const std::string path = platform::Utf16ToUtf8(fileName);
  const int32_t read =
      fileName.empty()
          ? files::OpenFileForRead(kOpenTitle, kAnyFile, file, std::nullopt, kMaxFileBytes)
          : files::OpenFileForRead(kOpenTitle, kAnyFile, file, path, kMaxFileBytes);
  if (read == files::kFileDialogCancelled) Fail(err::kUserCancelled, msg::kUserCancelled);
  if (read != files::kFileOk) Fail(ReportedAs(read), msg::kReadFileFailed);
  return file;
}

// "report.pdf" for "report.pdf.sign"; nothing for a name without the suffix.
std::u16string_view SaveSuggestion(std::u16string_view name) {
  if (!name.ends_with(kSignedSuffix)) return {};
  return name.substr(0, name.size() - kSignedSuffix.size());
}

}  // namespace

Status CDrennicQuorvel::QVAttachedVerifySignedFile(const std::u16string& fileName) {
  // The signer's details are never cleared here: a failed verification keeps
  // the earlier ones, a failed save already holds the file's signer.
  return RunMember({}, [&] {
    const files::FileContents file = ReadFileOrFail(fileName, state.serverMode != 0);

    std::string content;
    engine::CertDetails signer;
    platform::Status lastError = platform::error::kOk;
    if (const ErrorNumber outcome = engine::VerifyP7(file.data, content, signer, true, lastError);
        outcome != err::kOk) {
      FailEngine(outcome, lastError, msg::kVerifyError);
    }
    StoreSignerDetails(signer);

    if (!content.empty() && !file.name.empty() &&
        files::SaveFileAs(kSaveTitle, kAnyFile, SaveSuggestion(file.name), content) !=
            files::kFileOk) {
      Fail(ReportedAs(files::kFileFailed), msg::kSaveFileFailed);
    }
  });
}

Status CDrennicQuorvel::QVAddFileForEncrypt(const std::u16string& fileName) {
  // A failure before the file is read leaves the stored text as it was.
  return RunMember({}, [&] {
    files::FileContents file = ReadFileOrFail(fileName, state.serverMode != 0);
    state.outgoingPlainText = std::move(file.data);
  });
}

Status CDrennicQuorvel::QVEncryptFileAndSave(const std::u16string& base64Certificate) {
  const CleanupRules rules{.emptiesOutgoingPlainText = true, .clearsReciptCertInfo = true};
  const Status status = RunMember(rules, [&] {
    if (state.outgoingPlainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    // Read in place: nothing changes the stored text before the engine returns.
    const std::string_view content = state.outgoingPlainText;
    if (base64Certificate.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string certificate = ToBytesOrFail(base64Certificate, msg::kConversionShort);
    if (state.serverMode != 0) Fail(err::kEmptyInput, msg::kSourceEmpty);

    std::string encrypted;
    platform::Status lastError = platform::error::kOk;
    if (const ErrorNumber outcome = engine::EncryptFileForCert(
            content, certificate, state.symmetryArithmeticId.data(), encrypted, lastError);
        outcome != err::kOk) {
      FailEngine(outcome, lastError, msg::kEncryptFailed);
    }
    if (files::SaveFileWithExtension(kSaveTitle, kEncryptedFiles, kEncryptedExtension, encrypted) !=
        files::kFileOk) {
      Fail(err::kUserCancelled, msg::kUserCancelled);
    }
  });
  if (status == Status::kOk) state.outgoingPlainText.clear();
  return status;
}

}  // namespace quorvel::control
