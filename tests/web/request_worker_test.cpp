#include "web/request_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "support/child_process.h"
#include "support/loopback_server.h"
#include "web/http.h"

namespace {

using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

const std::string kAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";
const std::string kAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
const std::string kSpaces(2048, ' ');

struct Input {
  std::string url{};
  std::string method = "GET";
  std::string proxy{};
  std::string headers{};
  std::string postData{};
  std::string cookies{};
  bool allowRedirect = true;
};

// Runs the worker on a record built from input and returns the slots it wrote.
std::vector<text::Bytes> Work(const Input& in, const std::atomic<bool>* cancel = nullptr) {
  static const std::atomic<bool> never{false};
  web::RequestRecord record;
  record.slots = {text::Bytes{in.url},
                  text::Bytes{in.method},
                  text::Bytes{in.proxy},
                  text::Bytes{in.headers},
                  text::Bytes{in.postData},
                  text::Bytes{in.cookies},
                  text::toBytes(text::toText(in.allowRedirect))};
  web::RecordBuffer buffer;
  web::WriteRecord(buffer, record);
  web::RequestWorker(buffer, cancel ? *cancel : never);
  auto slots = web::ReadRecord(buffer);
  return slots ? *slots : std::vector<text::Bytes>{};
}

class Worker : public testing::Test {
 protected:
  void SetUp() override {
    web::http::GlobalInit();
    web::http::ClearCookiesForTests();
  }
};

std::string Replace(std::string s, const std::string& what, const std::string& with) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size())) {
    s.replace(at, what.size(), with);
  }
  return s;
}

// The items of the Cookie line in a header block.
std::set<std::string> SentCookies(const std::string& headerBlock) {
  std::set<std::string> items;
  const size_t at = headerBlock.find("\r\nCookie: ");
  if (at == std::string::npos) return items;
  const size_t start = at + 10;
  std::string line = headerBlock.substr(start, headerBlock.find("\r\n", start) - start);
  for (size_t pos = 0; pos <= line.size();) {
    size_t end = line.find("; ", pos);
    if (end == std::string::npos) end = line.size();
    items.insert(line.substr(pos, end - pos));
    pos = end + 2;
  }
  return items;
}

// The exact header lines each kind of request puts on the wire.
TEST_F(Worker, RequestHeaderLines) {
  const std::string start = "Host: {host}\r\nUser-Agent: " + kAgent + "\r\n";
  const struct {
    const char* name;
    Input in;
    std::string expected;  // {host} and {url} stand for the server's
  } rows[] = {
      {"GET gets Accept, Referer and Accept-Language",
       {},
       start + kAccept + "Referer: {url}\r\nAccept-Language: zh-cn\r\n"},
      {"Accept-Language alone suppresses Accept too",
       {.headers = "Accept-Language: en\r\n"},
       start + "Accept-Language: en\r\nReferer: {url}\r\n"},
      {"RefererNo marker is removed and no Referer added",
       {.headers = "RefererNo\r\n"},
       start + kAccept + "Accept-Language: zh-cn\r\n"},
      {"marker in another case also suppresses Referer",
       {.headers = "X-A: 1\r\nrefererno\r\n"},
       start + "X-A: 1\r\n" + kAccept + "Accept-Language: zh-cn\r\n"},
      {"own Referer kept",
       {.headers = "Referer: http://r/\r\n"},
       start + "Referer: http://r/\r\n" + kAccept + "Accept-Language: zh-cn\r\n"},
      {"User-Agent line replaces the default agent",
       {.headers = "User-Agent: Test Agent\r\n"},
       "Host: {host}\r\nUser-Agent: Test Agent\r\n" + kAccept +
           "Referer: {url}\r\nAccept-Language: zh-cn\r\n"},
      {"cookie text goes last as a Cookie line",
       {.cookies = "a=1; b=2"},
       start + kAccept + "Referer: {url}\r\nAccept-Language: zh-cn\r\nCookie: a=1; b=2\r\n"},
      {"POST with data gets type and length",
       {.method = "POST", .postData = "x=1&y=2"},
       start + kAccept +
           "Referer: {url}\r\nAccept-Language: zh-cn\r\nContent-Type: "
           "application/x-www-form-urlencoded\r\nContent-Length: 7\r\n"},
      {"POST keeps its own type and adds a cookie",
       {.method = "POST",
        .headers = "Content-Type: text/plain\r\n",
        .postData = "abc",
        .cookies = "c=3"},
       start + "Content-Type: text/plain\r\n" + kAccept +
           "Referer: {url}\r\nAccept-Language: zh-cn\r\nContent-Length: 3\r\nCookie: c=3\r\n"},
      {"POST without data adds neither type nor length",
       {.method = "POST"},
       start + kAccept + "Referer: {url}\r\nAccept-Language: zh-cn\r\nContent-Length: 0\r\n"},
  };
  LoopbackServer server([](const ReceivedRequest&) { return Reply{HttpReply(200, {}, "ok")}; });
  const std::string url = server.url("/p?q=1");
  for (const auto& row : rows) {
    Input in = row.in;
    in.url = url;
    const auto slots = Work(in);
    ASSERT_EQ(slots.size(), 7u) << row.name;
    EXPECT_EQ(slots[0].data, "ok") << row.name;
  }
  const auto received = server.requests();
  ASSERT_EQ(received.size(), std::size(rows));
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(received[i].raw.substr(0, received[i].raw.find("\r\n")),
              rows[i].in.method + " /p?q=1 HTTP/1.1")
        << rows[i].name;
    EXPECT_EQ(received[i].headerBlock,
              Replace(Replace(rows[i].expected, "{host}", host), "{url}", url))
        << rows[i].name;
    EXPECT_EQ(received[i].body, rows[i].in.postData) << rows[i].name;
  }
}

TEST_F(Worker, ResponseHeadersAndCookieText) {
  const std::string headers =
      "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/\r\nSet-Cookie: uid=7\r\n"
      "Content-Length: 4\r\nConnection: close\r\n\r\n";
  LoopbackServer server([&](const ReceivedRequest& r) {
    return Reply{r.target == "/set" ? headers + "body" : HttpReply(200, {}, "next")};
  });
  // A cookie text of our own keeps the library's store out of the exchange,
  // so the later request shows what the worker stored by hand.
  const auto slots = Work({.url = server.url("/set"), .cookies = "own=1"});
  ASSERT_EQ(slots.size(), 7u);
  EXPECT_EQ(slots[0].data, "body");
  EXPECT_EQ(slots[5].data, headers);
  // The line without ";" contributes an empty item.
  EXPECT_EQ(slots[1].data, "sid=abc;;");
  EXPECT_EQ(slots[2].data, "");
  EXPECT_EQ(slots[6], text::toBytes(text::toText(true)));

  Work({.url = server.url("/later")});
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(SentCookies(received[1].headerBlock), (std::set<std::string>{"sid=abc", "uid=7"}));
}

TEST_F(Worker, CookiesCarryOverUnlessCookieTextGiven) {
  LoopbackServer server([](const ReceivedRequest& r) {
    if (r.target == "/captcha") return Reply{HttpReply(200, {"Set-Cookie: s=1; path=/"}, "png")};
    return Reply{HttpReply(200, {}, "page")};
  });
  Work({.url = server.url("/captcha")});
  Work({.url = server.url("/download"), .method = "POST", .postData = "a=1"});
  Work({.url = server.url("/download"), .cookies = "mine=2"});
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_NE(received[1].headerBlock.find("Cookie: s=1\r\n"), std::string::npos);
  EXPECT_EQ(received[2].headerBlock.find("s=1"), std::string::npos);
  EXPECT_NE(received[2].headerBlock.find("Cookie: mine=2\r\n"), std::string::npos);
}

TEST_F(Worker, RedirectPermission) {
  LoopbackServer server([](const ReceivedRequest& r) {
    if (r.target == "/old") return Reply{HttpReply(302, {"Location: /new"}, "moved")};
    return Reply{HttpReply(200, {}, "arrived")};
  });
  const auto followed = Work({.url = server.url("/old"), .allowRedirect = true});
  const auto held = Work({.url = server.url("/old"), .allowRedirect = false});
  ASSERT_EQ(followed.size(), 7u);
  ASSERT_EQ(held.size(), 7u);
  EXPECT_EQ(followed[0].data, "arrived");
  EXPECT_EQ(followed[5].data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(held[0].data, "moved");
  EXPECT_EQ(held[5].data.rfind("HTTP/1.1 302 Found\r\nLocation: /new\r\n", 0), 0u);
  EXPECT_EQ(server.requests().size(), 3u);
}

// A request that cannot be opened empties slots 1 and 7 and keeps the rest.
TEST_F(Worker, FailureEnding) {
  const struct {
    const char* why;
    std::string url;
  } rows[] = {
      {"no host", "http:///x"},
      {"host no URL can carry", "http://a b/x"},
      {"line end in the path", "http://127.0.0.1:1/a\r\nX-Injected: 1"},
  };
  for (const auto& row : rows) {
    const Input in{.url = row.url,
                   .method = "POST",
                   .proxy = "p:1",
                   .headers = "H: 1\r\n",
                   .postData = "d",
                   .cookies = "c=1"};
    const auto slots = Work(in);
    ASSERT_EQ(slots.size(), 7u) << row.why;
    EXPECT_EQ(slots[0].data, "") << row.why;
    EXPECT_EQ(slots[1].data, "POST") << row.why;
    EXPECT_EQ(slots[2].data, "p:1") << row.why;
    EXPECT_EQ(slots[3].data, "H: 1\r\n") << row.why;
    EXPECT_EQ(slots[4].data, "d") << row.why;
    EXPECT_EQ(slots[5].data, "c=1") << row.why;
    EXPECT_EQ(slots[6].data, "") << row.why;
  }
}

TEST_F(Worker, UnreadableBufferIsLeftAlone) {
  web::RecordBuffer buffer{"not a record"};
  web::RequestWorker(buffer, std::atomic<bool>{false});
  EXPECT_EQ(buffer.bytes, "not a record");
}

TEST_F(Worker, NoServerGivesEmptyBodyAndUnfilledHeaders) {
  std::optional<LoopbackServer> gone(std::in_place, [](const ReceivedRequest&) { return Reply{}; });
  const std::string url = gone->url("/");
  gone.reset();
  const auto slots = Work({.url = url});
  ASSERT_EQ(slots.size(), 7u);
  EXPECT_EQ(slots[0].data, "");
  EXPECT_EQ(slots[1].data, "");
  EXPECT_EQ(slots[5].data, kSpaces);
}

// Misbehaving servers: each exchange ends with what it got so far.
TEST_F(Worker, HostileServers) {
  const auto filler = [](size_t bytes) {
    std::string lines;
    for (int i = 0; lines.size() < bytes; ++i) {
      lines += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
    }
    return lines;
  };
  const std::string bigHeaders = filler(250 * 1024);
  const std::string manyCookies = [] {
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += "Set-Cookie: c" + std::to_string(i) + "=v; path=/\r\n";
    return lines;
  }();
  const std::string manyCookieText = [] {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "c" + std::to_string(i) + "=v;";
    return text;
  }();
  const struct {
    const char* name;
    Reply reply;
    std::string body;
    std::string headersStart;  // empty: none arrived, the 2048 spaces stay
    std::string cookieText;
  } rows[] = {
      {"status line missing: not HTTP at all", {"hello\r\nA: 1\r\n\r\nbody"}, "", "", ""},
      {"header line without colon ends the exchange after the status line",
       {"HTTP/1.1 200 OK\r\nNo colon here\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi"},
       "",
       "HTTP/1.1 200 OK\r\n\r\n",
       ""},
      {"header block of 250 KiB is read whole, cookie and all",
       {"HTTP/1.1 200 OK\r\n" + bigHeaders +
        "Set-Cookie: late=1; path=/\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi"},
       "hi",
       "HTTP/1.1 200 OK\r\n" + bigHeaders + "Set-Cookie: late=1; path=/\r\n",
       "late=1;"},
      // libcurl refuses response headers beyond 300 KiB.
      {"header block of 400 KiB ends the exchange with the headers so far",
       {"HTTP/1.1 200 OK\r\n" + filler(400 * 1024) +
        "Set-Cookie: late=1; path=/\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi"},
       "",
       "HTTP/1.1 200 OK\r\nX-Filler-0: ",
       ""},
      {"thousands of Set-Cookie lines are all collected",
       {"HTTP/1.1 200 OK\r\n" + manyCookies + "Content-Length: 2\r\nConnection: close\r\n\r\nhi"},
       "hi",
       "HTTP/1.1 200 OK\r\n" + manyCookies,
       manyCookieText},
      {"body cut short keeps the part that came",
       {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nonly this"},
       "only this",
       "HTTP/1.1 200 OK\r\n",
       ""},
      {"invalid chunked encoding keeps the chunks before it",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
        "5\r\nhello\r\nZZ\r\nworld\r\n"},
       "hello",
       "HTTP/1.1 200 OK\r\n",
       ""},
      {"redirect loop ends on the last redirect",
       {HttpReply(302, {"Location: /loop"}, "again")},
       "again",
       "HTTP/1.1 302 Found\r\n",
       ""},
  };
  for (const auto& row : rows) {
    LoopbackServer server([&](const ReceivedRequest&) { return row.reply; });
    const auto slots = Work({.url = server.url("/loop")});
    ASSERT_EQ(slots.size(), 7u) << row.name;
    EXPECT_EQ(slots[0].data, row.body) << row.name;
    if (row.headersStart.empty()) {
      EXPECT_EQ(slots[5].data, kSpaces) << row.name;
    } else {
      EXPECT_EQ(slots[5].data.rfind(row.headersStart, 0), 0u) << row.name;
      EXPECT_EQ(slots[5].data.substr(slots[5].data.size() - 4), "\r\n\r\n") << row.name;
    }
    EXPECT_EQ(slots[1].data, row.cookieText) << row.name;
  }
}

TEST_F(Worker, ConnectionResetKeepsWhatCame) {
  Reply reset{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial"};
  reset.reset = true;
  LoopbackServer server([&](const ReceivedRequest&) { return reset; });
  const auto slots = Work({.url = server.url("/")});
  ASSERT_EQ(slots.size(), 7u);
  // The reset may overtake bytes not yet read; what came is a prefix.
  EXPECT_EQ(std::string("partial").rfind(slots[0].data, 0), 0u) << slots[0].data;
}

TEST_F(Worker, CancelEndsAnExchangeTheServerNeverAnswers) {
  Reply silent;
  silent.neverAnswer = true;
  LoopbackServer server([&](const ReceivedRequest&) { return silent; });
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    while (server.requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    cancel = true;
  });
  const auto slots = Work({.url = server.url("/")}, &cancel);
  canceller.join();
  ASSERT_EQ(slots.size(), 7u);
  EXPECT_EQ(slots[0].data, "");
  EXPECT_EQ(slots[5].data, kSpaces);
}

// A real HTTP proxy on loopback carries the request to the server.
TEST(WorkerProxy, PlainHttpGoesThroughTheProxy) {
  web::http::GlobalInit();
  const std::string dir = testsupport::MakeTempDir();
  ASSERT_FALSE(dir.empty());
  const int proxyPort = testsupport::FreeLoopbackPort();
  std::ofstream(dir + "/tinyproxy.conf")
      << "Port " << proxyPort << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
      << "Allow 127.0.0.1\nLogLevel Critical\nViaProxyName \"loopproxy\"\n";
  {
    testsupport::ChildProcess proxy({"/usr/bin/tinyproxy", "-d", "-c", "tinyproxy.conf"}, dir);
    ASSERT_TRUE(proxy.started());
    ASSERT_TRUE(testsupport::WaitForLoopbackPort(proxyPort, std::chrono::seconds(10)));
    LoopbackServer server(
        [](const ReceivedRequest&) { return Reply{HttpReply(200, {}, "via proxy")}; });
    const auto slots = Work({.url = server.url("/p?q=1"),
                             .proxy = "127.0.0.1:" + std::to_string(proxyPort),
                             .headers = "X-Mine: 1\r\n"});
    ASSERT_EQ(slots.size(), 7u);
    EXPECT_EQ(slots[0].data, "via proxy");
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].target, "/p?q=1");
    EXPECT_NE(received[0].headerBlock.find("X-Mine: 1\r\n"), std::string::npos);
    EXPECT_NE(received[0].headerBlock.find("loopproxy"), std::string::npos)
        << received[0].headerBlock;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
