// The surface a control draws itself on when its host asks it to: a small
// interface so that the control knows nothing of the toolkit that renders it.
#pragma once

#include <string_view>

namespace quorvel::platform {

// Device coordinates; right and bottom are exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class Painter {
 public:
  virtual ~Painter() = default;
  // Outlines `bounds` with the current pen.
  virtual void OutlineRectangle(const Rect& bounds) = 0;
  // Writes `text` centred horizontally on `x`, its baseline on `baseline`.
  virtual void TextCentredOnBaseline(int x, int baseline, std::u16string_view text) = 0;
};

}  // namespace quorvel::platform
