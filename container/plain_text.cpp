#include "container/plain_text.h"

#include <new>
#include <optional>

namespace quorvel::container {
namespace {

constexpr std::string_view kZeroField = "00000000";
constexpr auto kField = static_cast<int64_t>(kLengthFieldSize);

void AppendField(std::string& text, int64_t value) {
  char digits[kLengthFieldSize];
  for (size_t i = kLengthFieldSize; i-- > 0;) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  text.append(digits, kLengthFieldSize);
}

// Reads the fields and records of a text, never past its end.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // The value of the eight-byte field at `offset`; a field that is not all
  // digits reads as 0. Nothing when the field would extend past the end.
  std::optional<int64_t> Field(int64_t offset) const {
    if (offset < 0 || offset + kField > Size()) return std::nullopt;
    int64_t value = 0;
    for (const char c : text_.substr(static_cast<size_t>(offset), kLengthFieldSize)) {
      if (c < '0' || c > '9') return 0;
      value = value * 10 + (c - '0');
    }
    return value;
  }

  std::string_view Bytes(int64_t offset, int64_t length) const {
    return text_.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
  }

  bool StartsWithZeroField() const { return text_.substr(0, kLengthFieldSize) == kZeroField; }
  int64_t Size() const { return static_cast<int64_t>(text_.size()); }

 private:
  std::string_view text_;
};

}  // namespace

int32_t FormattedPlainText::AddFormItem(std::string_view item) {
  if (item.empty()) return kPlainTextEmpty;
  try {
    formItems_.emplace_back(item);
  } catch (const std::bad_alloc&) {
    return kPlainTextFailed;
  }
  return kPlainTextOk;
}

int32_t FormattedPlainText::AddFile(std::string_view name, std::string_view content) {
  if (name.empty() || content.empty()) return kPlainTextEmpty;
  try {
    files_.push_back({std::string(name), std::string(content)});
  } catch (const std::bad_alloc&) {
    return kPlainTextFailed;
  }
  return kPlainTextOk;
}

int32_t FormattedPlainText::GetFormItem(int64_t index, std::string& item) const {
  if (index < 0 || static_cast<uint64_t>(index) >= formItems_.size()) return kPlainTextFailed;
  item = formItems_[static_cast<size_t>(index)];
  return kPlainTextOk;
}

int32_t FormattedPlainText::GetFile(int64_t index, std::string& name, std::string& content) const {
  if (index < 0 || static_cast<uint64_t>(index) >= files_.size()) return kPlainTextFailed;
  const PlainTextFile& file = files_[static_cast<size_t>(index)];
  name = file.name;
  content = file.content;
  return kPlainTextOk;
}

int32_t FormattedPlainText::Encode(std::string& text) const {
  // Every field is checked before anything is written, so no field can be cut.
  int64_t formTotal = 0;
  for (const std::string& item : formItems_) {
    const auto length = static_cast<int64_t>(item.size());
    if (length > kMaxFieldValue) return kPlainTextFieldOverflow;
    formTotal += length + kField;
    if (formTotal > kMaxFieldValue) return kPlainTextFieldOverflow;
  }
  int64_t fileTotal = 0;
  for (const PlainTextFile& file : files_) {
    const auto nameLength = static_cast<int64_t>(file.name.size());
    const auto record = nameLength + static_cast<int64_t>(file.content.size()) + kField;
    if (nameLength > kMaxFieldValue || record > kMaxFieldValue) return kPlainTextFieldOverflow;
    fileTotal += record + kField;
    if (fileTotal > kMaxFieldValue) return kPlainTextFieldOverflow;
  }
  try {
    std::string encoded;
    const bool hasForms = !formItems_.empty();
    const bool hasFiles = !files_.empty();
    encoded.reserve(static_cast<size_t>(formTotal + fileTotal) + 2 * kLengthFieldSize);
    if (hasForms) {
      AppendField(encoded, formTotal);
      for (const std::string& item : formItems_) {
        AppendField(encoded, static_cast<int64_t>(item.size()));
        encoded += item;
      }
      // Without files the form section ends in a zero field.
      if (!hasFiles) encoded += kZeroField;
    }
    if (hasFiles) {
      // Without form items the file section starts with a zero field.
      if (!hasForms) encoded += kZeroField;
      AppendField(encoded, fileTotal);
      for (const PlainTextFile& file : files_) {
        AppendField(encoded, static_cast<int64_t>(file.name.size() + file.content.size()) + kField);
        AppendField(encoded, static_cast<int64_t>(file.name.size()));
        encoded += file.name;
        encoded += file.content;
      }
    }
    text = std::move(encoded);
  } catch (const std::bad_alloc&) {
    return kPlainTextNoMemory;
  }
  return kPlainTextOk;
}

int32_t FormattedPlainText::Decode(std::string_view text) {
  Clear();
  const Reader reader(text);
  // `p` is the reading position, `n` the number of bytes not yet consumed.
  int64_t p = 0;
  int64_t n = reader.Size();
  auto fail = [this] {
    Clear();
    return kPlainTextFailed;
  };

  const bool filesOnly = reader.StartsWithZeroField();
  if (filesOnly) {
    p += kField;
    n -= kField;
  }
  std::optional<int64_t> total = reader.Field(p);
  if (!total || *total == 0 || *total > n) return fail();
  p += kField;
  n -= kField;

  if (!filesOnly) {
    int64_t sum = 0;
    std::optional<int64_t> length = reader.Field(p);
    if (!length) return fail();
    while (*length != 0) {
      if (*length + kField > n) return fail();
      if (AddFormItem(reader.Bytes(p + kField, *length)) != kPlainTextOk) return fail();
      p += *length + kField;
      n -= *length + kField;
      sum += *length + kField;
      // Nothing left, only the trailing zero field, or the section complete.
      if (n <= 0 || n == kField || sum == *total) break;
      length = reader.Field(p);
      if (!length) return fail();
    }
    if (n <= 0 || n == kField) return kPlainTextOk;

    total = reader.Field(p);
    if (!total || *total == 0 || *total > n) return fail();
    p += kField;
    n -= kField;
  }

  int64_t sum = 0;
  std::optional<int64_t> record = reader.Field(p);
  if (!record) return fail();
  while (*record != 0) {
    if (*record + kField > n) return fail();
    const std::optional<int64_t> nameLength = reader.Field(p + kField);
    if (!nameLength || *nameLength > n) return fail();
    const int64_t contentLength = *record - *nameLength - kField;
    if (contentLength < 0 || contentLength > n) return fail();
    const int64_t nameAt = p + 2 * kField;
    if (AddFile(reader.Bytes(nameAt, *nameLength),
                reader.Bytes(nameAt + *nameLength, contentLength)) != kPlainTextOk) {
      return fail();
    }
    p += *record + kField;
    n -= *record + kField;
    sum += *record + kField;
    if (n <= 0 || sum == *total) break;
    record = reader.Field(p);
    if (!record) return fail();
  }
  return kPlainTextOk;
}

void FormattedPlainText::Clear() {
  formItems_.clear();
  files_.clear();
}

}  // namespace quorvel::container
