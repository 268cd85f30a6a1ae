#pragma once
// The program's one way to talk HTTP: a blocking call for the window's thread
// that runs the exchange on a worker thread and keeps the window alive while
// it waits.

#include <optional>

#include "text/text.h"

namespace web {

// Every member has an initializer so designated initializers may leave any out.
struct WebAccessOptions {
  std::optional<int> method{};          // 1 = POST, anything else GET
  std::optional<text::Text> proxy{};    // "host:port" of an HTTP proxy
  std::optional<text::Text> headers{};  // extra header lines, each ending in "\r\n"
  std::optional<text::Bytes> postData{};
  std::optional<text::Text> cookies{};  // sent as the Cookie header
  std::optional<int> timeoutSeconds{};  // absent: 60
  text::Text* responseHeadersOut = nullptr;
  std::optional<int> encoding{};  // 1 = body is UTF-8, 2 = Big5, else raw
  text::Text* cookiesOut = nullptr;
  std::optional<bool> allowRedirect{};  // absent: allowed
};

// The text returned as the body when a call runs out of time.
const text::Text& TimeoutText();

// Performs one request and returns its body (converted to GBK when encoding
// asks). url receives "http://" in front when it starts with neither
// "http://" nor "https://". An empty or all-space url returns empty bytes at
// once; a call that outlasts its limit returns TimeoutText() and leaves the
// outputs untouched.
text::Bytes WebAccess(text::Text& url, const WebAccessOptions& options = {});

// Cancels every worker still running and waits for each to end. Called on the
// program's exit path; later calls of WebAccess work as before.
void CancelAndJoinWorkers();

}  // namespace web
