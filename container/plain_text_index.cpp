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

// The reading position and the bytes not yet consumed.
struct Cursor {
  int64_t p = 0;
  int64_t n = 0;
  void Advance(int64_t bytes) {
    p += bytes;
    n -= bytes;
  }
};

// A section's total length from its header: positive and within what is left.
std::optional<int64_t> ReadSectionTotal(std::string_view text, Cursor& cursor) {
  const std::optional<int64_t> total = fields::Read(text, cursor.p);
  if (!total || *total == 0 || *total > cursor.n) return std::nullopt;
  cursor.Advance(kField);
  return total;
}

// The form items of a section of `total` bytes; false when they overrun it.
bool WalkFormItems(std::string_view text, int64_t total, Cursor& cursor) {
  int64_t sum = 0;
  std::optional<int64_t> length = fields::Read(text, cursor.p);
  if (!length) return false;
  while (*length != 0) {
    if (*length + kField > cursor.n) return false;
    cursor.Advance(*length + kField);
    sum += *length + kField;
    // Nothing left, only the trailing zero field, or the section complete.
    if (cursor.n <= 0 || cursor.n == kField || sum == total) break;
    length = fields::Read(text, cursor.p);
    if (!length) return false;
  }
  return true;
}

// The file records of a section of `total` bytes; false when one is
// malformed: a file needs a name and some content.
bool WalkFiles(std::string_view text, int64_t total, Cursor& cursor) {
  int64_t sum = 0;
  std::optional<int64_t> record = fields::Read(text, cursor.p);
  if (!record) return false;
  while (*record != 0) {
    if (*record + kField > cursor.n) return false;
    const std::optional<int64_t> nameLength = fields::Read(text, cursor.p + kField);
    if (!nameLength || *nameLength > cursor.n) return false;
    const int64_t contentLength = *record - *nameLength - kField;
    if (contentLength < 0 || contentLength > cursor.n) return false;
    if (*nameLength == 0 || contentLength == 0) return false;
    cursor.Advance(*record + kField);
    sum += *record + kField;
    if (cursor.n <= 0 || sum == total) break;
    record = fields::Read(text, cursor.p);
    if (!record) return false;
  }
  return true;
}

}  // namespace

int32_t IndexPlainText(std::string_view text, PlainTextIndex& index) {
  Cursor cursor{0, static_cast<int64_t>(text.size())};
  PlainTextIndex found;

  const bool filesOnly = text.substr(0, kLengthFieldSize) == kZeroField;
  if (filesOnly) cursor.Advance(kField);
  std::optional<int64_t> total = ReadSectionTotal(text, cursor);
  if (!total) return kPlainTextFailed;

  if (!filesOnly) {
    found.formBegin = static_cast<size_t>(cursor.p);
    if (!WalkFormItems(text, *total, cursor)) return kPlainTextFailed;
    found.formEnd = static_cast<size_t>(cursor.p);
    if (cursor.n <= 0 || cursor.n == kField) {
      found.fileBegin = found.fileEnd = found.formEnd;
      index = found;
      return kPlainTextOk;
    }
    total = ReadSectionTotal(text, cursor);
    if (!total) return kPlainTextFailed;
  }

  found.fileBegin = static_cast<size_t>(cursor.p);
  if (!WalkFiles(text, *total, cursor)) return kPlainTextFailed;
  found.fileEnd = static_cast<size_t>(cursor.p);
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
