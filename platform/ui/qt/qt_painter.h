// The painter interface on a QPainter (a widget, an image, a printer).
#pragma once

#include <QPainter>

#include "platform/ui/painter.h"

namespace quorvel::platform::qt {

class QtPainter : public Painter {
 public:
  explicit QtPainter(QPainter& painter) : painter_(painter) {}
  void OutlineRectangle(const Rect& bounds) override;
  void TextCentredOnBaseline(int x, int baseline, std::u16string_view text) override;

 private:
  QPainter& painter_;
};

}  // namespace quorvel::platform::qt
