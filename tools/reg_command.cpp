#include "tools/reg_command.h"

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::tools {
namespace {

using platform::Registry;
using platform::RegistryErrc;

struct RegArguments {
  std::string key;
  std::string value;
  std::string data;
  bool hasValue = false;
};

// The command line's spelling of the default value.
constexpr std::string_view kDefaultValueAlias = "@";

std::string ValueName(const std::string& given) {
  return given == kDefaultValueAlias ? std::string() : given;
}

std::string DisplayName(const std::string& name) {
  return name.empty() ? std::string(kDefaultValueAlias) : name;
}

int ExitCodeFor(const std::error_code& ec) {
  if (ec == RegistryErrc::kKeyNotFound || ec == RegistryErrc::kValueNotFound) return kRegNotFound;
  if (ec.category() == platform::RegistryCategory()) return kRegInvalidArgument;
  return kRegStorageFailure;
}

// Opens the registry, runs `action` on it and reports a failure on `err`.
int RunOnRegistry(const RegArguments& arguments, std::ostream& err,
                  const std::function<std::error_code(Registry&)>& action) {
  std::shared_ptr<platform::Database> database;
  if (const std::error_code ec = platform::SharedDatabase(database)) {
    err << "quorvel reg: cannot open the registry database: " << ec.message() << "\n";
    return kRegStorageFailure;
  }
  Registry registry(*database);
  const std::error_code ec = action(registry);
  if (!ec) return 0;
  err << "quorvel reg: " << arguments.key;
  if (arguments.hasValue && ec != RegistryErrc::kKeyNotFound) {
    err << " [" << DisplayName(ValueName(arguments.value)) << "]";
  }
  err << ": " << ec.message() << "\n";
  return ExitCodeFor(ec);
}

void Finish(int exitCode) {
  if (exitCode != 0) throw CLI::RuntimeError(exitCode);
}

}  // namespace

void AddRegCommand(CLI::App& app, std::ostream& out, std::ostream& err) {
  CLI::App* reg = app.add_subcommand("reg", "Read and change the registry in the platform home");
  reg->require_subcommand(1);
  auto arguments = std::make_shared<RegArguments>();

  const auto addKey = [&](CLI::App* command) {
    command->add_option("key", arguments->key, "Key path, e.g. HKCR\\CLSID\\{...}\\CtlSettings")
        ->required();
  };
  const auto addValue = [&](CLI::App* command, bool required) {
    CLI::Option* option = command->add_option("value", arguments->value,
                                              "Value name; \"\" or @ for the key's default value");
    if (required) option->required();
    return option;
  };

  CLI::App* get = reg->add_subcommand("get", "Print the data of a value");
  addKey(get);
  addValue(get, false);
  get->callback([arguments, &out, &err] {
    // Without a value name, get reads the default value.
    arguments->hasValue = true;
    Finish(RunOnRegistry(*arguments, err, [&](Registry& registry) {
      std::string data;
      const std::error_code ec =
          registry.GetString(arguments->key, ValueName(arguments->value), data);
      if (!ec) out << data << "\n";
      return ec;
    }));
  });

  CLI::App* set = reg->add_subcommand("set", "Set a string value, creating the key");
  addKey(set);
  addValue(set, true);
  set->add_option("data", arguments->data, "The value's data")->required();
  set->callback([arguments, &err] {
    arguments->hasValue = true;
    Finish(RunOnRegistry(*arguments, err, [&](Registry& registry) {
      return registry.SetString(arguments->key, ValueName(arguments->value), arguments->data);
    }));
  });

  CLI::App* remove =
      reg->add_subcommand("delete", "Delete a value, or a key with all its subkeys and values");
  addKey(remove);
  CLI::Option* removeValue = addValue(remove, false);
  remove->callback([arguments, removeValue, &err] {
    arguments->hasValue = removeValue->count() > 0;
    Finish(RunOnRegistry(*arguments, err, [&](Registry& registry) {
      return arguments->hasValue ? registry.DeleteValue(arguments->key, ValueName(arguments->value))
                                 : registry.DeleteKey(arguments->key);
    }));
  });

  CLI::App* list = reg->add_subcommand("list", "Print a key's subkeys and values");
  addKey(list);
  list->callback([arguments, &out, &err] {
    Finish(RunOnRegistry(*arguments, err, [&](Registry& registry) {
      platform::RegistryKeyListing listing;
      const std::error_code ec = registry.List(arguments->key, listing);
      if (ec) return ec;
      for (const std::string& subkey : listing.subkeys) out << subkey << "\\\n";
      for (const platform::RegistryValue& value : listing.values) {
        out << DisplayName(value.name) << " = " << value.data << "\n";
      }
      return ec;
    }));
  });
}

}  // namespace quorvel::tools
