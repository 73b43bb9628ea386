#include "platform/ui/qt/qt_painter.h"

#include <QFontMetrics>
#include <QString>

namespace quorvel::platform::qt {

void QtPainter::OutlineRectangle(const Rect& bounds) {
  // A stroked rectangle covers its size plus the pen's width: one pixel less
  // each way keeps the outline on the bounds' last row and column.
  painter_.drawRect(bounds.left, bounds.top, bounds.right - bounds.left - 1,
                    bounds.bottom - bounds.top - 1);
}

void QtPainter::TextCentredOnBaseline(int x, int baseline, std::u16string_view text) {
  const QString line = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  const int width = QFontMetrics(painter_.font()).horizontalAdvance(line);
  painter_.drawText(QPoint(x - width / 2, baseline), line);
}

}  // namespace quorvel::platform::qt
