// The file members as a page drives them through `quorvel host --stdio`: a
// signed file verified and its content saved through the Save dialog, and a
// file encrypted for a certificate the page hands over, saved as ".cry" text
// that `openssl cms` decrypts.
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

class HostFilesTest : public HostSigningTest {
 protected:
  // An attached signature of `text` by Zhang San, written to `name`.
  std::filesystem::path SignedFile(const std::string& name, const std::string& text) {
    const std::vector<json> r = Session(
        {Put("QVServerMode", 1), SetPlainText(text), Invoke("QVAttachedSign", {"CN=Zhang San"})});
    EXPECT_EQ(Status(r[2]), 0) << r[2];
    return Write(name, Value(r[2]).get<std::string>());
  }

  static json SaveAnswer(const std::filesystem::path& path) {
    return {{"dialog", "save"}, {"path", path.string()}};
  }
  static json Cancel(const char* dialog) { return {{"dialog", dialog}, {"cancel", true}}; }
};

TEST_F(HostFilesTest, ASignedFileVerifiesAndItsContentIsSaved) {
  const std::string text = "对账单 2026-12";
  const auto signedFile = SignedFile("report.pdf.sign", text);
  const auto saved = root_ / "saved.pdf";
  Script({SaveAnswer(saved), Cancel("save")});
  const std::vector<json> r = Session({
      Invoke("QVAttachedVerifySignedFile", {signedFile.string()}),
      CertInfo(1),  // 0, 1
      Invoke("QVAttachedVerifySignedFile",
             {SignedFile("report.txt", "x").string()}),  // 2: save cancelled
      ErrorNum(),
      ErrMsg(),
      CertInfo(1),
      Invoke("QVGetPlainText"),
  });
  EXPECT_EQ(Status(r[0]), 0) << r[0];
  EXPECT_EQ(Value(r[1]), "CN=Zhang San, O=ZuvirOrori, C=CN");
  std::string expected;
  ASSERT_EQ(platform::EncodeToCodePage(936, u"对账单 2026-12", expected),
            platform::CodePageStatus::kOk);
  EXPECT_EQ(ReadFile(saved), expected);

  EXPECT_EQ(Status(r[2]), 1);
  EXPECT_EQ(Value(r[3]), -1);
  EXPECT_EQ(Value(r[4]), "保存文件失败");
  EXPECT_EQ(Value(r[5]), "CN=Zhang San, O=ZuvirOrori, C=CN");  // the file's signer, kept
  EXPECT_EQ(Value(r[6]), "");                                  // nothing received

  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0]["kind"], "save");
  EXPECT_EQ(dialogs[0]["title"], "Save");
  EXPECT_EQ(dialogs[0]["filter"], "*.*");
  EXPECT_EQ(dialogs[0]["suggestedName"], "report.pdf");
  EXPECT_EQ(dialogs[1]["suggestedName"], "");
}

TEST_F(HostFilesTest, NamesAndReadingFailures) {
  const auto good = SignedFile("good.sign", "abc");
  // A path of exactly 256 characters, and one of 257.
  const std::string folder = root_.string() + "/";
  const auto longest = Write(std::string(256 - folder.size(), 'n'), ReadFile(good));
  ASSERT_EQ(longest.string().size(), 256u);
  const std::string tooLong = longest.string() + "x";
  const auto empty = Write("empty.sign", "");

  struct Case {
    const char* what;
    json answer;
    std::string fileName;
    int serverMode;
    int errorNum;
    std::string errMsg;
  };
  const std::vector<Case> cases = {
      {"256 characters", SaveAnswer(root_ / "out"), longest.string(), 0, 0, ""},
      {"257 characters", json(), tooLong, 0, -10056, "文件名超长"},
      {"empty file", json(), empty.string(), 0, -1, "读取文件失败"},
      {"Open cancelled", Cancel("open"), "", 0, -10004, "用户取消"},
      {"server mode without a name", json(), "", 1, -10001, "源数据为空"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.answer.is_null() ? json::array() : json::array({c.answer}));
    const size_t dialogsBefore = Dialogs().size();
    for (const char* member : {"QVAttachedVerifySignedFile", "QVAddFileForEncrypt"}) {
      const std::vector<json> r = Session(
          {Put("QVServerMode", c.serverMode), Invoke(member, {c.fileName}), ErrorNum(), ErrMsg()});
      if (c.errorNum == 0 && std::string(member) == "QVAddFileForEncrypt") continue;
      EXPECT_EQ(Value(r[2]), c.errorNum) << member << r[1];
      EXPECT_EQ(Value(r[3]), c.errMsg) << member;
    }
    if (c.answer.is_null()) {
      EXPECT_EQ(Dialogs().size(), dialogsBefore);
    }
  }
}

TEST_F(HostFilesTest, AFileIsEncryptedForAGivenCertificate) {
  // The recipient's certificate and key are the test's own, as a partner's
  // would be.
  const auto key = root_ / "partner.key";
  const auto cert = root_ / "partner.pem";
  ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Partner -days 2 -keyout " +
                  key.string() + " -out " + cert.string() + " 2>/dev/null"),
            0);
  const auto der = root_ / "partner.der";
  ASSERT_EQ(Shell("openssl x509 -in " + cert.string() + " -outform DER -out " + der.string()), 0);
  const std::string certificate = platform::Base64Encode(ReadFile(der));

  const std::string plain(100, 'p');
  const auto input = Write("statement.bin", plain);
  Script({SaveAnswer(root_ / "statement"), Cancel("save")});
  const std::vector<json> r = Session({
      Invoke("QVAddFileForEncrypt", {input.string()}),
      Invoke("QVEncryptFileAndSave", {certificate}),
      ErrorNum(),  // 1, 2: saved
      Invoke("QVEncryptFileAndSave", {certificate}),
      ErrorNum(),                                            // 3, 4: nothing loaded
      Invoke("QVAddFileForEncrypt", {input.string()}),       // 5
      Invoke("QVEncryptFileAndSave", {"bm90IGEgY2VydA=="}),  // 6: not a certificate
      ErrorNum(),
      ErrMsg(),                                         // 7, 8
      Invoke("QVAddFileForEncrypt", {input.string()}),  // 9
      Invoke("QVSetSymmetryArithmetic", {"1.2.3.4"}),   // 10
      Invoke("QVEncryptFileAndSave", {certificate}),
      ErrorNum(),                                                 // 11, 12
      ErrMsg(),                                                   // 13
      Invoke("QVSetSymmetryArithmetic", {"1.2.840.113549.3.7"}),  // 14
      Invoke("QVAddFileForEncrypt", {input.string()}),            // 15
      Invoke("QVEncryptFileAndSave", {certificate}),
      ErrorNum(),  // 16, 17: save cancelled
      ErrMsg(),
      Invoke("QVEncryptFileAndSave", {certificate}),
      ErrorNum(),  // 18-20
  });
  EXPECT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Value(r[4]), -10001);
  EXPECT_EQ(Value(r[7]), -10035);
  EXPECT_EQ(Value(r[8]), "加密失败");
  EXPECT_EQ(Value(r[12]), -10033);
  EXPECT_EQ(Value(r[13]), "加密失败");
  EXPECT_EQ(Value(r[17]), -10004);
  EXPECT_EQ(Value(r[18]), "用户取消");
  EXPECT_EQ(Value(r[20]), -10001);  // the failure emptied the stored text

  // 64-character lines, each ended by LF, and nothing else.
  const std::string saved = ReadFile(root_ / "statement.cry");
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved.back(), '\n');
  for (size_t start = 0; start < saved.size();) {
    const size_t end = saved.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    if (end + 1 < saved.size()) {
      EXPECT_EQ(end - start, 64u);
    }
    start = end + 1;
  }
  std::string envelope;
  ASSERT_TRUE(platform::Base64Decode(saved, envelope));
  const auto opened = root_ / "opened.bin";
  // The default cipher is RC4, which OpenSSL keeps in its legacy provider.
  ASSERT_EQ(Shell("openssl cms -decrypt -provider legacy -provider default -inform DER -in " +
                  Write("env.der", envelope).string() + " -recip " + cert.string() + " -inkey " +
                  key.string() + " -out " + opened.string() + " 2>/dev/null"),
            0);
  EXPECT_EQ(ReadFile(opened), plain);
  const std::vector<json> dialogs = Dialogs();
  ASSERT_GE(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["filter"], "*.cry");
}

}  // namespace
}  // namespace quorvel::tools
