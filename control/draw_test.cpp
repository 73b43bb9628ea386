// The control's face rendered by the Qt painter into an image, kept as a PNG
// in a temporary folder of its own, and its placement read back from the
// pixels.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "control/control.h"
#include "platform/ui/qt/qt_painter.h"
#include "tests/temporary_folder.h"

namespace quorvel::control {
namespace {

bool Dark(const QImage& image, int x, int y) {
  return qGray(image.pixel(x, y)) < 128;
}

TEST(DrawTest, TheGreetingIsCentredWithItsBaselineOnTheMiddle) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "draw_test";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);

  constexpr int kWidth = 480;
  constexpr int kHeight = 120;
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(20);
    painter.setFont(font);
    platform::qt::QtPainter surface(painter);
    CDrennicQuorvel().Draw(surface, {0, 0, kWidth, kHeight});
  }
  const quorvel::testing::TemporaryFolder folder("quorvel-draw");
  ASSERT_FALSE(folder.path().empty());
  const std::string saved = (folder.path() / "draw_test.png").string();
  ASSERT_TRUE(image.save(QString::fromStdString(saved)));
  SCOPED_TRACE("the image: " + saved);

  // The outline: every pixel of the border is drawn.
  for (int x = 0; x < kWidth; ++x) {
    ASSERT_TRUE(Dark(image, x, 0) && Dark(image, x, kHeight - 1)) << x;
  }
  for (int y = 0; y < kHeight; ++y) {
    ASSERT_TRUE(Dark(image, 0, y) && Dark(image, kWidth - 1, y)) << y;
  }

  // The text, inside the border.
  int left = kWidth, right = -1, top = kHeight, total = 0, belowBaseline = 0, justAbove = 0;
  const int baseline = kHeight / 2;
  for (int y = 2; y < kHeight - 2; ++y) {
    for (int x = 2; x < kWidth - 2; ++x) {
      if (!Dark(image, x, y)) continue;
      ++total;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      if (y > baseline + 1) ++belowBaseline;
      if (y >= baseline - 3 && y <= baseline) ++justAbove;
    }
  }
  ASSERT_GT(total, 200) << "no text was drawn";
  EXPECT_NEAR((left + right) / 2.0, kWidth / 2.0, 3.0);
  // Glyphs stand on the baseline: almost nothing below it (the tail of the
  // Q), much just above it, and the tops well above it.
  EXPECT_LT(belowBaseline, total / 20);
  EXPECT_GT(justAbove, total / 10);
  EXPECT_LT(top, baseline - 8);
}

}  // namespace
}  // namespace quorvel::control
