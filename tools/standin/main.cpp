// ctdisk-standin: a stand-in for the file-hosting service on 127.0.0.1, for
// the demo and the end-to-end test.

#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "options.h"
#include "server.h"

int main(int argc, char** argv) {
  const standin::ParsedOptions parsed = standin::ParseOptions(argc, argv);
  if (parsed.options.help) {
    std::cout << standin::Usage(argv[0]);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::cerr << argv[0] << ": " << parsed.error << "\n" << standin::Usage(argv[0]);
    return 2;
  }

  // Block the stop signals before any thread starts, so that only the waiter
  // below receives them and can stop the server outside a signal handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  standin::State state;
  state.options = parsed.options;
  if (!state.options.logPath.empty()) {
    state.log = std::fopen(state.options.logPath.c_str(), "a");
    if (state.log == nullptr) {
      std::perror(state.options.logPath.c_str());
      return 1;
    }
  }

  httplib::Server server;
  standin::InstallRoutes(server, state);
  const char* host = "127.0.0.1";
  state.port = state.options.port == 0
                   ? server.bind_to_any_port(host)
                   : (server.bind_to_port(host, state.options.port) ? state.options.port : -1);
  if (state.port <= 0) {
    std::cerr << argv[0] << ": cannot listen on " << host << ":" << state.options.port << "\n";
    return 1;
  }
  if (state.options.printPort) std::cout << state.port << std::endl;
  std::cerr << "stand-in file host on http://" << host << ":" << state.port << "/file/"
            << state.options.fileIds.front() << std::endl;

  std::thread waiter([&server, &stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
  });
  const bool ok = server.listen_after_bind();
  // The server may also end on its own; wake the waiter so it can be joined.
  if (!ok) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (state.log != nullptr) std::fclose(state.log);
  return ok ? 0 : 1;
}
