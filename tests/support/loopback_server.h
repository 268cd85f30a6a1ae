#pragma once
// A small HTTP server on 127.0.0.1 for tests: it records the exact bytes of
// every request and answers each with a scripted reply, which may misbehave
// on purpose (delay, drip, reset, silence).

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ReceivedRequest {
  std::string raw;  // every byte of the request, body included
  std::string method;
  std::string target;
  std::string headerBlock;  // lines after the request line, each ending CRLF, no empty line
  std::string body;
};

struct Reply {
  std::string raw;                       // exact bytes sent back
  std::chrono::milliseconds delay{0};    // before sending anything
  std::chrono::milliseconds perByte{0};  // drip: pause between single bytes
  bool reset = false;                    // after sending raw, close with RST (SO_LINGER 0)
  bool neverAnswer = false;              // hold the connection open, send nothing, until stop
};

// "HTTP/1.1 <status> <reason>\r\n", each header line followed by CRLF, then
// Content-Length of body, "Connection: close", the empty line and body.
std::string HttpReply(int status, const std::vector<std::string>& headerLines,
                      const std::string& body);

// Binds 127.0.0.1 on a free port and serves each connection on its own thread.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::function<Reply(const ReceivedRequest&)> handler);
  ~LoopbackServer();  // stops and joins promptly, also connections never answered
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& pathAndQuery) const;  // "http://127.0.0.1:<port>" + it
  std::vector<ReceivedRequest> requests() const;           // arrival order, thread-safe

 private:
  void AcceptLoop();
  void Serve(int fd);
  // Sleeps for d unless the server stops first; false when it stopped.
  bool Pause(std::chrono::milliseconds d);

  std::function<Reply(const ReceivedRequest&)> handler_;
  int listenFd_ = -1;
  int wakeFd_ = -1;  // eventfd: readable once the server stops
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<ReceivedRequest> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptThread_;
};

}  // namespace testsupport
