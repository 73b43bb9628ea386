#include "container/plain_text.h"

#include <new>

#include "container/plain_text_fields.h"
#include "container/plain_text_index.h"

namespace quorvel::container {

using fields::kField;
using fields::kZeroField;

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
      fields::Append(encoded, formTotal);
      for (const std::string& item : formItems_) {
        fields::Append(encoded, static_cast<int64_t>(item.size()));
        encoded += item;
      }
      // Without files the form section ends in a zero field.
      if (!hasFiles) encoded += kZeroField;
    }
    if (hasFiles) {
      // Without form items the file section starts with a zero field.
      if (!hasForms) encoded += kZeroField;
      fields::Append(encoded, fileTotal);
      for (const PlainTextFile& file : files_) {
        fields::Append(encoded,
                       static_cast<int64_t>(file.name.size() + file.content.size()) + kField);
        fields::Append(encoded, static_cast<int64_t>(file.name.size()));
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
  PlainTextIndex index;
  if (IndexPlainText(text, index) != kPlainTextOk) return kPlainTextFailed;
  try {
    for (PlainTextIndex rest = index; const auto item = FirstFormItem(text, rest);
         rest = WithoutFirstFormItem(text, rest)) {
      formItems_.emplace_back(*item);
    }
    for (PlainTextIndex rest = index; const auto file = FirstFile(text, rest);
         rest = WithoutFirstFile(text, rest)) {
      files_.push_back({std::string(file->name), std::string(file->content)});
    }
  } catch (const std::bad_alloc&) {
    Clear();
    return kPlainTextFailed;
  }
  return kPlainTextOk;
}

void FormattedPlainText::Clear() {
  formItems_.clear();
  files_.clear();
}

}  // namespace quorvel::container
