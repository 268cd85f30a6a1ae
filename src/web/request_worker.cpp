#include "web/request_worker.h"

#include <array>

#include "text/codepage.h"
#include "text/extract.h"
#include "web/http.h"
#include "web/set_cookie_lines.h"
#include "web/url.h"

namespace web {
namespace {

// Bytes read from the body per call.
constexpr size_t kReadChunk = 2048;
// What the raw header text holds when no response came to fill it.
constexpr int kUnfilledHeaderBytes = 2048;

const text::Text& TrueText() {
  static const text::Text value = text::Utf8ToGbk("真");
  return value;
}

constexpr const char* kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";
constexpr const char* kDefaultAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";

bool Contains(const text::Text& block, const text::Text& word) {
  return text::find(block, word, 1, true) != text::kNotFound;
}

// The header block with the program's defaults added where the caller gave none.
text::Text CompleteHeaders(text::Text headers, const text::Text& url) {
  if (!Contains(headers, "Accept")) headers += kDefaultAccept;
  if (Contains(headers, "RefererNo")) {
    // Only the marker in exactly this case is taken out; its line end stays.
    const int at = text::find(headers, "RefererNo");
    if (at > 0) headers = text::removeRange(headers, at, 9);
  } else if (!Contains(headers, "Referer")) {
    headers += "Referer: " + url + "\r\n";
  }
  if (!Contains(headers, "Accept-Language")) headers += "Accept-Language: zh-cn\r\n";
  return headers;
}

// Collects the cookie text and puts each cookie, attributes and all, into
// the cookie store for host.
text::Text CollectCookies(const text::Text& rawHeaders, const text::Text& host) {
  SetCookieLines lines = ReadSetCookieLines(rawHeaders);
  for (const ReceivedCookie& cookie : lines.cookies) {
    http::StoreCookie("http://" + host, cookie.name, cookie.data);
  }
  return lines.cookieText;
}

void FailureEnding(RecordBuffer& buffer, RequestRecord& record) {
  record.slots[0] = {};
  record.slots[6] = {};
  WriteRecord(buffer, record);
}

}  // namespace

void RequestWorker(RecordBuffer& buffer, const std::atomic<bool>& cancel) {
  const auto slots = ReadRecord(buffer);
  if (!slots) return;
  RequestRecord record;
  for (size_t i = 0; i < record.slots.size() && i < slots->size(); ++i) {
    record.slots[i] = (*slots)[i];
  }
  const text::Text url = text::toText(record.slots[0]);
  const text::Text method = text::toText(record.slots[1]);
  const text::Text proxy = text::toText(record.slots[2]);
  text::Text headers = text::toText(record.slots[3]);
  const text::Bytes postData = record.slots[4];
  const text::Text cookies = text::toText(record.slots[5]);
  const bool allowRedirect = text::toText(record.slots[6]) == TrueText();

  const bool secure = text::find(text::toLower(url), "https://") > 0;
  const text::Text host = UrlHost(url);
  const text::Text path = UrlPath(url);

  const text::Text agent = Contains(headers, "User-Agent:")
                               ? text::trim(text::MiddleText(headers, "User-Agent:", "\r\n"))
                               : text::Text(kDefaultAgent);
  const http::Session session =
      http::OpenSession(agent, proxy.empty() ? "" : "http=" + proxy, cancel);

  const int port = secure ? 443 : UrlPort(url);
  const auto connection = http::Connect(session, host, port);
  if (!connection) return FailureEnding(buffer, record);

  unsigned flags = 0;
  if (!text::trim(cookies).empty()) flags |= http::kNoCookies;
  if (!allowRedirect) flags |= http::kNoAutoRedirect;
  // A secure request takes the secure flag alone, dropping the two above.
  if (secure) flags = http::kSecure;
  auto request = http::OpenRequest(*connection, method, path, flags);
  if (!request) return FailureEnding(buffer, record);

  headers = CompleteHeaders(headers, url);
  const text::Text cookieLine = cookies.empty() ? "" : "Cookie: " + cookies + "\r\n\r\n";
  if (method == "GET") {
    http::SendRequest(*request, headers + cookieLine, {});
  } else if (method == "POST") {
    if (!postData.data.empty()) {
      if (!Contains(headers, "Content-Type")) {
        headers += "Content-Type: application/x-www-form-urlencoded\r\n";
      }
      if (!Contains(headers, "Content-Length")) {
        headers += "Content-Length: " + text::toText(text::length(postData)) + "\r\n";
      }
    }
    http::SendRequest(*request, headers + cookieLine, postData.data);
  }

  record.slots[0] = {};
  std::array<char, kReadChunk> chunk;
  while (true) {
    chunk.fill(0);
    const size_t n = http::ReadBody(*request, chunk.data(), chunk.size());
    if (n == 0) break;
    record.slots[0].data.append(chunk.data(), n);
  }

  // The header text ends at a NUL byte, as a C string would.
  const text::Text rawHeaders = text::toText(
      text::Bytes{http::QueryRawHeaders(*request).value_or(text::blankText(kUnfilledHeaderBytes))});
  record.slots[5] = text::toBytes(rawHeaders);
  record.slots[1] = text::toBytes(CollectCookies(rawHeaders, host));
  WriteRecord(buffer, record);
}

}  // namespace web
