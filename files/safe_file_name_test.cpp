#include "files/safe_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::files {
namespace {

TEST(SafeFileName, KeepsOrdinaryNames) {
  EXPECT_EQ(SafeFileName("a.txt"), "a.txt");
  EXPECT_EQ(SafeFileName("报表 2024.xlsx"), "报表 2024.xlsx");
  EXPECT_EQ(SafeFileName(".profile"), ".profile");
  EXPECT_EQ(SafeFileName("v1.2.tar.gz"), "v1.2.tar.gz");
}

TEST(SafeFileName, KeepsOnlyTheFinalComponent) {
  EXPECT_EQ(SafeFileName("../../x"), "x");
  EXPECT_EQ(SafeFileName("/etc/passwd"), "passwd");
  EXPECT_EQ(SafeFileName("c:\\quorvelStub\\..\\a.txt"), "a.txt");
  EXPECT_EQ(SafeFileName("dir\\sub/file.bin"), "file.bin");
}

TEST(SafeFileName, NeverYieldsDotsControlsOrNothing) {
  EXPECT_EQ(SafeFileName(".."), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName("a/.."), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName("."), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName(""), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName("x/"), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName("a....b"), "a.b");
  EXPECT_EQ(SafeFileName("evil\n\r\t\x7f name\x01"), "evil name");
  EXPECT_EQ(SafeFileName("c1\xc2\x85.txt"), "c1.txt");
  EXPECT_EQ(SafeFileName("\x01\x02"), std::string(kFallbackFileName));
  EXPECT_EQ(SafeFileName("invoice\u202Efdp.exe"), "invoicefdp.exe");
  EXPECT_EQ(SafeFileName("\uFEFFa\u200Bb\u200Fc\u202Ad\u2066e\u2069f\u2028g\u2029h"), "abcdefgh");
}

TEST(SafeFileName, ReplacesIllFormedBytesInsteadOfPassingThem) {
  const std::string safe = SafeFileName("a\xff\xfe.txt");
  EXPECT_EQ(safe.find('\xff'), std::string::npos);
  EXPECT_EQ(safe.substr(safe.size() - 4), ".txt");
}

TEST(SafeFileName, CutsLongNamesAtACharacterBoundaryKeepingTheExtension) {
  const std::string cut = SafeFileName(std::string(300, 'a') + ".pdf");
  EXPECT_EQ(cut.size(), kMaxSafeFileNameBytes);
  EXPECT_EQ(cut, std::string(kMaxSafeFileNameBytes - 4, 'a') + ".pdf");

  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "汉";  // three bytes each
  const std::string wideCut = SafeFileName(wide);
  EXPECT_EQ(wideCut.size(), 255u);
  EXPECT_EQ(wideCut, wide.substr(0, 255));

  std::string oddCut = SafeFileName("x" + wide);
  EXPECT_EQ(oddCut.size(), 253u);  // 1 + 84 * 3: the 85th character would not fit

  const std::string longExtension = "name." + std::string(300, 'e');
  EXPECT_EQ(SafeFileName(longExtension).size(), kMaxSafeFileNameBytes);
}

}  // namespace
}  // namespace quorvel::files
