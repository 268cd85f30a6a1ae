// The request worker's reading of Set-Cookie lines on any header text: one
// cookie-text item per cookie, each item free of ";" and each name free of a
// "=" character (an "=" may still be the trail byte of a double-byte one).
#include <cstdlib>

#include "fuzz_input.h"
#include "web/set_cookie_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const web::SetCookieLines lines = web::ReadSetCookieLines(fuzz::AsText(in.rest()));
  // Count ";" characters, stepping over double-byte ones as the program does.
  size_t items = 0;
  for (int at = text::find(lines.cookieText, ";"); at != text::kNotFound;
       at = text::find(lines.cookieText, ";", at + 1)) {
    ++items;
  }
  if (items != lines.cookies.size()) std::abort();
  for (const web::ReceivedCookie& cookie : lines.cookies) {
    if (text::find(cookie.name, "=") != text::kNotFound) std::abort();
  }
  return 0;
}
