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
template <typename NonEmptyText>
bool NamesAFile(const MemberInfo& member, size_t count, NonEmptyText nonEmptyText) {
  for (size_t i = 0; i < member.params.size() && i < count; ++i) {
    if (member.params[i].name == "fileName" && nonEmptyText(i)) return true;
  }
  return false;
}

template <typename NonEmptyText>
int32_t Check(const MemberInfo& member, size_t count, NonEmptyText nonEmptyText,
              const CallerPolicy& caller) {
  if (!caller.webOrigin) return hresult::kOk;
  if (SetsServerMode(member)) return hresult::kAccessDenied;
  if (!caller.localFiles && NamesAFile(member, count, nonEmptyText)) return hresult::kAccessDenied;
  return hresult::kOk;
}

}  // namespace

int32_t CheckCaller(const MemberInfo& member, std::span<const Value> args,
                    const CallerPolicy& caller) {
  return Check(
      member, args.size(),
      [&](size_t i) {
        const auto* text = std::get_if<std::u16string>(&args[i]);
        return text != nullptr && !text->empty();
      },
      caller);
}

int32_t CheckCaller(const MemberInfo& member, std::span<const bool> nonEmptyTexts,
                    const CallerPolicy& caller) {
  return Check(
      member, nonEmptyTexts.size(), [&](size_t i) { return nonEmptyTexts[i]; }, caller);
}

}  // namespace quorvel::registration
