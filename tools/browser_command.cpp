#include "tools/browser_command.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/native/extension_identity.h"
#include "tools/private_file.h"

namespace quorvel::tools {
namespace {

namespace fs = std::filesystem;

struct Browser {
  std::string name;
  fs::path folder;  // where the browser looks for the user's host manifests
  bool firefox = false;
};

fs::path Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? fs::path(home) : fs::path();
}

fs::path ConfigHome() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return config;
  return Home() / ".config";
}

std::vector<Browser> Browsers(const std::string& which) {
  const std::vector<Browser> all{
      {"chromium", ConfigHome() / "chromium" / "NativeMessagingHosts", false},
      {"chrome", ConfigHome() / "google-chrome" / "NativeMessagingHosts", false},
      {"firefox", Home() / ".mozilla" / "native-messaging-hosts", true},
  };
  if (which == "all") return all;
  for (const Browser& browser : all) {
    if (browser.name == which) return {browser};
  }
  return {};
}

fs::path ManifestPath(const Browser& browser) {
  return browser.folder / (std::string(host::native::kHostName) + ".json");
}

// The program beside this one.
fs::path NativeHostProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path() / "quorvel-native-host";
}

// The unpacked extension: installed beside the program's share folder, or
// in the build tree.
fs::path ExtensionFolder(const fs::path& program) {
  const fs::path bin = program.parent_path();
  for (const fs::path& candidate : {bin.parent_path() / "share" / "quorvel" / "extension",
                                    bin.parent_path() / "web" / "extension"}) {
    std::error_code ec;
    if (fs::exists(candidate / "manifest.json", ec)) return candidate;
  }
  return {};
}

std::string Manifest(const Browser& browser, const fs::path& program) {
  nlohmann::ordered_json manifest{
      {"name", host::native::kHostName},
      {"description", "Quorvel signing control"},
      {"path", program.string()},
      {"type", "stdio"},
  };
  if (browser.firefox) {
    manifest["allowed_extensions"] = {host::native::kFirefoxExtensionId};
  } else {
    manifest["allowed_origins"] = {host::native::kChromiumExtensionOrigin};
  }
  return manifest.dump(2) + "\n";
}

int Install(const std::vector<Browser>& browsers) {
  const fs::path program = NativeHostProgram();
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    std::cerr << "quorvel browser: the native host " << program
              << " is missing; install quorvel-native-host beside quorvel\n";
    return 1;
  }
  if (Home().empty()) {
    std::cerr << "quorvel browser: HOME is not set\n";
    return 1;
  }
  for (const Browser& browser : browsers) {
    std::error_code ec;
    fs::create_directories(browser.folder, ec);
    std::string problem;
    if (ec) {
      problem = ec.message();
    } else {
      WritePrivateFile(ManifestPath(browser), Manifest(browser, program), ExistingFile::kReplaced,
                       problem);
    }
    if (!problem.empty()) {
      std::cerr << "quorvel browser: cannot write " << ManifestPath(browser) << ": " << problem
                << "\n";
      return 1;
    }
    std::cout << browser.name << ": " << ManifestPath(browser).string() << "\n";
  }
  const fs::path extension = ExtensionFolder(program);
  std::cout
      << "Load the extension " << (extension.empty() ? "(web/extension)" : extension.string())
      << ": in Chromium or Chrome at chrome://extensions with Developer mode on, \"Load "
         "unpacked\" (its id is "
      << host::native::kChromiumExtensionId
      << "); in Firefox at about:debugging, \"Load Temporary Add-on\" and its manifest.json.\n";
  return 0;
}

int Uninstall(const std::vector<Browser>& browsers) {
  for (const Browser& browser : browsers) {
    std::error_code ec;
    if (fs::remove(ManifestPath(browser), ec)) {
      std::cout << browser.name << ": removed " << ManifestPath(browser).string() << "\n";
    } else if (ec) {
      std::cerr << "quorvel browser: cannot remove " << ManifestPath(browser) << ": "
                << ec.message() << "\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace

void AddBrowserCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "browser", "Let browsers start the Quorvel host for the Quorvel extension");
  command->require_subcommand(1);
  auto which = std::make_shared<std::string>("all");
  const auto browserOption = [which](CLI::App& sub) {
    sub.add_option("--browser", *which, "chromium, chrome, firefox or all")
        ->check(CLI::IsMember({"chromium", "chrome", "firefox", "all"}))
        ->capture_default_str();
  };
  auto* install = command->add_subcommand(
      "install", "Write this user's native-messaging host manifests naming quorvel-native-host");
  browserOption(*install);
  install->callback([which] { std::exit(Install(Browsers(*which))); });
  auto* uninstall =
      command->add_subcommand("uninstall", "Remove this user's native-messaging host manifests");
  browserOption(*uninstall);
  uninstall->callback([which] { std::exit(Uninstall(Browsers(*which))); });
}

}  // namespace quorvel::tools
