#pragma once
// Helper programs that tests start on loopback (an HTTP proxy, a TLS server)
// and stop again.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// Runs argv[0] (a full path) with the arguments in workDir; output goes to
// /dev/null. The destructor ends it with SIGTERM and reaps it.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& workDir);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();

// True once something accepts connections on 127.0.0.1:port, false after limit.
bool WaitForLoopbackPort(int port, std::chrono::milliseconds limit);

// Runs a shell command line in workDir and returns its exit status.
int RunCommand(const std::string& commandLine, const std::string& workDir);

// A fresh directory under the system's temporary directory.
std::string MakeTempDir();

}  // namespace testsupport
