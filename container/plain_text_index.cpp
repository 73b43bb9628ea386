#include "container/plain_text_index.h"

#include <new>

#include "container/plain_text.h"
#include "container/plain_text_fields.h"

namespace quorvel::container {
namespace {

using fields::kField;
using fields::kZeroField;

// A field inside an indexed run: the index was built only over records whose
// fields are all digits and lie inside the text.
int64_t IndexedField(std::string_view text, size_t offset) {
  return fields::Read(text, static_cast<int64_t>(offset)).value_or(0);
}

std::string_view Bytes(std::string_view text, int64_t offset, int64_t length) {
  return text.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
}

}  // namespace

int32_t IndexPlainText(std::string_view text, PlainTextIndex& index) {
  // `p` is the reading position, `n` the number of bytes not yet consumed.
  int64_t p = 0;
  int64_t n = static_cast<int64_t>(text.size());
  PlainTextIndex found;

  const bool filesOnly = text.substr(0, kLengthFieldSize) == kZeroField;
  if (filesOnly) {
    p += kField;
    n -= kField;
  }
  std::optional<int64_t> total = fields::Read(text, p);
  if (!total || *total == 0 || *total > n) return kPlainTextFailed;
  p += kField;
  n -= kField;

  if (!filesOnly) {
    found.formBegin = static_cast<size_t>(p);
    int64_t sum = 0;
    std::optional<int64_t> length = fields::Read(text, p);
    if (!length) return kPlainTextFailed;
    while (*length != 0) {
      if (*length + kField > n) return kPlainTextFailed;
      p += *length + kField;
      n -= *length + kField;
      sum += *length + kField;
      // Nothing left, only the trailing zero field, or the section complete.
      if (n <= 0 || n == kField || sum == *total) break;
      length = fields::Read(text, p);
      if (!length) return kPlainTextFailed;
    }
    found.formEnd = static_cast<size_t>(p);
    if (n <= 0 || n == kField) {
      found.fileBegin = found.fileEnd = found.formEnd;
      index = found;
      return kPlainTextOk;
    }

    total = fields::Read(text, p);
    if (!total || *total == 0 || *total > n) return kPlainTextFailed;
    p += kField;
    n -= kField;
  }

  found.fileBegin = static_cast<size_t>(p);
  int64_t sum = 0;
  std::optional<int64_t> record = fields::Read(text, p);
  if (!record) return kPlainTextFailed;
  while (*record != 0) {
    if (*record + kField > n) return kPlainTextFailed;
    const std::optional<int64_t> nameLength = fields::Read(text, p + kField);
    if (!nameLength || *nameLength > n) return kPlainTextFailed;
    const int64_t contentLength = *record - *nameLength - kField;
    if (contentLength < 0 || contentLength > n) return kPlainTextFailed;
    // A file needs a name and some content.
    if (*nameLength == 0 || contentLength == 0) return kPlainTextFailed;
    p += *record + kField;
    n -= *record + kField;
    sum += *record + kField;
    if (n <= 0 || sum == *total) break;
    record = fields::Read(text, p);
    if (!record) return kPlainTextFailed;
  }
  found.fileEnd = static_cast<size_t>(p);
  if (found.formBegin == found.formEnd) found.formBegin = found.formEnd = found.fileBegin;
  index = found;
  return kPlainTextOk;
}

std::optional<std::string_view> FirstFormItem(std::string_view text, const PlainTextIndex& index) {
  if (!index.HasFormItems()) return std::nullopt;
  const int64_t at = static_cast<int64_t>(index.formBegin);
  return Bytes(text, at + kField, IndexedField(text, index.formBegin));
}

std::optional<PlainTextFileView> FirstFile(std::string_view text, const PlainTextIndex& index) {
  if (!index.HasFiles()) return std::nullopt;
  const int64_t at = static_cast<int64_t>(index.fileBegin);
  const int64_t record = IndexedField(text, index.fileBegin);
  const int64_t nameLength = IndexedField(text, index.fileBegin + kLengthFieldSize);
  const int64_t nameAt = at + 2 * kField;
  return PlainTextFileView{Bytes(text, nameAt, nameLength),
                           Bytes(text, nameAt + nameLength, record - nameLength - kField)};
}

PlainTextIndex WithoutFirstFormItem(std::string_view text, PlainTextIndex index) {
  if (index.HasFormItems()) {
    index.formBegin += kLengthFieldSize + static_cast<size_t>(IndexedField(text, index.formBegin));
  }
  return index;
}

PlainTextIndex WithoutFirstFile(std::string_view text, PlainTextIndex index) {
  if (index.HasFiles()) {
    index.fileBegin += kLengthFieldSize + static_cast<size_t>(IndexedField(text, index.fileBegin));
  }
  return index;
}

int32_t CheckEncodable(const PlainTextIndex& index) {
  // Each record fits its field, as it was read from one; only the totals can overflow.
  const size_t formTotal = index.formEnd - index.formBegin;
  const size_t fileTotal = index.fileEnd - index.fileBegin;
  if (formTotal > static_cast<size_t>(kMaxFieldValue) ||
      fileTotal > static_cast<size_t>(kMaxFieldValue)) {
    return kPlainTextFieldOverflow;
  }
  return kPlainTextOk;
}

int32_t EncodeIndexed(std::string_view text, const PlainTextIndex& index, std::string& encoded) {
  if (const int32_t checked = CheckEncodable(index); checked != kPlainTextOk) return checked;
  const std::string_view forms = text.substr(index.formBegin, index.formEnd - index.formBegin);
  const std::string_view files = text.substr(index.fileBegin, index.fileEnd - index.fileBegin);
  try {
    std::string out;
    out.reserve(forms.size() + files.size() + 2 * kLengthFieldSize);
    if (!forms.empty()) {
      fields::Append(out, static_cast<int64_t>(forms.size()));
      out += forms;
      // Without files the form section ends in a zero field.
      if (files.empty()) out += kZeroField;
    }
    if (!files.empty()) {
      // Without form items the file section starts with a zero field.
      if (forms.empty()) out += kZeroField;
      fields::Append(out, static_cast<int64_t>(files.size()));
      out += files;
    }
    encoded = std::move(out);
  } catch (const std::bad_alloc&) {
    return kPlainTextNoMemory;
  }
  return kPlainTextOk;
}

}  // namespace quorvel::container
