#include "platform/text/icu_converter.h"

#include "platform/text/double_byte_table.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
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

// The units a double-byte code page's bytes decode to while they are well
// formed: one for each lead byte with the byte after it, one for each other
// byte. Nothing for other kinds of converter.
std::optional<size_t> DoubleByteUnits(UConverter* converter, std::string_view bytes) {
  if (ucnv_getMaxCharSize(converter) != 2) return std::nullopt;
  const UConverterType type = ucnv_getType(converter);
  if (type != UCNV_DBCS && type != UCNV_MBCS) return std::nullopt;
  UBool starters[256];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_getStarters(converter, starters, &status);
  if (U_FAILURE(status)) return std::nullopt;
  size_t units = 0;
  for (size_t i = 0; i < bytes.size(); ++units)
    i += starters[static_cast<uint8_t>(bytes[i])] ? 2 : 1;
  return units;
}

// A result converted into a buffer sized beforehand keeps no more than an
// eighth of it spare.
template <typename String>
void Trim(String& text, size_t length) {
  text.resize(length);
  if (text.capacity() - length > length / 8) text.shrink_to_fit();
}

}  // namespace

CodePageStatus EncodeWithConverter(const std::string& name, std::u16string_view text,
                                   std::string& out) {
  if (text.size() >= DoubleByteTable::kMinLength) {
    const DoubleByteTable* table = DoubleByteTable::For(name);
    if (table != nullptr && table->Encode(text, out)) return CodePageStatus::kOk;
  }
  ConverterPtr converter = OpenConverter(name);
  if (!converter) return CodePageStatus::kUnknownCodePage;
  if (!FitsInt32(text.size())) return CodePageStatus::kFailed;

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  if (U_FAILURE(status)) return CodePageStatus::kFailed;

  const auto* source = reinterpret_cast<const UChar*>(text.data());
  const auto sourceLength = static_cast<int32_t>(text.size());
  // In one pass into the largest size the text can take, where that is
  // small: a double-byte code page's two bytes a unit at most.
  const auto maxCharSize = static_cast<size_t>(ucnv_getMaxCharSize(converter.get()));
  if (maxCharSize <= 2 && FitsInt32(text.size() * maxCharSize)) {
    const auto capacity = static_cast<int32_t>(text.size() * maxCharSize);
    std::string result(static_cast<size_t>(capacity), '\0');
    const int32_t written =
        ucnv_fromUChars(converter.get(), result.data(), capacity, source, sourceLength, &status);
    if (!U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) {
      Trim(result, static_cast<size_t>(written));
      out = std::move(result);
      return CodePageStatus::kOk;
    }
    if (status != U_BUFFER_OVERFLOW_ERROR) {
      return status == U_INVALID_CHAR_FOUND ? CodePageStatus::kUnmappable : CodePageStatus::kFailed;
    }
    ucnv_resetFromUnicode(converter.get());
    status = U_ZERO_ERROR;
  }
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
  if (bytes.size() >= DoubleByteTable::kMinLength) {
    const DoubleByteTable* table = DoubleByteTable::For(name);
    if (table != nullptr && table->Decode(bytes, out)) return CodePageStatus::kOk;
  }
  ConverterPtr converter = OpenConverter(name);
  if (!converter) return CodePageStatus::kUnknownCodePage;
  if (!FitsInt32(bytes.size())) return CodePageStatus::kFailed;

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                      &status);
  if (U_FAILURE(status)) return CodePageStatus::kFailed;

  const auto sourceLength = static_cast<int32_t>(bytes.size());
  // In one pass where the length can be told beforehand; ICU's count
  // decides, and a text that needs more room converts in two passes.
  if (const std::optional<size_t> units = DoubleByteUnits(converter.get(), bytes)) {
    std::u16string result(*units, u'\0');
    const int32_t written =
        ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(result.data()),
                      static_cast<int32_t>(*units), bytes.data(), sourceLength, &status);
    if (!U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) {
      Trim(result, static_cast<size_t>(written));
      out = std::move(result);
      return CodePageStatus::kOk;
    }
    if (status != U_BUFFER_OVERFLOW_ERROR) return CodePageStatus::kFailed;
    ucnv_resetToUnicode(converter.get());
    status = U_ZERO_ERROR;
  }
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
