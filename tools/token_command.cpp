#include "tools/token_command.h"

#include <filesystem>
#include <iomanip>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/certificates/name_string.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/storage/registry.h"
#include "platform/text/code_page.h"
#include "platform/tokens/token_certificates.h"
#include "platform/tokens/token_module.h"
#include "platform/tokens/token_registry.h"
#include "tools/command_failure.h"

namespace quorvel::tools {
namespace {

constexpr int kTokenNotFound = 1;
constexpr int kTokenInvalidInput = 2;
constexpr int kTokenStorageFailure = 3;

std::optional<Failure> WithRegistry(
    const std::function<std::error_code(platform::Registry&)>& action) {
  std::shared_ptr<platform::Database> database;
  std::error_code ec = platform::SharedDatabase(database);
  if (!ec) {
    platform::Registry registry(*database);
    ec = action(registry);
  }
  if (ec) return Failure{kTokenStorageFailure, "the home cannot be used: " + ec.message()};
  return std::nullopt;
}

std::optional<Failure> Add(const std::string& path, std::string label, std::ostream& out) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) return Failure{kTokenInvalidInput, "cannot resolve " + path};
  std::shared_ptr<platform::TokenModule> module;
  if (platform::TokenModule::Load(absolute.string(), module) != platform::error::kOk) {
    return Failure{kTokenInvalidInput, absolute.string() + " is not a PKCS#11 module that loads"};
  }
  if (label.empty()) label = absolute.stem().string();
  if (label.empty() || label.find('\\') != std::string::npos) {
    return Failure{kTokenInvalidInput, "a label must be non-empty and hold no backslash"};
  }
  if (auto failure = WithRegistry([&](platform::Registry& registry) {
        return platform::WriteTokenModule(registry, {label, absolute.string()});
      })) {
    return failure;
  }
  out << "added module " << label << ": " << absolute.string() << "\n";
  return std::nullopt;
}

std::optional<Failure> Remove(const std::string& name, std::ostream& out) {
  bool removed = false;
  if (auto failure = WithRegistry([&](platform::Registry& registry) {
        return platform::DeleteTokenModule(registry, name, removed);
      })) {
    return failure;
  }
  if (!removed) return Failure{kTokenNotFound, "no module " + name};
  out << "removed module " << name << "\n";
  return std::nullopt;
}

nlohmann::json Describe(const platform::TokenModuleEntry& entry) {
  nlohmann::json module = {{"label", entry.label}, {"path", entry.path}};
  std::shared_ptr<platform::TokenModule> loaded;
  if (platform::TokenModule::Load(entry.path, loaded) != platform::error::kOk) {
    module["loads"] = false;
    module["tokens"] = nlohmann::json::array();
    return module;
  }
  module["loads"] = true;
  std::vector<platform::TokenCertificate> certificates;
  platform::ReadTokenCertificates({entry}, certificates);
  std::vector<platform::TokenSlot> slots;
  // A module that cannot list its slots shows none.
  if (loaded->Tokens(slots) != platform::error::kOk) slots.clear();
  nlohmann::json tokens = nlohmann::json::array();
  for (const platform::TokenSlot& slot : slots) {
    nlohmann::json token = {{"slot", slot.slot},
                            {"label", slot.label},
                            {"serial", slot.serial},
                            {"loginRequired", (slot.flags & CKF_LOGIN_REQUIRED) != 0},
                            {"pinLocked", (slot.flags & CKF_USER_PIN_LOCKED) != 0}};
    nlohmann::json onToken = nlohmann::json::array();
    for (const platform::TokenCertificate& certificate : certificates) {
      if (certificate.location.serial != slot.serial) continue;
      std::shared_ptr<const platform::Certificate> parsed;
      std::u16string subject;
      if (platform::Certificate::FromDer(certificate.der, parsed) == platform::error::kOk) {
        if (platform::NameToString(parsed->SubjectName(), platform::kX500NameStr, subject) !=
            platform::error::kOk) {
          subject.clear();
        }
      }
      onToken.push_back({{"subject", platform::Utf16ToUtf8(subject)},
                         {"label", certificate.objectLabel},
                         {"id", Hex(certificate.location.id)}});
    }
    token["certificates"] = std::move(onToken);
    tokens.push_back(std::move(token));
  }
  module["tokens"] = std::move(tokens);
  return module;
}

std::optional<Failure> List(bool json, std::ostream& out) {
  std::vector<platform::TokenModuleEntry> entries;
  if (auto failure = WithRegistry([&](platform::Registry& registry) {
        return platform::ReadTokenModules(registry, entries);
      })) {
    return failure;
  }
  nlohmann::json all = nlohmann::json::array();
  for (const auto& entry : entries) all.push_back(Describe(entry));
  if (json) {
    out << all.dump(2) << "\n";
    return std::nullopt;
  }
  if (all.empty()) out << "no token modules\n";
  for (const auto& module : all) {
    out << "module " << module["label"].get<std::string>() << ": "
        << module["path"].get<std::string>() << (module["loads"] ? "" : " (does not load)") << "\n";
    for (const auto& token : module["tokens"]) {
      out << "  slot " << token["slot"] << ": token " << token["label"].get<std::string>()
          << " (serial " << token["serial"].get<std::string>() << ")"
          << (token["pinLocked"].get<bool>() ? ", PIN locked" : "") << "\n";
      for (const auto& certificate : token["certificates"]) {
        out << "    certificate " << certificate["subject"].get<std::string>() << " (id "
            << certificate["id"].get<std::string>() << ", label "
            << certificate["label"].get<std::string>() << ")\n";
      }
    }
  }
  return std::nullopt;
}

}  // namespace

void AddTokenCommand(CLI::App& app, std::ostream& out, std::ostream& err) {
  CLI::App* token = app.add_subcommand("token", "PKCS#11 modules whose tokens join the MY store");
  token->require_subcommand(1);

  auto path = std::make_shared<std::string>();
  auto label = std::make_shared<std::string>();
  CLI::App* add = token->add_subcommand("add", "Register a PKCS#11 module");
  add->add_option("module", *path, "Path of the module library")->required();
  add->add_option("--label", *label, "Name to register it under (default: the file's name)");
  add->callback([path, label, &out, &err] { Finish("token", Add(*path, *label, out), err); });

  auto json = std::make_shared<bool>(false);
  CLI::App* list = token->add_subcommand("list", "List modules, tokens and their certificates");
  list->add_flag("--json", *json, "Print JSON");
  list->callback([json, &out, &err] { Finish("token", List(*json, out), err); });

  auto name = std::make_shared<std::string>();
  CLI::App* remove = token->add_subcommand("remove", "Forget a module");
  remove->add_option("name", *name, "The module's label or path")->required();
  remove->callback([name, &out, &err] { Finish("token", Remove(*name, out), err); });
}

}  // namespace quorvel::tools
