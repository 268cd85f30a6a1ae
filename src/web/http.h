#pragma once
// The program's HTTP client, built on libcurl and shaped after the calls the
// request worker makes: open a session, connect, open a request, send it,
// read the body in chunks, query the raw response headers, store a cookie.
// One process-wide cookie store serves every request not flagged kNoCookies.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

namespace web::http {

// Caps on what a server can make us hold.
inline constexpr size_t kMaxBodyBytes = 64 * 1024 * 1024;
inline constexpr size_t kMaxRawHeaderBytes = 1024 * 1024;
// Redirects followed before the last 3xx response is taken as the answer.
inline constexpr int kMaxRedirects = 10;

// Request flags. kNoCookies: neither send stored cookies nor store received
// ones. kNoAutoRedirect: a 3xx response is the answer. kSecure: TLS with the
// peer verified against the system's CA store.
inline constexpr unsigned kNoCookies = 1;
inline constexpr unsigned kNoAutoRedirect = 2;
inline constexpr unsigned kSecure = 4;

struct Session {
  std::string agent;      // the User-Agent header, unless the request sets its own
  std::string httpProxy;  // "host:port" for plain-http requests; empty: direct
  const std::atomic<bool>* cancel = nullptr;
};

struct Connection {
  Session session;
  std::string host;
  unsigned short port = 0;  // 0: the scheme's default port
};

struct Request {
  Connection connection;
  std::string method;
  std::string target;  // the request target: path and query as given, spaces as %20
  unsigned flags = 0;
  // What SendRequest received from the final response.
  bool answered = false;   // a status line arrived
  std::string rawHeaders;  // status line first, CRLF line ends, then an empty line
  std::string body;
  size_t readPosition = 0;
};

// Initialises libcurl and the cookie store once per process; later calls do
// nothing. Call it on the main thread before any request thread starts.
void GlobalInit();

// A session with the agent and a proxy list: its "http=host:port" entry sends
// plain-http requests through that HTTP proxy; https always goes direct, and
// proxy variables of the environment are never used. cancel, set from another
// thread, aborts every exchange of the session within about 50 ms.
Session OpenSession(const std::string& agent, const std::string& proxyList,
                    const std::atomic<bool>& cancel);

// std::nullopt when host is empty or not a host name a URL can carry. The
// port is taken as 16 bits, as the Windows call takes it.
std::optional<Connection> Connect(const Session& session, const std::string& host, int port);

// std::nullopt when path holds CR or LF. Nothing is sent yet.
std::optional<Request> OpenRequest(const Connection& connection, const std::string& method,
                                   const std::string& path, unsigned flags);

// Sends the request with the header lines of headerBlock (split at CR and LF;
// lines without a colon are ignored, a later line replaces an earlier one of
// the same name and the client's own header of that name) and body ("GET"
// sends none), follows redirects unless flagged, and receives the final
// response. True when that response arrived whole; otherwise the request
// holds what arrived before the failure, the cap or the cancellation.
bool SendRequest(Request& request, const std::string& headerBlock, const std::string& body);

// Copies up to size bytes of the body into out; 0 once it is all read.
size_t ReadBody(Request& request, char* out, size_t size);

// The raw headers of the final response; std::nullopt when no response came.
std::optional<std::string> QueryRawHeaders(const Request& request);

// Stores the cookie name for the host of url ("http://host"); data is the
// value followed by its attributes ("abc; path=/"). False for an empty name
// or a URL without a host.
bool StoreCookie(const std::string& url, const std::string& name, const std::string& data);

// Tests only: trust the CA certificates in this file instead of the system's.
void UseCaFileForTests(const std::string& path);
// Tests only: empties the process-wide cookie store.
void ClearCookiesForTests();

}  // namespace web::http
