#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

using CompressionRoutine = int (*)(const unsigned char*, int, unsigned char*, int*);

class LoadedModule : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = ::dlopen(QUORVEL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  void* Symbol(const char* name) { return ::dlsym(handle_, name); }
  CompressionRoutine Routine(const char* name) {
    return reinterpret_cast<CompressionRoutine>(Symbol(name));
  }

  void* handle_ = nullptr;
};

TEST_F(LoadedModule, ExportsBothCompressionRoutinesWithCLinkage) {
  const CompressionRoutine compress = Routine("mem_compress");
  const CompressionRoutine uncompress = Routine("mem_uncompress");
  ASSERT_NE(compress, nullptr);
  ASSERT_NE(uncompress, nullptr);

  const std::string text(100000, 'q');
  const auto* input = reinterpret_cast<const unsigned char*>(text.data());
  int size = 0;
  ASSERT_EQ(compress(input, static_cast<int>(text.size()), nullptr, &size), -5);
  std::vector<unsigned char> member(static_cast<std::size_t>(size));
  ASSERT_EQ(compress(input, static_cast<int>(text.size()), member.data(), &size), 0);
  EXPECT_EQ(member[0], 0x1F);
  EXPECT_EQ(member[1], 0x8B);

  int plainSize = 0;
  ASSERT_EQ(uncompress(member.data(), size, nullptr, &plainSize), -5);
  ASSERT_EQ(plainSize, static_cast<int>(text.size()));
  std::string plain(static_cast<std::size_t>(plainSize), '\0');
  ASSERT_EQ(
      uncompress(member.data(), size, reinterpret_cast<unsigned char*>(plain.data()), &plainSize),
      0);
  EXPECT_EQ(plain, text);
}

TEST_F(LoadedModule, ExportsExactlyTheModulesFunctions) {
  FILE* listing = ::popen("nm -D --defined-only " QUORVEL_MODULE_PATH, "r");
  ASSERT_NE(listing, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, listing) != nullptr) {
    std::string text(line);
    const size_t last = text.find_last_of(' ');
    if (last == std::string::npos) continue;
    std::string name = text.substr(last + 1);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    // The linker's own version-node symbol is not a function of ours.
    if (text.find(" A ") != std::string::npos) continue;
    exported.insert(name);
  }
  ASSERT_EQ(::pclose(listing), 0);
  const std::set<std::string> expected = {
      "DllCanUnloadNow",     "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
      "QvSysAllocStringLen", "QvSysFreeString",   "QvSysStringLen",    "QvVariantClear",
      "mem_compress",        "mem_uncompress"};
  EXPECT_EQ(exported, expected);
}

TEST_F(LoadedModule, KeepsTheLayersInternalSymbolsHidden) {
  // The engine step CompressIfLarge(std::vector<unsigned char>&, int) lives in the
  // same object as the exports.
  EXPECT_EQ(Symbol("_ZN7quorvel9container15CompressIfLargeERSt6vectorIhSaIhEEi"), nullptr);
}

}  // namespace
