// The control's type information, derived from the member table: the library,
// its coclass, the dual interface and the event interface, each with its
// identifier and help string, and every member's help string.
#pragma once

#include <array>

#include <string>
#include <string_view>

#include "control/registration/member_table.h"

namespace quorvel::registration {

struct TypeInfoEntry {
  std::string_view kind;  // "library", "coclass", "interface" or "dispinterface"
  std::string_view name;
  std::string_view guid;
  std::string_view helpString;
  // The type's flags as an IDL writes its attributes: the coclass is
  // creatable, the interface dual and automation-compatible.
  std::array<std::string_view, 2> flags{};
  // A coclass's interfaces with their attributes, in the IDL's order.
  std::array<std::string_view, 2> implemented{};
};

inline constexpr TypeInfoEntry kTypeLibrary{"library", "VemlorQUORVELLib",
                                            "{0C4F8A21-5D3E-4B6A-8F17-93E2B5C0D4A8}",
                                            "VemlorQuorvel 2.0 Type Library"};
inline constexpr TypeInfoEntry kTypeInfos[] = {
    {"dispinterface", "_IVemlorDrennicQuorvelEvents", "{E2B84F63-91A7-4C5D-A0E8-3F6B27D1C954}",
     "_IVemlorDrennicQuorvelEvents Interface"},
    {"coclass",
     "VemlorDrennicQuorvel",
     "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}",
     "Vemlor DrennicQuorvel20 Class",
     {"creatable"},
     {"[default] interface IVemlorDrennicQuorvel",
      "[default, source] dispinterface _IVemlorDrennicQuorvelEvents"}},
    {"interface",
     "IVemlorDrennicQuorvel",
     "{A7D3C915-2E48-4F0B-B6C2-58E1F9A03D27}",
     "IVemlorDrennicQuorvel Interface",
     {"dual", "oleautomation"}},
};
inline constexpr uint32_t kTypeLibraryLocale = 1033;
inline constexpr std::string_view kTypeLibraryVersion = "1.0";
inline constexpr std::string_view kModuleVersion = "2.0.59.4";

// The members from this dispatch identifier on have help strings of the
// later style.
inline constexpr int32_t kFirstLaterHelpDispid = 52;

// "property NAME" or "method NAME", or "方法NAME" from dispid 52 on, as UTF-8.
std::string HelpString(const MemberInfo& member);
// The help string as the type library stores it: code page 936 bytes.
std::string StoredHelpString(const MemberInfo& member);

}  // namespace quorvel::registration
