// The signing history on Windows. Only a program hosting the module that
// names its callers records key uses, and none does on Windows yet, so there
// is no history to keep.
#include <windows.h>

#include "platform/keyuse/signing_history.h"

namespace quorvel::platform {
namespace {

std::error_code NotSupported() {
  return {ERROR_NOT_SUPPORTED, std::system_category()};
}

}  // namespace

std::error_code AppendHistory(HistoryEntry) {
  return NotSupported();
}

std::error_code ReadHistory(const HistoryFilter&, std::vector<HistoryEntry>& entries) {
  entries.clear();
  return NotSupported();
}

std::error_code ClearHistory() {
  return NotSupported();
}

}  // namespace quorvel::platform
