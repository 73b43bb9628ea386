// Identifiers under which the control is registered and created.
#pragma once

#include <string_view>

namespace quorvel::registration {

inline constexpr std::string_view kClsid = "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}";
inline constexpr std::string_view kLibid = "{0C4F8A21-5D3E-4B6A-8F17-93E2B5C0D4A8}";
inline constexpr std::string_view kInterfaceId = "{A7D3C915-2E48-4F0B-B6C2-58E1F9A03D27}";
inline constexpr std::string_view kEventsId = "{E2B84F63-91A7-4C5D-A0E8-3F6B27D1C954}";
inline constexpr std::string_view kProgId = "Quorvel.DrennicQuorvel2.1";
inline constexpr std::string_view kVersionIndependentProgId = "Quorvel.DrennicQuorvel2";
inline constexpr std::string_view kClassDescription = "DrennicQuorvel20 Class";

}  // namespace quorvel::registration
