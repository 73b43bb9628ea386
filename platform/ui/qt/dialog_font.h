// The font of the control's Qt dialogs: the dialog font of the original
// template where installed, else fonts that cover Chinese, so names in Chinese
// are drawn with real glyphs.
#pragma once

#include <QFont>

namespace quorvel::platform::qt {

QFont DialogFont();

}  // namespace quorvel::platform::qt
