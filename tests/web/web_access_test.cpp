// WebAccess on the headless platform, against servers on 127.0.0.1.

#include "web/web_access.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "support/loopback_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

text::Bytes B(std::string s) {
  return text::Bytes{std::move(s)};
}

// The time-out sentence in GBK, written out byte for byte.
const std::string kTimeoutGbk =
    "\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xAC\xD6\xB8\xB6\xA8\xCD\xF8\xD5\xBE\xB2\xBB\xC4\xDC\xB7"
    "\xC3\xCE\xCA\xA3\xAC\xBB\xF2\xD5\xDF\xC4\xE3\xB5\xC4\xCD\xF8\xC2\xE7\xB3\xF6\xCF\xD6\xCE\xCA"
    "\xCC\xE2\xA3\xAC\xC4\xE3\xBF\xC9\xD2\xD4\xB0\xD1\xB2\xCE\xCA\xFD\xD6\xD0\xB5\xC4\xA3\xA2\xB3"
    "\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xA2\xB5\xC4\xD6\xB5\xC9\xE8\xD6\xC3\xB3\xA4\xD2\xBB\xD0\xA9"
    "\xA1\xA3";

Reply Answer(std::string body, std::vector<std::string> headers = {}) {
  return Reply{.raw = HttpReply(200, headers, body)};
}

// Accepts connections and never answers them; tells when its client has
// closed the connection, which is how an abandoned request shows it was
// cancelled.
class SilentPeer {
 public:
  SilentPeer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || stopFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      std::abort();
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~SilentPeer() {
    const uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFd_);
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/slow"; }

  // When the client closed its connection; nothing when it has not within wait.
  std::optional<Clock::time_point> ClosedWithin(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return closedAt_.has_value(); });
    return closedAt_;
  }

 private:
  // Waits for fd to turn readable; false when the peer is being stopped.
  bool WaitReadable(int fd) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    return ::poll(p, 2, -1) > 0 && !(p[1].revents & POLLIN);
  }

  void Run() {
    if (!WaitReadable(listenFd_)) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    char buf[4096];
    while (fd >= 0 && WaitReadable(fd)) {
      if (::recv(fd, buf, sizeof buf, 0) > 0) continue;
      std::lock_guard lock(mutex_);
      closedAt_ = Clock::now();
      changed_.notify_all();
      break;
    }
    if (fd >= 0) ::close(fd);
  }

  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> closedAt_;
};

TEST(WebAccess, TimeoutTextIsTheGbkSentence) {
  EXPECT_EQ(web::TimeoutText(), kTimeoutGbk);
}

TEST(WebAccess, BlankUrlReturnsEmptyAtOnceWithoutRequest) {
  LoopbackServer server([](const ReceivedRequest&) { return Answer("body"); });
  const std::string rows[] = {
      "",          // nothing to request
      "   ",       // spaces only
      "\xA1\xA1",  // the full-width space alone
  };
  for (const std::string& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row));
    std::string url = row;
    text::Text headers = "keep", cookies = "keep";
    EXPECT_EQ(web::WebAccess(url, {.responseHeadersOut = &headers, .cookiesOut = &cookies}),
              text::Bytes{});
    EXPECT_EQ(url, row);
    EXPECT_EQ(headers, "keep");
    EXPECT_EQ(cookies, "keep");
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(WebAccess, PrefixesHttpExactlyWhenNeitherSchemeStartsTheUrl) {
  // The server stands as the proxy, so even a URL whose host turns out bogus
  // reaches it and nothing else.
  LoopbackServer server([](const ReceivedRequest&) { return Answer("ok"); });
  const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
  struct Row {
    const char* name;
    std::string url;
    std::string expected;
  } rows[] = {
      {"no scheme gains http://", "example.test/a", "http://example.test/a"},
      {"http:// is kept", "http://example.test/b", "http://example.test/b"},
      {"capitals are no scheme: the test is case-sensitive", "HTTP://example.test/c",
       "http://HTTP://example.test/c"},
      {"a leading space is no scheme: the untrimmed url is tested", " http://example.test/d",
       "http:// http://example.test/d"},
      {"http:/ is not http://", "http:/example.test/e", "http://http:/example.test/e"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string url = row.url;
    web::WebAccess(url, {.proxy = proxy, .timeoutSeconds = 10});
    EXPECT_EQ(url, row.expected);
  }
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests()[0].target, "http://example.test/a");
}

TEST(WebAccess, HttpsUrlIsKept) {
  // https never goes through a proxy, so this one goes to port 443 of the
  // loopback host and fails there; only what becomes of the URL matters.
  std::string url = "https://127.0.0.1/x";
  web::WebAccess(url, {.timeoutSeconds = 2});
  EXPECT_EQ(url, "https://127.0.0.1/x");
}

TEST(WebAccess, RequestThatCannotBeOpenedGivesEmptyBodyAndEchoedOutputs) {
  // "http:///x" has no host, so no connection can be opened and nothing is sent.
  struct Row {
    const char* name;
    web::WebAccessOptions options;
    std::string headers;
    std::string cookies;
  } rows[] = {
      {"GET without cookies", {.timeoutSeconds = 10}, "", "GET"},
      {"POST with cookies",
       {.method = 1, .cookies = "a=1; b=2", .timeoutSeconds = 10},
       "a=1; b=2",
       "POST"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string url = "http:///x";
    text::Text headers = "before", cookies = "before";
    row.options.responseHeadersOut = &headers;
    row.options.cookiesOut = &cookies;
    row.options.encoding = 1;
    EXPECT_EQ(web::WebAccess(url, row.options), text::Bytes{});
    EXPECT_EQ(headers, row.headers) << "receives the cookie text passed in";
    EXPECT_EQ(cookies, row.cookies) << "receives the method name";
  }
}

TEST(WebAccess, CarriesMethodHeadersBodyAndCookiesToTheServer) {
  LoopbackServer server([](const ReceivedRequest&) { return Answer("done"); });
  std::string url = server.url("/post");
  EXPECT_EQ(web::WebAccess(url, {.method = 1,
                                 .headers = "X-Probe: 1\r\n",
                                 .postData = B(std::string("a=1\0b", 5)),
                                 .cookies = "sid=9",
                                 .timeoutSeconds = 10}),
            B("done"));
  std::string getUrl = server.url("/get");
  EXPECT_EQ(web::WebAccess(getUrl, {.method = 2, .timeoutSeconds = 10}), B("done"));

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, std::string("a=1\0b", 5));
  EXPECT_NE(requests[0].headerBlock.find("X-Probe: 1\r\n"), std::string::npos);
  EXPECT_NE(requests[0].headerBlock.find("Cookie: sid=9\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].method, "GET") << "any method but 1 is a GET";
}

TEST(WebAccess, DeliversResponseHeadersAndCookies) {
  LoopbackServer server([](const ReceivedRequest&) {
    return Answer("page", {"Set-Cookie: sid=abc; path=/", "X-Mark: 7"});
  });
  std::string url = server.url("/");
  text::Text headers, cookies;
  EXPECT_EQ(
      web::WebAccess(
          url, {.timeoutSeconds = 10, .responseHeadersOut = &headers, .cookiesOut = &cookies}),
      B("page"));
  EXPECT_EQ(headers.rfind("HTTP/1.1 200", 0), 0u) << headers;
  EXPECT_NE(headers.find("X-Mark: 7\r\n"), std::string::npos) << headers;
  EXPECT_EQ(cookies, "sid=abc;");
}

TEST(WebAccess, RedirectFollowedUnlessForbidden) {
  LoopbackServer server([](const ReceivedRequest& request) {
    if (request.target == "/from") return Reply{.raw = HttpReply(302, {"Location: /to"}, "moved")};
    return Answer("arrived");
  });
  struct Row {
    const char* name;
    std::optional<bool> allow;
    std::string body;
  } rows[] = {
      {"absent permission follows", std::nullopt, "arrived"},
      {"true follows", true, "arrived"},
      {"false stops at the redirect", false, "moved"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string url = server.url("/from");
    EXPECT_EQ(web::WebAccess(url, {.timeoutSeconds = 10, .allowRedirect = row.allow}), B(row.body));
  }
}

TEST(WebAccess, ConvertsTheBodyByEncoding) {
  // Each body holds a NUL byte: raw bodies keep it, converted ones end before it.
  struct Row {
    const char* name;
    std::optional<int> encoding;
    std::string body;
    std::string expected;
  } rows[] = {
      {"absent: raw, whole", std::nullopt, std::string("ab\0cd", 5), std::string("ab\0cd", 5)},
      {"3: raw, whole", 3, std::string("ab\0cd", 5), std::string("ab\0cd", 5)},
      {"1: UTF-8 to GBK, cut at NUL", 1, std::string("\xE8\x81\x94\xE9\x80\x9A\0x", 8),
       "\xC1\xAA\xCD\xA8"},
      {"2: Big5 to simplified GBK, cut at NUL", 2, std::string("\xC1\x70\xB3\x71\0x", 6),
       "\xC1\xAA\xCD\xA8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoopbackServer server([&row](const ReceivedRequest&) { return Answer(row.body); });
    std::string url = server.url("/");
    EXPECT_EQ(web::WebAccess(url, {.timeoutSeconds = 10, .encoding = row.encoding}),
              B(row.expected));
  }
}

TEST(WebAccess, ZeroOrNegativeLimitTimesOutAndLeavesOutputs) {
  LoopbackServer server([](const ReceivedRequest&) { return Answer("fast"); });
  for (int seconds : {0, -1}) {
    SCOPED_TRACE(seconds);
    std::string url = server.url("/");
    text::Text headers = "keep", cookies = "keep";
    EXPECT_EQ(web::WebAccess(url, {.timeoutSeconds = seconds,
                                   .responseHeadersOut = &headers,
                                   .encoding = 1,
                                   .cookiesOut = &cookies}),
              B(kTimeoutGbk));
    EXPECT_EQ(headers, "keep");
    EXPECT_EQ(cookies, "keep");
  }
  web::CancelAndJoinWorkers();
}

TEST(WebAccess, SlowServerTimesOutAndItsRequestIsCancelled) {
  SilentPeer peer;
  std::string url = peer.url();
  text::Text headers = "keep", cookies = "keep";
  const auto start = Clock::now();
  EXPECT_EQ(web::WebAccess(
                url, {.timeoutSeconds = 1, .responseHeadersOut = &headers, .cookiesOut = &cookies}),
            B(kTimeoutGbk));
  const auto returned = Clock::now();
  EXPECT_GE(returned - start, 1s);
  EXPECT_LT(returned - start, 2s) << "the call ends at its limit";
  EXPECT_EQ(headers, "keep");
  EXPECT_EQ(cookies, "keep");
  // The abandoned worker is cancelled, not left waiting for the server.
  const auto closed = peer.ClosedWithin(2s);
  ASSERT_TRUE(closed.has_value()) << "the request still holds its connection";
  EXPECT_LT(*closed - returned, 1s);
}

TEST(WebAccess, CancelAndJoinWorkersReturnsPromptlyAndCallsGoOn) {
  SilentPeer peer;
  std::string url = peer.url();
  EXPECT_EQ(web::WebAccess(url, {.timeoutSeconds = 1}), B(kTimeoutGbk));
  const auto start = Clock::now();
  web::CancelAndJoinWorkers();
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_TRUE(peer.ClosedWithin(1s).has_value()) << "its connection is closed";

  LoopbackServer server([](const ReceivedRequest&) { return Answer("again"); });
  std::string next = server.url("/");
  EXPECT_EQ(web::WebAccess(next, {.timeoutSeconds = 10}), B("again"));
}

}  // namespace
