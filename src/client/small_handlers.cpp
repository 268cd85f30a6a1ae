#include "client/app_state.h"
#include "client/handlers.h"
#include "client/service.h"
#include "platform/window.h"
#include "text/codepage.h"

namespace client {

void CopyThunderLink() {
  platform::SetClipboardText(State().thunderLink);
}
void CopyTelecomLink() {
  platform::SetClipboardText(State().telecomLink);
}
void CopyUnicomLink() {
  platform::SetClipboardText(State().unicomLink);
}

void CopyAddressFormat() {
  platform::SetClipboardText(FilePagePrefix());
}

void ShowAbout() {
  static const text::Text kAbout = text::Utf8ToGbk(
      "鲸舟工作室 林海舟 制作，免费使用\r\n意见与问题请发邮件至 jingzhou.studio@163.com");
  platform::ShowMessage(kAbout);
}

}  // namespace client
