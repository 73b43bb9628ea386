#include "control/control.h"

namespace quorvel::control {

namespace {
constexpr std::u16string_view kGreeting = u"Welcome to Vemlor DrennicQuorvel";
}  // namespace

void CDrennicQuorvel::Draw(platform::Painter& painter, const platform::Rect& bounds) const {
  painter.OutlineRectangle(bounds);
  painter.TextCentredOnBaseline((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2,
                                kGreeting);
}

}  // namespace quorvel::control
