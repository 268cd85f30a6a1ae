#include "client/app_state.h"
#include "client/handlers.h"
#include "client/service.h"
#include "platform/window.h"
#include "text/codepage.h"
#include "web/web_access.h"

namespace client {

void FetchCaptcha() {
  static const text::Text kNoAddress = text::Utf8ToGbk("请输入地址!");
  // The engine only has to provide a random fraction for the cache-busting token.
  static const text::Text kRandomScript = "function a(){\r\n    return Math.random();\r\n}";

  const text::Text address = platform::ControlText("编辑框2");
  if (address.empty()) {  // deliberately not trimmed: an address of spaces is sent
    platform::ShowMessage(kNoAddress);
    return;
  }
  platform::AddScriptCode("脚本组件1", kRandomScript);
  State().captchaPictureId = platform::CreatePictureObject("动画框1", "动画物体1", 0, 0, true);
  const text::Text fileId = FileIdFromAddress(address);
  const text::Text token = platform::RunScriptFunction("脚本组件1", "a");

  text::Text url = "http://" + ServiceHost() + "/randcodeV2.php?fid=" + fileId + "&rand=" + token;
  web::WebAccessOptions options;
  options.method = 0;
  options.headers = "Referer: " + address + "\r\n";
  const text::Bytes picture = web::WebAccess(url, options);
  // Whatever came back goes to the picture box; bytes that are no picture
  // leave the new object undrawn and the earlier captcha visible.
  platform::SetObjectPicture("动画框1", State().captchaPictureId, picture);
}

}  // namespace client
