#pragma once
// The routes of the stand-in file host and the state they share.

#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "options.h"

namespace httplib {
class Server;
}

namespace standin {

// Sessions live in memory; the oldest is forgotten beyond this many.
inline constexpr std::size_t kMaxSessions = 4096;
// Largest request body the host accepts.
inline constexpr std::size_t kMaxRequestBody = 64 * 1024;

inline constexpr char kSessionCookie[] = "standin_sid";

struct State {
  Options options;
  int port = 0;  // the bound port, named in the links
  std::FILE* log = nullptr;

  std::mutex mutex;                          // guards everything below
  std::map<std::string, std::string> codes;  // session id -> code of its last captcha
  std::deque<std::string> sessionOrder;      // oldest first
  int linklessLeft = 0;
  std::mt19937 rng{std::random_device{}()};
};

// Registers the file page, captcha, guest download and download routes on
// server, and the reply delay, size cap and request log of state.options.
void InstallRoutes(httplib::Server& server, State& state);

// The value of cookie name in a Cookie header value; empty when absent.
std::string CookieValue(const std::string& header, const std::string& name);

// The value of key in an x-www-form-urlencoded body, taken as the bytes sent
// (no percent-decoding); empty when absent.
std::string FormValue(const std::string& body, const std::string& key);

}  // namespace standin
