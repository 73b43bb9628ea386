// The texts a certificate's fields become (names and extension values) for
// input that a page or a server supplies inside a certificate. The first byte
// chooses what the rest is taken for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/certificates/extension_format.h"
#include "platform/certificates/name_string.h"

namespace {

constexpr const char* kExtensions[] = {
    "2.5.29.14", "2.5.29.15", "2.5.29.17", "2.5.29.18",         "2.5.29.19",
    "2.5.29.31", "2.5.29.35", "2.5.29.37", "1.3.6.1.5.5.7.1.1", "1.2.3.4",
};

void Names(std::span<const uint8_t> name) {
  using namespace quorvel::platform;
  for (uint32_t type : {kX500NameStr, kSimpleNameStr, kX500NameStr | kNameStrCrlfFlag}) {
    std::u16string text;
    const Status status = NameToString(name, type, text);
    // The two-call form agrees with the text: its count, then its characters.
    const uint32_t count = NameToStr(name, type, nullptr, 0);
    if (status == error::kOk) {
      if (count != text.size() + 1) std::abort();
      std::vector<char16_t> buffer(count);
      if (NameToStr(name, type, buffer.data(), count) != count) std::abort();
      if (std::u16string(buffer.data()) != text.substr(0, text.find(u'\0'))) std::abort();
      // A short buffer gets a truncated, terminated text.
      if (count > 1) {
        std::vector<char16_t> small(count - 1, u'x');
        NameToStr(name, type, small.data(), count - 1);
        if (small.back() != 0) std::abort();
      }
    }
  }
  std::u16string display;
  static_cast<void>(SimpleDisplayName(name, display));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  constexpr size_t kChoices = std::size(kExtensions) + 1;
  const size_t choice = data[0] % kChoices;
  if (choice == 0) {
    Names(rest);
  } else {
    std::u16string text;
    static_cast<void>(quorvel::platform::FormatExtension(kExtensions[choice - 1], rest, text));
  }
  return 0;
}
