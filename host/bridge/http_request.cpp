#include "host/bridge/http_request.h"

#include <algorithm>

namespace quorvel::bridge {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

// Visible ASCII and tabs; no control characters, no bytes above 0x7E.
bool IsFieldValue(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == '\t' ||
           (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
  });
}

bool ListHas(std::string_view list, std::string_view token) {
  const std::string lowered = Lower(list);
  std::string_view rest = lowered;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    if (Trim(rest.substr(0, comma)) == token) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::optional<std::string> RequestHead::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key == name) return value;
  }
  return std::nullopt;
}

bool RequestHead::IsWebSocketUpgrade() const {
  const auto upgrade = Header("upgrade");
  const auto connection = Header("connection");
  return upgrade && connection && ListHas(*upgrade, "websocket") && ListHas(*connection, "upgrade");
}

HeadStatus ParseRequestHead(std::string_view bytes, RequestHead& head, size_t& headLength) {
  const size_t end = bytes.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    return bytes.size() >= kMaxRequestHeadBytes ? HeadStatus::kTooLarge : HeadStatus::kIncomplete;
  }
  if (end + 4 > kMaxRequestHeadBytes) return HeadStatus::kTooLarge;
  headLength = end + 4;
  head = {};
  std::string_view text = bytes.substr(0, end);
  const size_t lineEnd = text.find("\r\n");
  const std::string_view requestLine = text.substr(0, lineEnd);
  text = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 2);

  const size_t space1 = requestLine.find(' ');
  const size_t space2 = requestLine.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
  if (space1 == std::string_view::npos || space2 == std::string_view::npos ||
      requestLine.find(' ', space2 + 1) != std::string_view::npos) {
    return HeadStatus::kMalformed;
  }
  head.method = std::string(requestLine.substr(0, space1));
  head.target = std::string(requestLine.substr(space1 + 1, space2 - space1 - 1));
  const std::string_view version = requestLine.substr(space2 + 1);
  if (!IsToken(head.method) || head.target.empty() || head.target.front() != '/' ||
      !IsFieldValue(head.target) || version != "HTTP/1.1") {
    return HeadStatus::kMalformed;
  }
  while (!text.empty()) {
    const size_t next = text.find("\r\n");
    const std::string_view line = text.substr(0, next);
    text = next == std::string_view::npos ? std::string_view() : text.substr(next + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      return HeadStatus::kMalformed;
    }
    const std::string_view value = Trim(line.substr(colon + 1));
    if (!IsFieldValue(value) || head.headers.size() == kMaxRequestHeaders) {
      return HeadStatus::kMalformed;
    }
    std::string name = Lower(line.substr(0, colon));
    // A repeated Host or Origin could let one reader see another value than
    // the next; refuse the request instead of choosing.
    if ((name == "host" || name == "origin") && head.Header(name)) return HeadStatus::kMalformed;
    head.headers.emplace_back(std::move(name), std::string(value));
  }
  return HeadStatus::kComplete;
}

}  // namespace quorvel::bridge
