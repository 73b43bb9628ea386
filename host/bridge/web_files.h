// The page-side files the bridge serves over HTTP on its own port: the
// client module and the demo page. They are built into the program, so a
// running bridge never reads a path to answer a request.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace quorvel::bridge {

struct WebFile {
  std::string_view path;  // as requested, e.g. "/quorvel.js", "/demo/index.html"
  std::string_view content;
};

std::span<const WebFile> EmbeddedWebFiles();

struct WebResponse {
  std::string_view content;
  std::string_view contentType;
};

// The file for a request target ("/demo/" serves "/demo/index.html"; a
// query string is ignored); nullopt for anything else.
std::optional<WebResponse> FindWebFile(std::string_view target);

}  // namespace quorvel::bridge
