#include "web/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "support/child_process.h"
#include "support/loopback_server.h"

namespace {

using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

class Http : public testing::Test {
 protected:
  void SetUp() override {
    web::http::GlobalInit();
    web::http::ClearCookiesForTests();
  }
};

struct Outcome {
  bool opened = false;
  bool complete = false;
  std::optional<std::string> rawHeaders;
  std::string body;
};

struct Call {
  std::string method = "GET";
  std::string path = "/";
  unsigned flags = 0;
  std::string headers;
  std::string body;
  std::string proxyList;
  int port = 0;  // 0: the server's
};

Outcome Exchange(const LoopbackServer& server, const Call& call,
                 const std::atomic<bool>* cancel = nullptr) {
  static const std::atomic<bool> never{false};
  Outcome out;
  const auto session = web::http::OpenSession("agent/1", call.proxyList, cancel ? *cancel : never);
  const auto connection =
      web::http::Connect(session, "127.0.0.1", call.port ? call.port : server.port());
  if (!connection) return out;
  auto request = web::http::OpenRequest(*connection, call.method, call.path, call.flags);
  if (!request) return out;
  out.opened = true;
  out.complete = web::http::SendRequest(*request, call.headers, call.body);
  char chunk[1000];
  while (const size_t n = web::http::ReadBody(*request, chunk, sizeof chunk))
    out.body.append(chunk, n);
  out.rawHeaders = web::http::QueryRawHeaders(*request);
  return out;
}

Reply Ok(const std::string& body = "ok", const std::vector<std::string>& headers = {}) {
  return Reply{HttpReply(200, headers, body)};
}

std::string Replace(std::string s, const std::string& what, const std::string& with) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size())) {
    s.replace(at, what.size(), with);
  }
  return s;
}

// The request line carries the path bytes as given, spaces excepted.
TEST_F(Http, RequestTargetIsSentByteForByte) {
  const struct {
    const char* name;
    std::string path;
    std::string target;
  } rows[] = {
      {"spaces become %20", "/a b?c=d e", "/a%20b?c=d%20e"},
      {"GBK bytes go out raw", "/\xD6\xD0\xCE\xC4?q=\xB0\xA1", "/\xD6\xD0\xCE\xC4?q=\xB0\xA1"},
      {"escapes are not decoded", "/x%41?y=%2F", "/x%41?y=%2F"},
      {"an address in the query stays whole", "/r?u=http://b.com/x&v=1", "/r?u=http://b.com/x&v=1"},
  };
  LoopbackServer server([](const ReceivedRequest&) { return Ok(); });
  for (const auto& row : rows) {
    Call call;
    call.path = row.path;
    EXPECT_TRUE(Exchange(server, call).complete) << row.name;
  }
  const auto received = server.requests();
  ASSERT_EQ(received.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(received[i].raw.substr(0, received[i].raw.find("\r\n")),
              "GET " + rows[i].target + " HTTP/1.1")
        << rows[i].name;
  }
}

TEST_F(Http, RequestCannotBeOpened) {
  const std::atomic<bool> cancel{false};
  const auto session = web::http::OpenSession("a", "", cancel);
  const auto connection = web::http::Connect(session, "h", 80);
  ASSERT_TRUE(connection.has_value());
  // A line end in the path would let it write header lines of its own.
  for (const char* path : {"/a\r\nX: 1", "/a\nb", "/a\rb"}) {
    EXPECT_FALSE(web::http::OpenRequest(*connection, "GET", path, 0).has_value()) << path;
  }
  // Hosts no URL can carry.
  for (const char* host : {"", "a b", "user@h", "h/x", "h?q"}) {
    EXPECT_FALSE(web::http::Connect(session, host, 80).has_value()) << "'" << host << "'";
  }
}

// The header block against the exact header lines the server receives.
TEST_F(Http, HeaderBlockRules) {
  const struct {
    const char* name;
    std::string method;
    std::string block;
    std::string body;
    std::string expected;  // {host} stands for 127.0.0.1:port
  } rows[] = {
      {"nothing asked: Host and agent only, no Accept", "GET", "", "",
       "Host: {host}\r\nUser-Agent: agent/1\r\n"},
      {"lines kept in order, empty lines and lines without colon ignored", "GET",
       "X-A: 1\r\n\r\nno colon here\r\nX-B: 2\nX-C: 3\rX-D: 4", "",
       "Host: {host}\r\nUser-Agent: agent/1\r\nX-A: 1\r\nX-B: 2\r\nX-C: 3\r\nX-D: 4\r\n"},
      {"the later of two lines with the same name wins", "GET", "X-A: 1\r\nx-a: 2\r\n", "",
       "Host: {host}\r\nUser-Agent: agent/1\r\nx-a: 2\r\n"},
      {"our lines replace the client's own", "GET",
       "User-Agent: mine\r\nHost: other.example\r\nAccept: a/b\r\n", "",
       "Host: other.example\r\nUser-Agent: mine\r\nAccept: a/b\r\n"},
      {"a line with an empty value is still sent", "GET", "X-Empty:\r\n", "",
       "Host: {host}\r\nUser-Agent: agent/1\r\nX-Empty:\r\n"},
      {"POST without type: length only", "POST", "", "a=1",
       "Host: {host}\r\nUser-Agent: agent/1\r\nContent-Length: 3\r\n"},
      {"POST with empty body still states its length", "POST", "", "",
       "Host: {host}\r\nUser-Agent: agent/1\r\nContent-Length: 0\r\n"},
      {"POST with our own type and length", "POST",
       "Content-Type: text/plain\r\nContent-Length: 3\r\n", "a=1",
       "Host: {host}\r\nUser-Agent: agent/1\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"},
      {"a large POST asks for no 100-continue", "POST", "", std::string(2 << 20, 'x'),
       "Host: {host}\r\nUser-Agent: agent/1\r\nContent-Length: 2097152\r\n"},
  };
  LoopbackServer server([](const ReceivedRequest&) { return Ok(); });
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  for (const auto& row : rows) {
    Call call;
    call.method = row.method;
    call.headers = row.block;
    call.body = row.body;
    EXPECT_TRUE(Exchange(server, call).complete) << row.name;
  }
  const auto received = server.requests();
  ASSERT_EQ(received.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(received[i].method, rows[i].method) << rows[i].name;
    EXPECT_EQ(received[i].headerBlock, Replace(rows[i].expected, "{host}", host)) << rows[i].name;
    EXPECT_EQ(received[i].body, rows[i].body) << rows[i].name;
  }
}

TEST_F(Http, EnvironmentProxyIsNeverUsed) {
  LoopbackServer server([](const ReceivedRequest&) { return Ok("direct"); });
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::setenv(name, "http://127.0.0.1:1", 1);
  }
  const Outcome out = Exchange(server, Call{});
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
  EXPECT_TRUE(out.complete);
  EXPECT_EQ(out.body, "direct");
}

TEST_F(Http, RawHeadersOfTheResponse) {
  const struct {
    const char* name;
    std::string reply;
    std::string rawHeaders;
  } rows[] = {
      {"lines as sent, then an empty line",
       "HTTP/1.1 200 OK\r\nA: 1\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi",
       "HTTP/1.1 200 OK\r\nA: 1\r\nContent-Length: 2\r\nConnection: close\r\n\r\n"},
      {"bare LF line ends become CRLF",
       "HTTP/1.1 200 OK\nA: 1\nContent-Length: 2\nConnection: close\n\nhi",
       "HTTP/1.1 200 OK\r\nA: 1\r\nContent-Length: 2\r\nConnection: close\r\n\r\n"},
      {"an interim 100 response is not part of them",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
       "Connection: close\r\n\r\nhi",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n"},
  };
  for (const auto& row : rows) {
    LoopbackServer server([&](const ReceivedRequest&) { return Reply{row.reply}; });
    const Outcome out = Exchange(server, Call{});
    EXPECT_TRUE(out.complete) << row.name;
    EXPECT_EQ(out.rawHeaders, row.rawHeaders) << row.name;
    EXPECT_EQ(out.body, "hi") << row.name;
  }
}

TEST_F(Http, NoResponseMeansNoRawHeaders) {
  std::optional<LoopbackServer> gone(std::in_place, [](const ReceivedRequest&) { return Ok(); });
  const int port = gone->port();
  gone.reset();
  LoopbackServer unused([](const ReceivedRequest&) { return Ok(); });
  Call call;
  call.port = port;
  const Outcome out = Exchange(unused, call);
  EXPECT_TRUE(out.opened);
  EXPECT_FALSE(out.complete);
  EXPECT_FALSE(out.rawHeaders.has_value());
  EXPECT_EQ(out.body, "");
}

TEST_F(Http, RedirectsAreFollowedByTheirRules) {
  const struct {
    const char* name;
    int status;
    std::string location;
    std::string method;
    std::string expectedMethod;
    std::string expectedTarget;
    bool bodyKept;
  } rows[] = {
      {"302 turns POST into GET", 302, "/next", "POST", "GET", "/next", false},
      {"303 turns POST into GET", 303, "/next", "POST", "GET", "/next", false},
      {"301 turns POST into GET", 301, "/next", "POST", "GET", "/next", false},
      {"307 keeps POST and body", 307, "/next", "POST", "POST", "/next", true},
      {"308 keeps POST and body", 308, "/next", "POST", "POST", "/next", true},
      {"relative Location resolved against the request path", 302, "next?x=1", "GET", "GET",
       "/dir/next?x=1", false},
  };
  for (const auto& row : rows) {
    LoopbackServer server([&](const ReceivedRequest& r) {
      if (r.target == "/dir/start") {
        return Reply{HttpReply(row.status, {"Location: " + row.location}, "moved")};
      }
      return Ok("final", {"X-Final: yes"});
    });
    Call call;
    call.method = row.method;
    call.path = "/dir/start";
    call.headers = "Content-Type: text/plain\r\nX-Mine: 1\r\n";
    call.body = "data";
    const Outcome out = Exchange(server, call);
    EXPECT_TRUE(out.complete) << row.name;
    EXPECT_EQ(out.body, "final") << row.name;
    ASSERT_TRUE(out.rawHeaders.has_value()) << row.name;
    EXPECT_EQ(out.rawHeaders->rfind("HTTP/1.1 200 OK\r\nX-Final: yes\r\n", 0), 0u) << row.name;
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 2u) << row.name;
    EXPECT_EQ(received[1].method, row.expectedMethod) << row.name;
    EXPECT_EQ(received[1].target, row.expectedTarget) << row.name;
    EXPECT_EQ(received[1].body, row.bodyKept ? "data" : "") << row.name;
    // Our own lines travel on every hop; those about a dropped body do not.
    EXPECT_NE(received[1].headerBlock.find("X-Mine: 1\r\n"), std::string::npos) << row.name;
    EXPECT_EQ(received[1].headerBlock.find("Content-Type") != std::string::npos, row.bodyKept)
        << row.name;
  }
}

TEST_F(Http, NoAutoRedirectReturnsThe3xxItself) {
  LoopbackServer server(
      [](const ReceivedRequest&) { return Reply{HttpReply(302, {"Location: /next"}, "moved")}; });
  Call call;
  call.flags = web::http::kNoAutoRedirect;
  const Outcome out = Exchange(server, call);
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(out.body, "moved");
  ASSERT_TRUE(out.rawHeaders.has_value());
  EXPECT_EQ(out.rawHeaders->rfind("HTTP/1.1 302 Found\r\nLocation: /next\r\n", 0), 0u);
}

TEST_F(Http, RedirectLoopStopsAfterTheLimit) {
  LoopbackServer server([](const ReceivedRequest& r) {
    return Reply{HttpReply(302, {"Location: " + r.target + "x"}, "again")};
  });
  const Outcome out = Exchange(server, Call{});
  EXPECT_EQ(server.requests().size(), static_cast<size_t>(web::http::kMaxRedirects + 1));
  EXPECT_EQ(out.body, "again");
  EXPECT_TRUE(out.complete);
}

TEST_F(Http, CookiesTravelThroughTheStoreUnlessFlagged) {
  LoopbackServer server([](const ReceivedRequest& r) {
    if (r.target == "/set")
      return Reply{HttpReply(302, {"Set-Cookie: hop=1", "Location: /show"}, "")};
    return Ok();
  });
  Call call;
  call.path = "/set";
  call.flags = web::http::kNoCookies;
  Exchange(server, call);
  call.flags = 0;
  Exchange(server, call);
  // A later request from another thread sees the cookie too.
  call.path = "/other";
  std::thread([&] { Exchange(server, call); }).join();
  call.flags = web::http::kNoCookies;
  Exchange(server, call);

  const auto received = server.requests();
  ASSERT_EQ(received.size(), 6u);
  const auto hasCookie = [&](size_t i) {
    return received[i].headerBlock.find("Cookie: hop=1\r\n") != std::string::npos;
  };
  EXPECT_FALSE(hasCookie(1)) << "no cookies: the redirect hop's cookie is not kept";
  EXPECT_TRUE(hasCookie(3)) << "the cookie set on a hop travels on the next";
  EXPECT_TRUE(hasCookie(4)) << "the store is shared across threads";
  EXPECT_FALSE(hasCookie(5)) << "no cookies: stored ones are not sent";
}

TEST_F(Http, StoredCookieKeepsItsAttributes) {
  LoopbackServer server([](const ReceivedRequest&) { return Ok(); });
  EXPECT_TRUE(web::http::StoreCookie("http://127.0.0.1", "sid", "abc; path=/only"));
  EXPECT_TRUE(web::http::StoreCookie("http://127.0.0.1", "uid", "7"));
  EXPECT_TRUE(web::http::StoreCookie("http://other.example", "far", "1"));
  EXPECT_FALSE(web::http::StoreCookie("http://127.0.0.1", "", "nameless"));
  Call call;
  call.path = "/only/x";
  Exchange(server, call);
  call.path = "/elsewhere";
  Exchange(server, call);
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[0].headerBlock.find("Cookie: sid=abc; uid=7\r\n"), std::string::npos)
      << received[0].headerBlock;
  EXPECT_NE(received[1].headerBlock.find("Cookie: uid=7\r\n"), std::string::npos)
      << received[1].headerBlock;
}

TEST_F(Http, BodyStopsAtItsCap) {
  const std::string big(web::http::kMaxBodyBytes + 100000, 'b');
  LoopbackServer server([&](const ReceivedRequest&) { return Reply{HttpReply(200, {}, big)}; });
  const Outcome out = Exchange(server, Call{});
  EXPECT_FALSE(out.complete);
  EXPECT_EQ(out.body.size(), web::http::kMaxBodyBytes);
  EXPECT_TRUE(out.rawHeaders.has_value());
}

// Cancelling from another thread ends an exchange that would never end.
TEST_F(Http, CancelEndsAWaitingExchange) {
  Reply silent;
  silent.neverAnswer = true;
  Reply drip{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'd')};
  drip.perByte = std::chrono::milliseconds(20);
  const struct {
    const char* name;
    Reply reply;
  } rows[] = {{"server never answers", silent}, {"server drips its body", drip}};
  for (const auto& row : rows) {
    std::optional<LoopbackServer> server(std::in_place,
                                         [&](const ReceivedRequest&) { return row.reply; });
    std::atomic<bool> cancel{false};
    auto exchange =
        std::async(std::launch::async, [&] { return Exchange(*server, Call{}, &cancel); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
    // A bound against hanging, far above the expected end.
    const bool ended = exchange.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    server.reset();  // ends an exchange the cancellation missed
    EXPECT_TRUE(ended) << row.name;
    EXPECT_FALSE(exchange.get().complete) << row.name;
  }
}

// A real TLS server on loopback with a certificate made for the test.
TEST_F(Http, SecureRequestVerifiesThePeer) {
  const std::string dir = testsupport::MakeTempDir();
  ASSERT_FALSE(dir.empty());
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  ASSERT_EQ(testsupport::RunCommand(
                "openssl req -x509 " + ec + " -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA" +
                    " && openssl req -x509 " + ec +
                    " -keyout other.key -out other.pem -days 2 -subj /CN=OtherCA" +
                    " && openssl req " + ec + " -keyout server.key -out server.csr" +
                    " -subj /CN=127.0.0.1 && printf 'subjectAltName=IP:127.0.0.1\\n' > ext.cnf" +
                    " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key" +
                    " -CAcreateserial -out server.pem -days 2 -extfile ext.cnf" +
                    " && printf 'over tls' > hello.txt",
                dir),
            0);
  const int port = testsupport::FreeLoopbackPort();
  {
    testsupport::ChildProcess server(
        {"/usr/bin/openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-cert",
         "server.pem", "-key", "server.key", "-WWW", "-quiet"},
        dir);
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(testsupport::WaitForLoopbackPort(port, std::chrono::seconds(10)));
    const std::atomic<bool> cancel{false};
    // The proxy is for plain http only: https goes direct.
    const auto session = web::http::OpenSession("agent/1", "http=127.0.0.1:1", cancel);
    const auto connection = web::http::Connect(session, "127.0.0.1", port);
    ASSERT_TRUE(connection.has_value());
    const auto fetch = [&](const std::string& caFile) {
      web::http::UseCaFileForTests(caFile);
      auto request = web::http::OpenRequest(*connection, "GET", "/hello.txt", web::http::kSecure);
      const bool complete = web::http::SendRequest(*request, "", "");
      return std::make_pair(complete, request->body);
    };
    EXPECT_EQ(fetch(dir + "/ca.pem"), std::make_pair(true, std::string("over tls")));
    EXPECT_EQ(fetch(dir + "/other.pem"), std::make_pair(false, std::string()))
        << "a certificate from an untrusted CA is refused";
    EXPECT_EQ(fetch(""), std::make_pair(false, std::string()))
        << "the test CA is not in the system store";
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
