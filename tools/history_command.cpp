#include "tools/history_command.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "platform/keyuse/signing_history.h"
#include "tools/command_failure.h"

namespace quorvel::tools {
namespace {

constexpr int kHistoryBadArgument = 2;
constexpr int kHistoryStorageFailure = 3;

struct ListArguments {
  bool json = false;
  std::string caller;
  std::string since;
};

std::optional<Failure> List(const ListArguments& arguments, std::ostream& out) {
  platform::HistoryFilter filter;
  if (!arguments.caller.empty()) filter.caller = arguments.caller;
  if (!arguments.since.empty()) {
    static const std::regex kDate(R"(\d{4}-\d{2}-\d{2}(T\d{2}:\d{2}:\d{2}Z)?)");
    if (!std::regex_match(arguments.since, kDate)) {
      return Failure{kHistoryBadArgument, "--since takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ"};
    }
    filter.since = arguments.since;
  }
  std::vector<platform::HistoryEntry> entries;
  if (const std::error_code ec = platform::ReadHistory(filter, entries)) {
    return Failure{kHistoryStorageFailure, "cannot read the history: " + ec.message()};
  }
  if (arguments.json) {
    nlohmann::json all = nlohmann::json::array();
    for (const platform::HistoryEntry& entry : entries) {
      all.push_back({{"time", entry.time},
                     {"caller", entry.caller},
                     {"member", entry.member},
                     {"certificate", entry.certificate},
                     {"thumbprint", entry.thumbprint},
                     {"contentSha256", entry.contentSha256},
                     {"outcome", entry.outcome},
                     {"errorNum", entry.errorNum}});
    }
    out << all.dump(2) << "\n";
    return std::nullopt;
  }
  for (const platform::HistoryEntry& entry : entries) {
    out << entry.time << "  " << entry.caller << "  " << entry.member << "  " << entry.outcome;
    if (entry.errorNum != 0) out << " (" << entry.errorNum << ")";
    out << "\n  certificate: " << entry.certificate << " [" << entry.thumbprint << "]"
        << "\n  content:     SHA-256 " << entry.contentSha256 << "\n";
  }
  return std::nullopt;
}

}  // namespace

void AddHistoryCommand(CLI::App& app, std::ostream& out, std::ostream& err) {
  CLI::App* history =
      app.add_subcommand("history", "What private keys signed and decrypted through the host");
  auto arguments = std::make_shared<ListArguments>();
  history->add_flag("--json", arguments->json, "Print JSON");
  history->add_option("--caller", arguments->caller, "Only this caller (an origin, or local)");
  history->add_option("--since", arguments->since, "Only from this date (YYYY-MM-DD) on");
  CLI::App* clear = history->add_subcommand("clear", "Forget the whole history");
  clear->callback([&out, &err] {
    if (const std::error_code ec = platform::ClearHistory()) {
      Finish("history", Failure{kHistoryStorageFailure, "cannot clear: " + ec.message()}, err);
    }
    out << "history cleared\n";
  });
  history->callback([clear, arguments, &out, &err] {
    if (clear->parsed()) return;
    Finish("history", List(*arguments, out), err);
  });
}

}  // namespace quorvel::tools
