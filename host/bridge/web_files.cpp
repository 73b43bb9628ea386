#include "host/bridge/web_files.h"

#include <string>

namespace quorvel::bridge {
namespace {

std::string_view ContentTypeOf(std::string_view path) {
  struct Type {
    std::string_view extension;
    std::string_view contentType;
  };
  static constexpr Type kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".ts", "text/plain; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
  };
  for (const Type& type : kTypes) {
    if (path.ends_with(type.extension)) return type.contentType;
  }
  return "application/octet-stream";
}

}  // namespace

std::optional<WebResponse> FindWebFile(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  std::string path(target);
  if (path.ends_with('/')) path += "index.html";
  for (const WebFile& file : EmbeddedWebFiles()) {
    if (file.path == path) return WebResponse{file.content, ContentTypeOf(file.path)};
  }
  return std::nullopt;
}

}  // namespace quorvel::bridge
