// Start-up and exit of the program.

#include <QApplication>
#include <QWidget>
#include <memory>

#include "client/app_state.h"
#include "client/main_window.h"
#include "web/http.h"

int main(int argc, char** argv) {
  // The HTTP library must be set up before any thread exists.
  web::http::GlobalInit();
  QApplication app(argc, argv);
  // Closing the window ends every request still running, so a close in the
  // middle of one does not wait for its time-out.
  QObject::connect(&app, &QGuiApplication::lastWindowClosed, &client::RunExitRoutine);
  std::unique_ptr<QWidget> window(client::CreateMainWindow());
  window->show();
  const int code = QApplication::exec();
  client::RunExitRoutine();
  return code;
}
