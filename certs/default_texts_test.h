// Test support: the chooser texts a control object starts with.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::certs::testing {

inline platform::ChooserTexts DefaultTexts() {
  return {u"请选择您要用的证书",
          u"请在列表中选择证书",
          u"主题",
          u"颁发者",
          u"截止日期",
          u"确定",
          u"取消",
          u"查看",
          u"Quorvel 2.0 signing control."};
}

}  // namespace quorvel::certs::testing
