#include "control/registration/type_library.h"

#include "platform/text/code_page.h"

namespace quorvel::registration {

std::string HelpString(const MemberInfo& member) {
  if (member.dispid >= kFirstLaterHelpDispid) return "方法" + std::string(member.name);
  return (member.kind == MemberKind::kMethod ? "method " : "property ") + std::string(member.name);
}

std::string StoredHelpString(const MemberInfo& member) {
  std::string stored;
  if (platform::EncodeToCodePage(936, platform::Utf8ToUtf16(HelpString(member)), stored) !=
      platform::CodePageStatus::kOk) {
    return {};
  }
  return stored;
}

}  // namespace quorvel::registration
