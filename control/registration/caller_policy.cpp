// What a page on a web origin may not do that a local client may.
#include <string_view>

#include "control/registration/ascii.h"
#include "control/registration/dispatch.h"

namespace quorvel::registration {
namespace {

// Server mode saves received files without asking and names no certificate
// to the user; only a local client may turn it on.
bool SetsServerMode(const MemberInfo& member) {
  return member.kind == MemberKind::kPropertyPut && EqualsIgnoringCase(member.name, "QVServerMode");
}

// A file name from a page would let it read any file the user can and get
// its bytes back inside a signature; a page passes an empty name instead,
// and the user picks the file.
bool NamesAFile(const MemberInfo& member, std::span<const Value> args) {
  for (size_t i = 0; i < member.params.size() && i < args.size(); ++i) {
    if (member.params[i].name != "fileName") continue;
    const auto* name = std::get_if<std::u16string>(&args[i]);
    if (name != nullptr && !name->empty()) return true;
  }
  return false;
}

}  // namespace

int32_t CheckCaller(const MemberInfo& member, std::span<const Value> args,
                    const CallerPolicy& caller) {
  if (!caller.webOrigin) return hresult::kOk;
  if (SetsServerMode(member)) return hresult::kAccessDenied;
  if (!caller.localFiles && NamesAFile(member, args)) return hresult::kAccessDenied;
  return hresult::kOk;
}

}  // namespace quorvel::registration
