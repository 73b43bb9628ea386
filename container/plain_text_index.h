// Where the elements of a formatted plain text lie in it, found by one reading
// of the text, so that its form items and files can be served from the text
// itself instead of from copies.
//
// A well-formed text keeps its form-item records one after another in one run
// of bytes and its file records in another, and every record is byte for byte
// what the encoder writes for its element. An index is those two runs; the
// elements from any record on therefore re-encode from the text without being
// parsed again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::container {

struct PlainTextIndex {
  // Form-item records fill [formBegin, formEnd), file records [fileBegin, fileEnd).
  size_t formBegin = 0;
  size_t formEnd = 0;
  size_t fileBegin = 0;
  size_t fileEnd = 0;

  bool HasFormItems() const { return formBegin < formEnd; }
  bool HasFiles() const { return fileBegin < fileEnd; }
  bool Empty() const { return !HasFormItems() && !HasFiles(); }
  bool operator==(const PlainTextIndex&) const = default;
};

struct PlainTextFileView {
  std::string_view name;
  std::string_view content;
};

// 0 with the index of `text`; -1 if `text` is not a well-formed container
// (the rules FormattedPlainText::Decode reads by), and then `index` is as it was.
int32_t IndexPlainText(std::string_view text, PlainTextIndex& index);

// The first form item or file that `index` covers in `text`, viewing `text`;
// nothing when it covers none.
std::optional<std::string_view> FirstFormItem(std::string_view text, const PlainTextIndex& index);
std::optional<PlainTextFileView> FirstFile(std::string_view text, const PlainTextIndex& index);

// `index` without its first form item or its first file (the same index when
// there is none).
PlainTextIndex WithoutFirstFormItem(std::string_view text, PlainTextIndex index);
PlainTextIndex WithoutFirstFile(std::string_view text, PlainTextIndex index);

// 0 when the elements `index` covers can be encoded; -10056 when a section
// total would exceed 99,999,999 (a lenient text may hold more than its
// total field says).
int32_t CheckEncodable(const PlainTextIndex& index);

// 0 with the encoding of the elements `index` covers in `text`, exactly what
// FormattedPlainText::Encode gives for them; -10056 as CheckEncodable, and
// -10000 if memory runs out, both without any text.
int32_t EncodeIndexed(std::string_view text, const PlainTextIndex& index, std::string& encoded);

}  // namespace quorvel::container
