#include "tools/register_command.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace quorvel::tools {
namespace {

constexpr const char* kModuleName = "libVemlorQuorvel20.so";

std::string DefaultModule() {
  std::error_code ignored;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ignored);
  if (!program.empty()) {
    const std::filesystem::path installed =
        program.parent_path().parent_path() / QUORVEL_INSTALL_LIBDIR / kModuleName;
    if (std::filesystem::is_regular_file(installed, ignored)) return installed.string();
  }
  return QUORVEL_BUILD_MODULE_PATH;
}

struct ModuleCloser {
  void operator()(void* handle) const { ::dlclose(handle); }
};

int CallExport(const std::string& modulePath, const char* exportName) {
  const std::string path = modulePath.empty() ? DefaultModule() : modulePath;
  std::unique_ptr<void, ModuleCloser> module(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!module) {
    std::cerr << "quorvel: cannot load " << path << ": " << ::dlerror() << "\n";
    return 3;
  }
  int32_t (*function)() = nullptr;
  *reinterpret_cast<void**>(&function) = ::dlsym(module.get(), exportName);
  if (function == nullptr) {
    std::cerr << "quorvel: " << path << " has no " << exportName << "\n";
    return 3;
  }
  const int32_t result = function();
  if (result != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(result));
    std::cerr << "quorvel: " << exportName << " failed (" << text << ")\n";
    return 1;
  }
  std::cout << exportName << " of " << path << " succeeded\n";
  return 0;
}

}  // namespace

void AddRegisterCommands(CLI::App& app) {
  for (const auto& [name, exportName, help] :
       {std::tuple{"register", "DllRegisterServer", "Register the control in the registry"},
        std::tuple{"unregister", "DllUnregisterServer", "Remove the control's registration"}}) {
    auto module = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(name, help);
    command->add_option("--module", *module, "The module to load (default: the installed one)");
    const char* symbol = exportName;
    command->callback([module, symbol] {
      if (const int status = CallExport(*module, symbol); status != 0) std::exit(status);
    });
  }
}

}  // namespace quorvel::tools
