#include "platform/text/double_byte_table.h"

#include <unicode/ucnv.h>

#include <map>
#include <memory>
#include <mutex>

namespace quorvel::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// One UTF-16 unit for `bytes` when the converter maps them to exactly one
// without any error, else kNone.
char16_t OneUnit(UConverter* converter, std::string_view bytes, char16_t none) {
  UChar unit[2];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      ucnv_toUChars(converter, unit, 2, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  return U_FAILURE(status) || length != 1 ? none : static_cast<char16_t>(unit[0]);
}

}  // namespace

const DoubleByteTable* DoubleByteTable::For(const std::string& name) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<DoubleByteTable>> tables;
  const std::lock_guard lock(mutex);
  auto found = tables.find(name);
  if (found == tables.end()) {
    auto table = std::make_unique<DoubleByteTable>();
    if (!table->Build(name)) table.reset();
    found = tables.emplace(name, std::move(table)).first;
  }
  return found->second.get();
}

bool DoubleByteTable::Build(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status) || ucnv_getMaxCharSize(converter.get()) != 2) return false;
  const UConverterType type = ucnv_getType(converter.get());
  if (type != UCNV_DBCS && type != UCNV_MBCS) return false;
  // Errors stop a conversion here: a sequence the table cannot answer for
  // is left to the converter with the caller's own error handling.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  UBool starters[256];
  ucnv_getStarters(converter.get(), starters, &status);
  if (U_FAILURE(status)) return false;
  pairs_.assign(size_t{1} << 16, kNone);
  for (unsigned byte = 0; byte < 256; ++byte) {
    lead_[byte] = starters[byte] != 0;
    const char one = static_cast<char>(byte);
    single_[byte] =
        lead_[byte] ? kNone : OneUnit(converter.get(), std::string_view(&one, 1), kNone);
    if (!lead_[byte]) continue;
    for (unsigned trail = 0; trail < 256; ++trail) {
      const char two[2] = {one, static_cast<char>(trail)};
      pairs_[byte << 8 | trail] = OneUnit(converter.get(), std::string_view(two, 2), kNone);
    }
  }
  encoded_.assign(size_t{1} << 16, 0);
  for (uint32_t unit = 0; unit < (1u << 16); ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const UChar source = static_cast<UChar>(unit);
    char bytes[4];
    status = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(converter.get(), bytes, 4, &source, 1, &status);
    if (U_FAILURE(status)) continue;
    if (length == 1) encoded_[unit] = kOneByte | static_cast<uint8_t>(bytes[0]);
    if (length == 2) {
      encoded_[unit] = kTwoBytes | static_cast<uint32_t>(static_cast<uint8_t>(bytes[0])) << 8 |
                       static_cast<uint8_t>(bytes[1]);
    }
  }
  return true;
}

// The loops branch on each byte and unit rather than adding a looked-up
// step: text runs in one script for long stretches, so the branches are
// predicted and the next position does not wait for the table's answer.
bool DoubleByteTable::Decode(std::string_view bytes, std::u16string& out) const {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();
  size_t pairs = 0;
  size_t i = 0;
  while (i < size) {
    if (lead_[data[i]]) {
      ++pairs;
      i += 2;
    } else {
      ++i;
    }
  }
  if (i != size) return false;  // a lead byte at the end
  std::u16string result(size - pairs, u'\0');
  char16_t* to = result.data();
  for (i = 0; i < size; ++to) {
    char16_t unit;
    if (lead_[data[i]]) {
      unit = pairs_[data[i] << 8 | data[i + 1]];
      i += 2;
    } else {
      unit = single_[data[i]];
      ++i;
    }
    if (unit == kNone) return false;
    *to = unit;
  }
  out = std::move(result);
  return true;
}

bool DoubleByteTable::Encode(std::u16string_view text, std::string& out) const {
  size_t pairs = 0;
  for (const char16_t unit : text) {
    const uint32_t entry = encoded_[unit];
    if (entry == 0) return false;
    pairs += entry >> 17;
  }
  std::string result(text.size() + pairs, '\0');
  char* to = result.data();
  for (const char16_t unit : text) {
    const uint32_t entry = encoded_[unit];
    if (entry & kTwoBytes) {
      to[0] = static_cast<char>(entry >> 8);
      to[1] = static_cast<char>(entry);
      to += 2;
    } else {
      *to++ = static_cast<char>(entry);
    }
  }
  out = std::move(result);
  return true;
}

}  // namespace quorvel::platform
