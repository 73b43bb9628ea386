// The UI services' texts (UTF-16) as the Qt widgets take them.
#pragma once

#include <QString>
#include <string_view>

namespace quorvel::platform::qt {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace quorvel::platform::qt
