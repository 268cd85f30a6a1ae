#include "web/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace web::http {
namespace {

// How often a waiting exchange looks at its cancel flag.
constexpr int kCancelPollMs = 50;

CURLSH* cookieShare = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> shareLocks;
std::mutex caFileMutex;
std::string caFileForTests;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  shareLocks[data].lock();
}
void UnlockShare(CURL*, curl_lock_data data, void*) {
  shareLocks[data].unlock();
}

struct EasyDeleter {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlTextDeleter {
  void operator()(char* p) const { curl_free(p); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// One header line the caller asked for, with its name.
struct HeaderLine {
  std::string name;
  std::string line;
};

std::vector<HeaderLine> ParseHeaderBlock(const std::string& block) {
  std::vector<HeaderLine> lines;
  size_t start = 0;
  while (start <= block.size()) {
    size_t end = block.find_first_of("\r\n", start);
    if (end == std::string::npos) end = block.size();
    const std::string line = block.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name(TrimBlanks(std::string_view(line).substr(0, colon)));
    if (name.empty()) continue;
    std::erase_if(lines, [&](const HeaderLine& h) { return EqualsIgnoreCase(h.name, name); });
    lines.push_back({name, line});
  }
  return lines;
}

bool HasHeader(const std::vector<HeaderLine>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const HeaderLine& h) { return EqualsIgnoreCase(h.name, name); });
}

// The caller's lines for libcurl, plus entries that remove the headers libcurl
// would add on its own, so the request carries nothing the caller did not ask
// for beyond Host, User-Agent and the body's Content-Length.
std::unique_ptr<curl_slist, ListDeleter> CurlHeaderList(const std::vector<HeaderLine>& lines) {
  curl_slist* list = nullptr;
  for (const HeaderLine& h : lines) {
    const std::string_view value =
        TrimBlanks(std::string_view(h.line).substr(h.line.find(':') + 1));
    // libcurl drops "Name:" with no value; "Name;" sends it empty.
    const std::string entry = value.empty() ? h.name + ";" : h.line;
    list = curl_slist_append(list, entry.c_str());
  }
  for (const char* name : {"Accept", "Expect", "Content-Type", "Proxy-Connection"}) {
    if (!HasHeader(lines, name)) list = curl_slist_append(list, (std::string(name) + ":").c_str());
  }
  return std::unique_ptr<curl_slist, ListDeleter>(list);
}

// What one hop of an exchange collects.
struct Hop {
  std::string rawHeaders;
  bool statusSeen = false;
  bool blockComplete = false;  // the empty line after the headers arrived
  bool capped = false;         // a line did not fit; it and all after it are dropped
  std::string body;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Hop& hop = *static_cast<Hop*>(user);
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  // A new status line after a finished block (an interim 1xx response) starts over.
  if (hop.blockComplete && StartsWithIgnoreCase(line, "HTTP/")) {
    hop.rawHeaders.clear();
    hop.blockComplete = false;
    hop.capped = false;
  }
  if (line.empty()) {
    if (hop.statusSeen && !hop.blockComplete) {
      hop.rawHeaders += "\r\n";
      hop.blockComplete = true;
    }
  } else if (!hop.blockComplete && !hop.capped) {
    // Room stays for the closing empty line.
    hop.capped = hop.rawHeaders.size() + line.size() + 4 > kMaxRawHeaderBytes;
    if (!hop.capped) {
      hop.statusSeen = true;
      hop.rawHeaders.append(line);
      hop.rawHeaders += "\r\n";
    }
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Hop& hop = *static_cast<Hop*>(user);
  const size_t room = kMaxBodyBytes - hop.body.size();
  const size_t taken = std::min(room, size * count);
  hop.body.append(data, taken);
  // A short count makes libcurl stop the transfer at the cap.
  return taken;
}

// Value of the first header of that name in a raw header block, blanks trimmed.
std::string HeaderValue(const std::string& raw, std::string_view name) {
  size_t start = raw.find("\r\n");
  while (start != std::string::npos && start + 2 < raw.size()) {
    start += 2;
    const size_t end = raw.find("\r\n", start);
    const std::string_view line = std::string_view(raw).substr(start, end - start);
    if (StartsWithIgnoreCase(line, name) && line.size() > name.size() && line[name.size()] == ':') {
      return std::string(TrimBlanks(line.substr(name.size() + 1)));
    }
    start = end;
  }
  return {};
}

std::string SchemeOf(unsigned flags) {
  return (flags & kSecure) ? "https" : "http";
}

// "scheme://host[:port]" of a connection, the port left out when default.
std::string Origin(const Connection& c, unsigned flags) {
  std::string origin = SchemeOf(flags) + "://" + c.host;
  const unsigned short defaultPort = (flags & kSecure) ? 443 : 80;
  if (c.port != 0 && c.port != defaultPort) origin += ":" + std::to_string(c.port);
  return origin;
}

// Runs one hop to its end, its failure or the cancellation.
CURLcode PerformHop(CURL* easy, const std::atomic<bool>* cancel) {
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  int running = 1;
  while (running > 0 && !(cancel && cancel->load())) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
    if (running > 0) curl_multi_poll(multi.get(), nullptr, 0, kCancelPollMs, nullptr);
  }
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
    if (msg->msg == CURLMSG_DONE) result = msg->data.result;
  }
  curl_multi_remove_handle(multi.get(), easy);
  return result;
}

// The absolute URL that location names, seen from base; empty when it is not
// an http or https URL.
std::string ResolveLocation(const std::string& base, const std::string& location) {
  UrlHandle url(curl_url());
  if (!url ||
      curl_url_set(url.get(), CURLUPART_URL, base.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_URL, location.c_str(),
                   CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK) {
    return {};
  }
  char* scheme = nullptr;
  char* full = nullptr;
  curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0);
  curl_url_get(url.get(), CURLUPART_URL, &full, 0);
  const CurlText schemeOwner(scheme), fullOwner(full);
  if (!scheme || !full ||
      !(EqualsIgnoreCase(scheme, "http") || EqualsIgnoreCase(scheme, "https"))) {
    return {};
  }
  return full;
}

// The target with every byte a URL may not carry as it is percent-encoded.
std::string Escaped(const std::string& target) {
  static constexpr std::string_view kAllowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~:/?[]@!$&'()*+,;=%";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : target) {
    if (kAllowed.find(c) != std::string_view::npos) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    cookieShare = curl_share_init();
    curl_share_setopt(cookieShare, CURLSHOPT_LOCKFUNC, LockShare);
    curl_share_setopt(cookieShare, CURLSHOPT_UNLOCKFUNC, UnlockShare);
    curl_share_setopt(cookieShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  });
}

Session OpenSession(const std::string& agent, const std::string& proxyList,
                    const std::atomic<bool>& cancel) {
  GlobalInit();
  Session session{agent, {}, &cancel};
  // Entries are separated by spaces or ';'; only the one for plain http is used.
  size_t start = 0;
  while (start < proxyList.size()) {
    size_t end = proxyList.find_first_of(" ;", start);
    if (end == std::string::npos) end = proxyList.size();
    const std::string_view entry = std::string_view(proxyList).substr(start, end - start);
    if (StartsWithIgnoreCase(entry, "http=")) session.httpProxy = entry.substr(5);
    start = end + 1;
  }
  return session;
}

std::optional<Connection> Connect(const Session& session, const std::string& host, int port) {
  if (host.empty() || host.find_first_of("/?#@ \t\r\n") != std::string::npos) return std::nullopt;
  UrlHandle url(curl_url());
  const std::string probe = "http://" + host + "/";
  if (!url || curl_url_set(url.get(), CURLUPART_URL, probe.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  return Connection{session, host, static_cast<unsigned short>(port)};
}

std::optional<Request> OpenRequest(const Connection& connection, const std::string& method,
                                   const std::string& path, unsigned flags) {
  if (path.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  Request request;
  request.connection = connection;
  request.method = method;
  request.flags = flags;
  for (char c : path) {
    if (c == ' ') {
      request.target += "%20";
    } else {
      request.target += c;
    }
  }
  return request;
}

bool SendRequest(Request& request, const std::string& headerBlock, const std::string& body) {
  const Connection& connection = request.connection;
  const Session& session = connection.session;
  std::vector<HeaderLine> lines = ParseHeaderBlock(headerBlock);
  std::string method = request.method;
  std::string sendBody = body;
  // The first hop sends the target byte for byte; later hops go where Location says.
  std::string url = Origin(connection, request.flags) + Escaped(request.target);
  bool firstHop = true;
  request.answered = false;
  request.rawHeaders.clear();
  request.body.clear();
  request.readPosition = 0;

  for (int redirects = 0;; ++redirects) {
    Easy easy(curl_easy_init());
    if (!easy) return false;
    CURL* e = easy.get();
    const auto headers = CurlHeaderList(lines);
    Hop hop;
    const bool secure = StartsWithIgnoreCase(url, "https:");
    const bool proxied = !secure && !session.httpProxy.empty();

    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    if (firstHop) {
      // The request line carries the target as given; the URL, which libcurl
      // parses for the server and for matching cookie paths, gets it escaped.
      const std::string origin = Origin(connection, request.flags);
      curl_easy_setopt(e, CURLOPT_URL, (origin + Escaped(request.target)).c_str());
      const std::string target = proxied ? origin + request.target : request.target;
      curl_easy_setopt(e, CURLOPT_REQUEST_TARGET, target.c_str());
    } else {
      curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    }
    // An empty proxy also keeps libcurl from reading the environment's.
    const std::string proxy = proxied ? "http://" + session.httpProxy : "";
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    if (!session.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, session.agent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    if (method == "GET") {
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(sendBody.size()));
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, sendBody.data());
      if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (!(request.flags & kNoCookies)) {
      curl_easy_setopt(e, CURLOPT_SHARE, cookieShare);
      curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    }
    {
      std::lock_guard<std::mutex> lock(caFileMutex);
      if (!caFileForTests.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, caFileForTests.c_str());
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &hop);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &hop);

    const CURLcode result = PerformHop(e, session.cancel);
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    request.answered = hop.statusSeen;
    request.rawHeaders = std::move(hop.rawHeaders);
    if (request.answered && !hop.blockComplete) request.rawHeaders += "\r\n";
    request.body = std::move(hop.body);
    if (result != CURLE_OK) return false;

    const std::string location = HeaderValue(request.rawHeaders, "Location");
    if ((request.flags & kNoAutoRedirect) || !IsRedirect(status) || location.empty() ||
        redirects == kMaxRedirects) {
      return true;
    }
    const std::string next = ResolveLocation(url, location);
    if (next.empty()) return true;
    if (status != 307 && status != 308) {
      // The body is dropped, and with it the headers that describe it.
      method = "GET";
      sendBody.clear();
      std::erase_if(lines, [](const HeaderLine& h) {
        return EqualsIgnoreCase(h.name, "Content-Length") ||
               EqualsIgnoreCase(h.name, "Content-Type");
      });
    }
    url = next;
    firstHop = false;
  }
}

size_t ReadBody(Request& request, char* out, size_t size) {
  const size_t n = std::min(size, request.body.size() - request.readPosition);
  std::copy_n(request.body.data() + request.readPosition, n, out);
  request.readPosition += n;
  return n;
}

std::optional<std::string> QueryRawHeaders(const Request& request) {
  if (!request.answered) return std::nullopt;
  return request.rawHeaders;
}

bool StoreCookie(const std::string& url, const std::string& name, const std::string& data) {
  GlobalInit();
  UrlHandle parsed(curl_url());
  char* hostText = nullptr;
  if (name.empty() || !parsed ||
      curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(parsed.get(), CURLUPART_HOST, &hostText, 0) != CURLUE_OK) {
    return false;
  }
  const CurlText hostOwner(hostText);
  // The value, then the attributes that say where and how long the cookie holds.
  std::string domain = hostText;
  bool subdomains = false;
  std::string path = "/";
  bool secureOnly = false;
  long long expires = 0;
  const std::string_view all(data);
  const size_t semicolon = all.find(';');
  const std::string value(TrimBlanks(all.substr(0, semicolon)));
  size_t start = semicolon == std::string_view::npos ? all.size() : semicolon + 1;
  while (start < all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view attribute = TrimBlanks(all.substr(start, end - start));
    const size_t eq = attribute.find('=');
    const std::string_view key = TrimBlanks(attribute.substr(0, eq));
    const std::string attrValue =
        eq == std::string_view::npos ? "" : std::string(TrimBlanks(attribute.substr(eq + 1)));
    if (EqualsIgnoreCase(key, "path") && !attrValue.empty()) {
      path = attrValue;
    } else if (EqualsIgnoreCase(key, "domain") && !attrValue.empty()) {
      domain = attrValue[0] == '.' ? attrValue.substr(1) : attrValue;
      subdomains = true;
    } else if (EqualsIgnoreCase(key, "secure")) {
      secureOnly = true;
    } else if (EqualsIgnoreCase(key, "expires")) {
      const time_t when = curl_getdate(attrValue.c_str(), nullptr);
      if (when > 0) expires = when;
    } else if (EqualsIgnoreCase(key, "max-age")) {
      expires = static_cast<long long>(std::time(nullptr)) + std::atoll(attrValue.c_str());
    }
    start = end + 1;
  }
  // A line in the cookie-file format keeps the cookie to exactly this host.
  const std::string line = domain + "\t" + (subdomains ? "TRUE" : "FALSE") + "\t" + path + "\t" +
                           (secureOnly ? "TRUE" : "FALSE") + "\t" + std::to_string(expires) + "\t" +
                           name + "\t" + value;
  Easy easy(curl_easy_init());
  if (!easy) return false;
  curl_easy_setopt(easy.get(), CURLOPT_SHARE, cookieShare);
  return curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, line.c_str()) == CURLE_OK;
}

void UseCaFileForTests(const std::string& path) {
  std::lock_guard<std::mutex> lock(caFileMutex);
  caFileForTests = path;
}

void ClearCookiesForTests() {
  GlobalInit();
  Easy easy(curl_easy_init());
  if (!easy) return;
  curl_easy_setopt(easy.get(), CURLOPT_SHARE, cookieShare);
  curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
}

}  // namespace web::http
