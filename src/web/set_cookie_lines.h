#pragma once

#include <vector>

#include "text/text.h"

namespace web {

struct ReceivedCookie {
  text::Text name;
  text::Text data;  // the value with its attributes, "abc; path=/"
};

struct SetCookieLines {
  text::Text cookieText;                // "name=value;" per line, in header order
  std::vector<ReceivedCookie> cookies;  // one per line, for the cookie store
};

// Reads every line of rawHeaders (lines end at LF, a CR before it is dropped)
// that holds "Set-Cookie: " in any case: the 12 bytes in front are dropped,
// the part before the first ";" (empty without one) joins the cookie text,
// and name and data split at the first "=". Empty when no line sets a cookie.
SetCookieLines ReadSetCookieLines(const text::Text& rawHeaders);

}  // namespace web
