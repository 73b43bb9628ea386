// Formatted plain texts (form items and files) as verification hands them to
// the container members: the one-pass index and the decoder must agree on
// every text, element by element, and re-encode alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "container/plain_text.h"
#include "container/plain_text_index.h"

using quorvel::container::FormattedPlainText;
using quorvel::container::PlainTextIndex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  PlainTextIndex index;
  FormattedPlainText decoded;
  const int32_t indexed = quorvel::container::IndexPlainText(text, index);
  const int32_t read = decoded.Decode(text);
  if ((indexed == 0) != (read == 0)) std::abort();
  if (indexed != 0) return 0;

  std::string viaIndex;
  std::string viaDecoder;
  const int32_t encodedIndex = quorvel::container::EncodeIndexed(text, index, viaIndex);
  const int32_t encodedDecoder = decoded.Encode(viaDecoder);
  if (encodedIndex != encodedDecoder || viaIndex != viaDecoder) std::abort();

  // Taking the elements out one by one gives the decoder's elements in order.
  for (size_t i = 0; i < decoded.FormItemCount(); ++i) {
    const auto item = quorvel::container::FirstFormItem(text, index);
    std::string expected;
    if (!item || decoded.GetFormItem(static_cast<int64_t>(i), expected) != 0 || *item != expected) {
      std::abort();
    }
    index = quorvel::container::WithoutFirstFormItem(text, index);
  }
  if (quorvel::container::FirstFormItem(text, index)) std::abort();
  for (size_t i = 0; i < decoded.FileCount(); ++i) {
    const auto file = quorvel::container::FirstFile(text, index);
    std::string name;
    std::string content;
    if (!file || decoded.GetFile(static_cast<int64_t>(i), name, content) != 0 ||
        file->name != name || file->content != content) {
      std::abort();
    }
    index = quorvel::container::WithoutFirstFile(text, index);
  }
  if (quorvel::container::FirstFile(text, index) || !index.Empty()) std::abort();
  return 0;
}
