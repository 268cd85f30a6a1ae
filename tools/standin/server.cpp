#include "server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "captcha.h"
#include "pages.h"

namespace standin {
namespace {

constexpr char kHtml[] = "text/html; charset=utf-8";

// One line per request: method, target, body and what the host answered,
// separated by tabs; control bytes are escaped so each request stays one line.
void LogRequest(State& state, const httplib::Request& req, const std::string& outcome) {
  if (state.log == nullptr) return;
  auto clean = [](const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
      if (c == '\t')
        out += "\\t";
      else if (c == '\r')
        out += "\\r";
      else if (c == '\n')
        out += "\\n";
      else if (c < 0x20)
        out += '?';
      else
        out += static_cast<char>(c);
    }
    return out;
  };
  const std::string line = req.method + "\t" + clean(req.target) + "\t" +
                           (req.body.empty() ? "-" : clean(req.body)) + "\t" + outcome + "\n";
  std::lock_guard lock(state.mutex);
  std::fputs(line.c_str(), state.log);
  std::fflush(state.log);
}

std::string RandomHex(std::mt19937& rng, int digits) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < digits; ++i) out += kHex[rng() % 16];
  return out;
}

bool IsKnownFile(const State& state, const std::string& id) {
  const auto& ids = state.options.fileIds;
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string SessionOf(const httplib::Request& req) {
  return CookieValue(req.get_header_value("Cookie"), kSessionCookie);
}

void HandleCaptcha(State& state, const httplib::Request& req, httplib::Response& res) {
  std::string session = SessionOf(req);
  std::string code;
  std::uint32_t seed = 0;
  bool fresh = false;
  {
    std::lock_guard lock(state.mutex);
    if (session.empty() || !state.codes.contains(session)) {
      session = RandomHex(state.rng, 16);
      state.sessionOrder.push_back(session);
      if (state.sessionOrder.size() > kMaxSessions) {
        state.codes.erase(state.sessionOrder.front());
        state.sessionOrder.pop_front();
      }
      fresh = true;
    }
    code = state.options.fixedCode;
    if (code.empty()) code = std::to_string(1000 + state.rng() % 9000);
    state.codes[session] = code;
    seed = state.rng();
  }
  if (fresh) {
    res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + session + "; path=/");
  }
  res.set_header("Cache-Control", "no-store");
  res.set_content(DrawCaptchaPng(code, seed), "image/png");
  LogRequest(state, req, "captcha " + code + (fresh ? " new-session" : ""));
}

void HandleGuestLogin(State& state, const httplib::Request& req, httplib::Response& res) {
  const std::string fileId = FormValue(req.body, "file_id");
  const std::string typed = FormValue(req.body, "randcode");
  const std::string session = SessionOf(req);
  bool right = false;
  bool linkless = false;
  std::string key;
  {
    std::lock_guard lock(state.mutex);
    auto it = state.codes.find(session);
    right = !session.empty() && it != state.codes.end() && it->second == typed;
    if (right && IsKnownFile(state, fileId) && state.linklessLeft != 0) {
      linkless = true;
      if (state.linklessLeft > 0) --state.linklessLeft;
    }
    key = RandomHex(state.rng, 8);
  }
  if (!right) {
    res.set_content(RejectionPage(), kHtml);
    LogRequest(state, req, session.empty() ? "rejected no-session" : "rejected");
  } else if (!IsKnownFile(state, fileId)) {
    res.set_content(UnknownFilePage(fileId), kHtml);
    LogRequest(state, req, "unknown-file");
  } else if (linkless) {
    res.set_content(LinklessPage(fileId), kHtml);
    LogRequest(state, req, "no-markers");
  } else {
    const Links links = MakeLinks("127.0.0.1:" + std::to_string(state.port), fileId, key);
    res.set_content(ResultPage(fileId, links), kHtml);
    LogRequest(state, req, "links\t" + links.thunder + "\t" + links.telecom + "\t" + links.unicom);
  }
}

}  // namespace

std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find(';', pos);
    if (end == std::string::npos) end = header.size();
    std::string item = header.substr(pos, end - pos);
    item.erase(0, item.find_first_not_of(' '));
    if (item.size() > name.size() && item.compare(0, name.size(), name) == 0 &&
        item[name.size()] == '=') {
      return item.substr(name.size() + 1);
    }
    pos = end + 1;
  }
  return {};
}

std::string FormValue(const std::string& body, const std::string& key) {
  std::size_t pos = 0;
  while (pos <= body.size()) {
    std::size_t end = body.find('&', pos);
    if (end == std::string::npos) end = body.size();
    if (end - pos > key.size() && body.compare(pos, key.size(), key) == 0 &&
        body[pos + key.size()] == '=') {
      return body.substr(pos + key.size() + 1, end - pos - key.size() - 1);
    }
    pos = end + 1;
  }
  return {};
}

void InstallRoutes(httplib::Server& server, State& state) {
  state.linklessLeft = state.options.linklessReplies;
  server.set_payload_max_length(kMaxRequestBody);

  server.set_pre_routing_handler([&state](const httplib::Request&, httplib::Response&) {
    if (state.options.delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(state.options.delayMs));
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  server.Get(R"(/file/([^/?]+))", [&state](const httplib::Request& req, httplib::Response& res) {
    const std::string id = req.matches[1];
    const bool known = IsKnownFile(state, id);
    res.status = known ? 200 : 404;
    res.set_content(FilePage(id, known), kHtml);
    LogRequest(state, req, known ? "file-page" : "file-page unknown");
  });

  server.Get("/randcodeV2.php", [&state](const httplib::Request& req, httplib::Response& res) {
    HandleCaptcha(state, req, res);
  });

  server.Post("/guest_loginV2.php", [&state](const httplib::Request& req, httplib::Response& res) {
    HandleGuestLogin(state, req, res);
  });

  server.Get(
      R"(/download/(thunder|telecom|unicom)/([^/?]+)/([^/?]+))",
      [&state](const httplib::Request& req, httplib::Response& res) {
        const std::string id = req.matches[2];
        if (!IsKnownFile(state, id) || req.matches[3] != FileName(id)) {
          res.status = 404;
          res.set_content(FilePage(id, false), kHtml);
          LogRequest(state, req, "download unknown");
          return;
        }
        res.set_header("Content-Disposition", "attachment; filename=\"" + FileName(id) + "\"");
        res.set_content(
            "stand-in content of " + FileName(id) + " via " + std::string(req.matches[1]) + "\n",
            "application/octet-stream");
        LogRequest(state, req, "download");
      });

  server.set_error_handler([&state](const httplib::Request& req, httplib::Response& res) {
    if (res.status == 404 && res.body.empty()) {
      res.set_content(FilePage({}, false), kHtml);
      LogRequest(state, req, "not-found");
    }
  });
}

}  // namespace standin
