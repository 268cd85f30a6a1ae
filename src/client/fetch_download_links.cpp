#include "client/app_state.h"
#include "client/handlers.h"
#include "client/result_page.h"
#include "client/service.h"
#include "platform/window.h"
#include "text/codepage.h"
#include "web/web_access.h"

namespace client {

void FetchDownloadLinks() {
  static const text::Text kRejected = text::Utf8ToGbk("验证码错误!");
  static const text::Text kNoLinks = text::Utf8ToGbk("城通抽了,请重试!");

  const text::Text address = platform::ControlText("编辑框2");
  const text::Text headers = "Referer: " + address + "\r\n";
  // The captcha goes out exactly as typed: the service expects the raw form.
  const text::Bytes body = text::toBytes("file_id=" + FileIdFromAddress(address) +
                                         "&randcode=" + platform::ControlText("编辑框1") +
                                         "&Comfirm.x=167&Comfirm.y=23");

  text::Text url = "http://" + ServiceHost() + "/guest_loginV2.php";
  web::WebAccessOptions options;
  options.method = 1;
  options.headers = headers;
  options.postData = body;
  options.allowRedirect = true;
  const text::Bytes response = web::WebAccess(url, options);

  State().pageText = text::Utf8ToGbk(text::toText(response));
  const ResultPage page = ParseResultPage(State().pageText);
  if (page.rejected) {
    platform::ShowMessage(kRejected);
    FetchCaptcha();
    return;
  }
  // Stored even when empty, so the copy buttons copy what this page gave.
  State().thunderLink = page.thunderLink;
  State().telecomLink = page.telecomLink;
  State().unicomLink = page.unicomLink;
  if (page.found) {
    platform::SetControlText("编辑框3", page.display);
  } else {
    platform::ShowMessage(kNoLinks);
  }
}

}  // namespace client
