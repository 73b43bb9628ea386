#include "platform/text/icu_converter.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

namespace quorvel::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenConverter(const std::string& name) {
  if (name.empty()) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// Writes U+FFFD for every illegal or unassigned byte sequence.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*,
                                    int32_t, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

bool FitsInt32(size_t size) {
  return size <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

}  // namespace

CodePageStatus EncodeWithConverter(const std::string& name, std::u16string_view text,
                                   std::string& out) {
  ConverterPtr converter = OpenConverter(name);
  if (!converter) return CodePageStatus::kUnknownCodePage;
  if (!FitsInt32(text.size())) return CodePageStatus::kFailed;

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  if (U_FAILURE(status)) return CodePageStatus::kFailed;

  const auto* source = reinterpret_cast<const UChar*>(text.data());
  const auto sourceLength = static_cast<int32_t>(text.size());
  const int32_t needed =
      ucnv_fromUChars(converter.get(), nullptr, 0, source, sourceLength, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
    return status == U_INVALID_CHAR_FOUND ? CodePageStatus::kUnmappable : CodePageStatus::kFailed;
  }
  std::string result(static_cast<size_t>(needed), '\0');
  status = U_ZERO_ERROR;
  ucnv_fromUChars(converter.get(), result.data(), needed, source, sourceLength, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    return status == U_INVALID_CHAR_FOUND ? CodePageStatus::kUnmappable : CodePageStatus::kFailed;
  }
  out = std::move(result);
  return CodePageStatus::kOk;
}

CodePageStatus DecodeWithConverter(const std::string& name, std::string_view bytes,
                                   std::u16string& out) {
  ConverterPtr converter = OpenConverter(name);
  if (!converter) return CodePageStatus::kUnknownCodePage;
  if (!FitsInt32(bytes.size())) return CodePageStatus::kFailed;

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                      &status);
  if (U_FAILURE(status)) return CodePageStatus::kFailed;

  const auto sourceLength = static_cast<int32_t>(bytes.size());
  const int32_t needed =
      ucnv_toUChars(converter.get(), nullptr, 0, bytes.data(), sourceLength, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return CodePageStatus::kFailed;
  std::u16string result(static_cast<size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(result.data()), needed, bytes.data(),
                sourceLength, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    return CodePageStatus::kFailed;
  }
  out = std::move(result);
  return CodePageStatus::kOk;
}

}  // namespace quorvel::platform
