#include "certs/cert_info.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/certificates/file_time.h"
#include "platform/certificates/name_string.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::certs {
namespace {

// The serial text, most significant byte first; the platform holds the bytes
// least significant first.
std::u16string SerialText(const platform::Bytes& littleEndian) {
  std::u16string text;
  text.reserve(littleEndian.size() * 5 / 2 + 1);
  std::size_t index = 0;
  for (auto byte = littleEndian.rbegin(); byte != littleEndian.rend(); ++byte, ++index) {
    // A space before the third, fifth, seventh ... byte: groups of four digits.
    if (index >= 2 && index % 2 == 0) text.push_back(u' ');
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", *byte);
    text.push_back(static_cast<char16_t>(digits[0]));
    text.push_back(static_cast<char16_t>(digits[1]));
  }
  return text;
}

void CopyOut(const std::u16string& text, char16_t* buffer) {
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
}

ErrorNumber NameText(std::span<const uint8_t> name, char16_t* buffer, uint32_t* length) {
  const uint32_t count = platform::NameToStr(name, platform::kX500NameStr, nullptr, 0);
  if (count == 0) return err::kDecodeField;
  std::vector<char16_t> text(std::size_t{count} + 1, 0);
  if (platform::NameToStr(name, platform::kX500NameStr, text.data(), count + 1) == 0) {
    return err::kDecodeField;
  }
  if (buffer != nullptr) std::copy_n(text.data(), count, buffer);
  *length = count;
  return err::kOk;
}

ErrorNumber TimeText(uint64_t fileTime, char16_t* buffer, uint32_t* length) {
  uint32_t needed = 0;
  if (FormatCertTime(fileTime, nullptr, &needed) != 0 || needed == 0) return err::kDecodeField;
  std::vector<char16_t> text(std::size_t{needed} + 1, 0);
  uint32_t written = 0;
  if (FormatCertTime(fileTime, text.data(), &written) != 0 || written == 0) {
    return err::kDecodeField;
  }
  if (buffer != nullptr) std::copy_n(text.data(), written + 1, buffer);
  *length = written;
  return err::kOk;
}

}  // namespace

ErrorNumber GetCertInfoString(const platform::CertContext* certificate, int type, char16_t* buffer,
                              uint32_t* length) {
  if (certificate == nullptr || length == nullptr) {
    if (length != nullptr) *length = 0;
    return err::kEmptyInput;
  }
  *length = 0;
  try {
    const platform::Certificate& cert = certificate->certificate();
    switch (type) {
      case kInfoSubject:
        return NameText(cert.SubjectName(), buffer, length);
      case kInfoIssuer:
        return NameText(cert.IssuerName(), buffer, length);
      case kInfoNotBefore:
        return TimeText(cert.NotBefore(), buffer, length);
      case kInfoNotAfter:
        return TimeText(cert.NotAfter(), buffer, length);
      case kInfoSerialNumber: {
        const std::u16string text = SerialText(cert.SerialNumber());
        if (buffer != nullptr) CopyOut(text, buffer);
        *length = static_cast<uint32_t>(text.size());
        return err::kOk;
      }
      default:
        return err::kOk;
    }
  } catch (const std::bad_alloc&) {
    *length = 0;
    return err::kNoMemory;
  }
}

int32_t FormatCertTime(uint64_t fileTime, char16_t* buffer, uint32_t* length) {
  if (length == nullptr) return ToInt(err::kEmptyInput);
  *length = 0;
  platform::SystemTime time;
  if (!platform::FileTimeToSystemTime(fileTime, time)) return -1;
  char text[64];
  const int written =
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02dGMT", time.year, time.month,
                    time.day, time.hour, time.minute, time.second);
  if (written <= 0 || written >= static_cast<int>(sizeof text)) return -1;
  if (buffer != nullptr) {
    for (int i = 0; i <= written; ++i) buffer[i] = static_cast<char16_t>(text[i]);
  }
  *length = static_cast<uint32_t>(written);
  return 0;
}

ErrorNumber FillCertInfo(const platform::CertContext* certificate, CertInfoRecord* record) {
  if (certificate == nullptr || record == nullptr) return err::kEmptyInput;
  CertInfoRecord filled;
  for (int type = kInfoSubject; type <= kInfoSerialNumber; ++type) {
    uint32_t length = 0;
    ErrorNumber result = GetCertInfoString(certificate, type, nullptr, &length);
    if (result == err::kOk) {
      try {
        std::vector<char16_t> text(std::size_t{length} + 1, 0);
        result = GetCertInfoString(certificate, type, text.data(), &length);
        // Name lengths count the terminating zero; the text stops at it.
        if (result == err::kOk) filled[static_cast<std::size_t>(type - 1)] = text.data();
      } catch (const std::bad_alloc&) {
        result = err::kNoMemory;
      }
    }
    if (result != err::kOk) {
      for (std::u16string& text : *record) text.clear();
      return result;
    }
  }
  *record = std::move(filled);
  return err::kOk;
}

}  // namespace quorvel::certs
