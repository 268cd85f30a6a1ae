#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace testsupport {
namespace {

// A request larger than this is not a request any test sends.
constexpr size_t kMaxRequestBytes = 64 * 1024 * 1024;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

// Value of the Content-Length header in a header block, 0 when absent.
size_t ContentLength(const std::string& headerBlock) {
  const std::string lower = Lower(headerBlock);
  size_t at = 0;
  while ((at = lower.find("content-length:", at)) != std::string::npos) {
    if (at == 0 || lower[at - 1] == '\n') {
      return static_cast<size_t>(std::strtoull(headerBlock.c_str() + at + 15, nullptr, 10));
    }
    at += 15;
  }
  return 0;
}

bool SaysClose(const std::string& reply) {
  const size_t end = reply.find("\r\n\r\n");
  return Lower(reply.substr(0, end)).find("\nconnection: close") != std::string::npos;
}

}  // namespace

std::string HttpReply(int status, const std::vector<std::string>& headerLines,
                      const std::string& body) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  for (const std::string& line : headerLines) out += line + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  return out + body;
}

LoopbackServer::LoopbackServer(std::function<Reply(const ReceivedRequest&)> handler)
    : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listenFd_ < 0 || wakeFd_ < 0) std::abort();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::abort();
  }
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  const uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  acceptThread_.join();
  // No new connection threads can start once the accept loop has ended.
  for (std::thread& t : connections_) t.join();
  ::close(listenFd_);
  ::close(wakeFd_);
}

std::string LoopbackServer::url(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
}

std::vector<ReceivedRequest> LoopbackServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool LoopbackServer::Pause(std::chrono::milliseconds d) {
  pollfd p{wakeFd_, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(d.count())) == 0 && !stopping_;
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN)) break;
    if (!(p[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

void LoopbackServer::Serve(int fd) {
  std::string pending;
  bool open = true;
  while (open && !stopping_) {
    // Read one request: up to the empty line, then Content-Length bytes of body.
    size_t headerEnd = std::string::npos;
    size_t total = 0;
    while (true) {
      if (headerEnd == std::string::npos) {
        headerEnd = pending.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
          total = headerEnd + 4 + ContentLength(pending.substr(0, headerEnd + 2));
        }
      }
      if (headerEnd != std::string::npos && pending.size() >= total) break;
      if (pending.size() > kMaxRequestBytes) break;
      pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN)) break;
      char buf[16384];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      pending.append(buf, static_cast<size_t>(n));
    }
    if (headerEnd == std::string::npos || pending.size() < total) break;

    ReceivedRequest req;
    req.raw = pending.substr(0, total);
    pending.erase(0, total);
    const size_t lineEnd = req.raw.find("\r\n");
    const std::string requestLine = req.raw.substr(0, lineEnd);
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = requestLine.rfind(' ');
    req.method = requestLine.substr(0, sp1);
    if (sp1 != std::string::npos && sp2 > sp1)
      req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    req.headerBlock = req.raw.substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2));
    req.body = req.raw.substr(headerEnd + 4);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(req);
    }

    const Reply reply = handler_(req);
    if (reply.neverAnswer) {
      pollfd p{wakeFd_, POLLIN, 0};
      ::poll(&p, 1, -1);
      break;
    }
    if (reply.delay.count() > 0 && !Pause(reply.delay)) break;
    if (reply.perByte.count() > 0) {
      for (size_t i = 0; i < reply.raw.size() && open; ++i) {
        open = ::send(fd, reply.raw.data() + i, 1, MSG_NOSIGNAL) == 1 &&
               (i + 1 == reply.raw.size() || Pause(reply.perByte));
      }
    } else {
      size_t sent = 0;
      while (open && sent < reply.raw.size()) {
        const ssize_t n =
            ::send(fd, reply.raw.data() + sent, reply.raw.size() - sent, MSG_NOSIGNAL);
        open = n > 0;
        if (open) sent += static_cast<size_t>(n);
      }
    }
    if (reply.reset) {
      const linger hard{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      break;
    }
    if (SaysClose(reply.raw)) {
      ::shutdown(fd, SHUT_WR);
      break;
    }
  }
  ::close(fd);
}

}  // namespace testsupport
