#include <malloc.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

#include "host/bridge/bridge_server.h"
#include "host/rpc_session.h"
#include "host/stdio_transport.h"
#include "host/web_callers/origins.h"
#include "tools/commands.h"
#include "tools/event_loop.h"
#include "tools/native_host_command.h"

namespace quorvel::tools {
namespace {

struct ListenOptions {
  std::vector<std::string> addresses;
  bridge::BridgeLimits limits;
};

int Listen(const ListenOptions& options) {
  std::unique_ptr<bridge::BridgeServer> server;
  const auto start = [&]() -> int {
    server = std::make_unique<bridge::BridgeServer>(options.limits);
    std::vector<std::string> addresses = options.addresses;
    if (addresses.empty()) addresses.emplace_back();
    for (const std::string& text : addresses) {
      std::string error;
      const auto address = bridge::ParseListenAddress(text.empty() ? "127.0.0.1" : text, error);
      if (!address || !server->Listen(*address, error)) {
        std::cerr << "quorvel host: " << error << "\n";
        server.reset();
        return 2;
      }
    }
    for (const bridge::ListenAddress& address : server->Addresses()) {
      const std::string authority = bridge::AuthorityOf(address);
      std::cout << "Quorvel bridge listening on ws://" << authority << "/ (demo page http://"
                << authority << "/demo/)\n";
    }
    std::cout.flush();
    return 0;
  };
  // The bridge goes before the application it serves on.
  return RunEventLoop(start, [&server] {
    const int code = QCoreApplication::exec();
    server.reset();
    return code;
  });
}

void AddOriginCommands(CLI::App& command) {
  auto origin = std::make_shared<std::string>();
  auto localFiles = std::make_shared<bool>(false);
  auto canonical = [origin]() -> std::string {
    const auto value = web::CanonicalOrigin(*origin);
    if (!value) {
      std::cerr << "quorvel host: '" << *origin
                << "' is not an origin (scheme://host[:port], e.g. https://bank.example)\n";
      std::exit(2);
    }
    return *value;
  };
  auto report = [](const std::error_code& ec) {
    if (!ec) return;
    std::cerr << "quorvel host: cannot update the allowed origins: " << ec.message() << "\n";
    std::exit(1);
  };

  auto* allow = command.add_subcommand("allow", "Let pages of ORIGIN use the bridge");
  allow->add_option("origin", *origin, "e.g. https://bank.example")->required();
  allow->add_flag("--local-files", *localFiles,
                  "Also let the origin pass file names to the members that read files");
  allow->callback([=] { report(web::AllowOrigin(canonical(), *localFiles)); });

  auto* deny = command.add_subcommand("deny", "Refuse pages of ORIGIN from now on");
  deny->add_option("origin", *origin, "e.g. https://bank.example")->required();
  deny->callback([=] { report(web::DenyOrigin(canonical())); });

  auto* list = command.add_subcommand("list", "Show the allowed and denied origins");
  list->callback([=] {
    std::vector<web::OriginEntry> entries;
    report(web::ListOrigins(entries));
    for (const web::OriginEntry& entry : entries) {
      const char* access = entry.access == web::OriginAccess::kAllowed  ? "allow"
                           : entry.access == web::OriginAccess::kDenied ? "deny"
                                                                        : "unknown";
      std::cout << access << "\t" << entry.origin << (entry.localFiles ? "\tlocal-files" : "")
                << "\n";
    }
  });
}

// The bridge's limits, each an option with its default shown.
void BridgeLimitOptions(CLI::App& command, bridge::BridgeLimits& limits) {
  auto option = [&command](const char* name, auto& value, const char* help) {
    return command.add_option(name, value, help)->capture_default_str();
  };
  option("--max-frame-bytes", limits.maxFrameBytes, "Largest WebSocket message accepted");
  option("--max-messages-per-second", limits.calls.maxMessagesPerSecond,
         "Messages and control frames a connection may send each second");
  option("--max-connections", limits.calls.maxConnections, "Open WebSocket connections");
  option("--max-pending", limits.calls.maxPendingRequests,
         "Requests of one connection waiting for their answer");
  option("--max-objects", limits.calls.maxObjects,
         "Live objects of one connection (create fails past it)")
      ->check(CLI::Range(1, 1 << 20));
  option("--send-pause-bytes", limits.calls.sendPauseBytes,
         "Unread answer bytes past which a connection's requests wait");
  option("--max-send-bytes", limits.calls.maxSendBytes,
         "Unread answer bytes past which a connection is closed");
  option("--idle-timeout", limits.calls.idleTimeoutSeconds,
         "Seconds after which a connection with nothing asked or running is closed")
      ->check(CLI::Range(1, 86400));
  option("--approval-timeout", limits.gate.approvalTimeoutSeconds,
         "Seconds the user has to answer whether an origin may connect")
      ->check(CLI::Range(1, 3600));
  option("--max-pending-approvals", limits.gate.maxPendingApprovals,
         "Origins the user may be asked about at once; others are refused")
      ->check(CLI::Range(1, 64));
}

}  // namespace

void AddHostCommand(CLI::App& app) {
  auto* command = app.add_subcommand("host", "Serve the control to a client over JSON-RPC");
  auto useStdio = std::make_shared<bool>(false);
  auto listen = std::make_shared<ListenOptions>();
  auto useNative = std::make_shared<bool>(false);
  command->add_flag("--stdio", *useStdio, "One JSON-RPC message per line on stdin and stdout");
  command->add_flag("--native-messaging", *useNative,
                    "Serve our browser extension on the browser's native messaging; the "
                    "browser's arguments follow (as quorvel-native-host takes them)");
  command->allow_extras();
  auto* listenOption =
      command
          ->add_option("--listen", listen->addresses,
                       "Serve browsers over WebSocket on a loopback ADDRESS[:PORT] (default "
                       "127.0.0.1:" +
                           std::to_string(bridge::kDefaultPort) + "; may be repeated)")
          ->expected(0, 1)
          ->allow_extra_args(false);
  BridgeLimitOptions(*command, listen->limits);
  AddOriginCommands(*command);
  command->require_subcommand(0, 1);
  command->callback([command, useStdio, useNative, listen, listenOption] {
    if (!command->get_subcommands().empty()) return;
    // Calls carry texts of tens of megabytes: freed blocks stay in the heap
    // for the next call instead of going back to the system and being
    // faulted in again page by page.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    const bool listening = listenOption->count() > 0;
    if (*useStdio + listening + *useNative != 1) {
      std::cerr << "quorvel host: give exactly one of --stdio, --listen and --native-messaging\n";
      std::exit(2);
    }
    if (*useNative) {
      host::native::NativeHostLimits limits;
      limits.calls = listen->limits.calls;
      limits.gate = listen->limits.gate;
      limits.maxMessageBytes = listen->limits.maxFrameBytes;
      std::exit(RunNativeHost(command->remaining(), limits));
    }
    if (!command->remaining().empty()) {
      std::cerr << "quorvel host: unexpected argument '" << command->remaining().front() << "'\n";
      std::exit(2);
    }
    if (*useStdio) {
      // Local test harnesses reach the test seam with QUORVEL_TEST_SEAMS=1.
      const char* seams = std::getenv("QUORVEL_TEST_SEAMS");
      host::RpcSession session({},
                               {.testSeams = seams != nullptr && std::string_view(seams) == "1"});
      host::EnlargePipe(STDIN_FILENO);
      host::EnlargePipe(STDOUT_FILENO);
      host::ServeDescriptor(STDIN_FILENO, std::cout, session);
      return;
    }
    std::exit(Listen(*listen));
  });
}

}  // namespace quorvel::tools
