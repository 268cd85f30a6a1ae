#pragma once
// Reading the page that the service returns for the guest download request.

#include "text/text.h"

namespace client {

struct ResultPage {
  bool rejected = false;   // the page says the captcha was wrong
  text::Text thunderLink;  // the 迅雷 link as the page carries it
  text::Text telecomLink;  // the 电信 link, decoded
  text::Text unicomLink;   // the 联通 link, decoded; empty when the page has none
  text::Text display;      // the three links as shown in the result box
  bool found = false;      // the 电信 link is not empty
};

// Recognises the captcha-rejected page (then nothing else is filled in), or
// takes the three links out of the page and builds the display text.
ResultPage ParseResultPage(const text::Text& page);

}  // namespace client
