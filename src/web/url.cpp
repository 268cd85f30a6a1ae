#include "web/url.h"

#include <cmath>
#include <limits>

namespace web {

text::Text UrlHost(const text::Text& url) {
  text::Text host = text::replaceAll(url, "https://");
  host = text::replaceAll(host, "http://");
  const int slash = text::find(host, "/");
  if (slash > 0) host = text::left(host, slash - 1);
  const int colon = text::find(host, ":");
  if (colon > 0) host = text::left(host, colon - 1);
  return text::toLower(host);
}

text::Text UrlPath(const text::Text& url) {
  const int hostAt = text::find(url, UrlHost(url), 1, true);
  const int slash = text::find(url, "/", hostAt, true);
  if (slash <= 0) return "/";
  return text::right(url, text::length(url) - slash + 1);
}

int UrlPort(const text::Text& url) {
  text::Text authority;
  if (text::compare(text::left(url, 7), "http://", false) == 0) {
    const int slash = text::find(url, "/", 8, true);
    authority = slash <= 0 ? text::right(url, text::length(url) - 7) : text::mid(url, 8, slash - 8);
  } else {
    const int slash = text::find(url, "/", 1, true);
    authority = slash <= 0 ? url : text::left(url, slash - 1);
  }
  const int colon = text::find(authority, ":", 1, true);
  const text::Text portText =
      colon <= 0 ? text::Text("80") : text::right(authority, text::length(authority) - colon);
  const double port = std::trunc(text::toNumber(portText));
  // Out of range the x86 conversion yields the "integer indefinite" value.
  if (!(port >= std::numeric_limits<int>::min() && port <= std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(port);
}

}  // namespace web
