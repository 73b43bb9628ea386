// The platform's own strings, so that clients free what the module gives
// them with SysFreeString.
#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include "control/registration/com_abi.h"

namespace quorvel::registration::abi {

Bstr AllocString(const char16_t* text, uint32_t length) {
  if (length > UINT32_MAX / 4) return nullptr;
  return reinterpret_cast<Bstr>(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length));
}

void FreeString(Bstr text) {
  SysFreeString(reinterpret_cast<BSTR>(text));
}

uint32_t StringLength(const char16_t* text) {
  return SysStringLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(text)));
}

std::u16string StringOf(const char16_t* text) {
  return text == nullptr ? std::u16string() : std::u16string(text, StringLength(text));
}

}  // namespace quorvel::registration::abi
