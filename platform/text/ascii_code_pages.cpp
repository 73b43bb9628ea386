#include <algorithm>
#include <array>

#include "platform/text/code_page.h"

namespace quorvel::platform {
namespace {

// Single-byte and multi-byte code pages whose lower half is ASCII itself.
// Code pages that give some ASCII bytes other meanings (Shift-JIS's yen sign,
// HZ's tilde, ISO-2022's escapes, the IBM pages' graphic controls) are left out.
constexpr std::array<uint32_t, 27> kAsciiTransparent{
    936,   949,   950,   1250,  1251,  1252,  1253,  1254,  1255,
    1256,  1257,  1258,  20127, 20866, 20936, 21866, 28591, 28592,
    28593, 28594, 28595, 28596, 28597, 28598, 28599, 54936, 65001};

}  // namespace

bool KeepsAsciiAsIs(uint32_t codePage) {
  return std::find(kAsciiTransparent.begin(), kAsciiTransparent.end(), codePage) !=
         kAsciiTransparent.end();
}

}  // namespace quorvel::platform
