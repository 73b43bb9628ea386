// The formatted plain text: several form items and files packed into one byte
// string with eight-digit decimal length fields, so that a server can take it
// apart without any library.
//
//   form-item record  L (8 digits), the L item bytes
//   file record       R = N + C + 8, N, the N name bytes, the C content bytes
//   form items only   FT, form-item records, "00000000"
//   files only        "00000000", PT, file records
//   both              FT, form-item records, PT, file records
//   neither           no bytes
//
// FT is the byte length of all form-item records, PT that of all file records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::container {

inline constexpr size_t kLengthFieldSize = 8;
inline constexpr int64_t kMaxFieldValue = 99'999'999;

inline constexpr int32_t kPlainTextOk = 0;
inline constexpr int32_t kPlainTextFailed = -1;  // bad index, not well-formed, storing failed
inline constexpr int32_t kPlainTextEmpty = -10001;
inline constexpr int32_t kPlainTextNoMemory = -10000;
// Encode: a length or total would not fit its eight-digit field.
inline constexpr int32_t kPlainTextFieldOverflow = -10056;

struct PlainTextFile {
  std::string name;
  std::string content;
};

class FormattedPlainText {
 public:
  // 0; -10001 for an empty item; -1 if storing fails.
  int32_t AddFormItem(std::string_view item);
  // 0; -10001 for an empty name or content; -1 if storing fails.
  int32_t AddFile(std::string_view name, std::string_view content);

  size_t FormItemCount() const { return formItems_.size(); }
  size_t FileCount() const { return files_.size(); }

  // 0 with a copy of the element; -1 for an index outside the sequence.
  int32_t GetFormItem(int64_t index, std::string& item) const;
  int32_t GetFile(int64_t index, std::string& name, std::string& content) const;

  // 0 with the encoded text; -10056 if a field would exceed 99,999,999, and
  // -10000 if memory runs out, both without any text.
  int32_t Encode(std::string& text) const;

  // Replaces the contents with those of `text`. 0; -1 if `text` is not a
  // well-formed container, and then both sequences are empty.
  int32_t Decode(std::string_view text);

  void Clear();

 private:
  std::vector<std::string> formItems_;
  std::vector<PlainTextFile> files_;
};

}  // namespace quorvel::container
