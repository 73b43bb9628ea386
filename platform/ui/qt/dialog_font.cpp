#include "platform/ui/qt/dialog_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace quorvel::platform::qt {

QFont DialogFont() {
  // Families in order of preference; Qt falls back along the list for every
  // character the first one lacks.
  static const QStringList kPreferred = {
      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
      QStringLiteral("Source Han Sans SC"),  QStringLiteral("WenQuanYi Zen Hei"),
      QStringLiteral("Droid Sans Fallback"), QStringLiteral("AR PL UMing CN")};
  QStringList families;
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : kPreferred) {
    if (installed.contains(family, Qt::CaseInsensitive)) families << family;
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (!families.isEmpty()) font.setFamilies(families);
  font.setPointSize(8);  // the size of the original dialog font
  return font;
}

}  // namespace quorvel::platform::qt
