// Start-up and exit of the program.

#include <QApplication>
#include <QWidget>
#include <memory>

#include "client/app_state.h"
#include "client/main_window.h"

int main(int argc, char** argv) {
  // The HTTP library is loaded and set up by the first request, not here
  // (its set-up is thread-safe in the libcurl versions we build against).
  QApplication app(argc, argv);
  std::unique_ptr<QWidget> window(client::CreateMainWindow());
  window->show();
  const int code = QApplication::exec();
  client::RunExitRoutine();
  return code;
}
