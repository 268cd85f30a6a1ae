#include "client/result_page.h"

#include "text/base64.h"
#include "text/codepage.h"
#include "text/extract.h"

namespace client {

namespace {

// The service's markers, in GBK.
struct Markers {
  text::Text rejection = text::Utf8ToGbk("验证码输入错误，请返回页面重新输入");
  text::Text thunderLeft = "thunderHref=\"";
  text::Text thunderRight = "\">";
  text::Text telecomLeft = "</div><a class=\"telecom\" href=\"";
  text::Text telecomRight = "\" id=\"telcom_free\">";
  // The left marker ends with "a", the first letter of every encoded link
  // that begins with "http" (aHR0); it is put back before decoding.
  text::Text unicomLeft = "<a href=\"a";
  text::Text unicomRight =
      text::Utf8ToGbk("\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>");
  text::Text thunderLabel = text::Utf8ToGbk("迅雷:\r\n");
  text::Text telecomLabel = text::Utf8ToGbk("\r\n电信:\r\n");
  text::Text unicomLabel = text::Utf8ToGbk("\r\n联通:\r\n");
};

const Markers& markers() {
  static const Markers m;
  return m;
}

}  // namespace

ResultPage ParseResultPage(const text::Text& page) {
  const Markers& m = markers();
  ResultPage r;
  r.rejected = text::find(page, m.rejection) != text::kNotFound;
  if (r.rejected) return r;

  r.thunderLink = text::MiddleText(page, m.thunderLeft, m.thunderRight);
  r.telecomLink =
      text::toText(text::Base64Decode(text::MiddleText(page, m.telecomLeft, m.telecomRight)));
  const text::Text unicomRest = text::MiddleText(page, m.unicomLeft, m.unicomRight);
  // Without the anchor there is no link: decoding the lone "a" would give "h".
  if (!unicomRest.empty()) r.unicomLink = text::toText(text::Base64Decode("a" + unicomRest));

  r.display = m.thunderLabel + r.thunderLink + m.telecomLabel + r.telecomLink + m.unicomLabel +
              r.unicomLink;
  r.found = !r.telecomLink.empty();
  return r;
}

}  // namespace client
