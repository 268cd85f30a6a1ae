#include "web/set_cookie_lines.h"

#include "text/extract.h"

namespace web {

SetCookieLines ReadSetCookieLines(const text::Text& rawHeaders) {
  SetCookieLines result;
  if (text::find(rawHeaders, "Set-Cookie: ", 1, true) <= 0) return result;
  size_t start = 0;
  while (start < rawHeaders.size()) {
    size_t end = rawHeaders.find('\n', start);
    if (end == text::Text::npos) end = rawHeaders.size();
    text::Text line = rawHeaders.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r' && end < rawHeaders.size()) line.pop_back();
    if (text::find(line, "Set-Cookie: ", 1, true) <= 0) continue;
    line = text::removeRange(line, 1, 12);
    result.cookieText += text::TextBefore(line, ";") + ";";
    const int eq = text::find(line, "=", 1, true);
    result.cookies.push_back(
        {text::left(line, eq - 1), text::right(line, text::length(line) - eq)});
  }
  return result;
}

}  // namespace web
