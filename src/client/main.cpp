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
  std::unique_ptr<QWidget> window(client::CreateMainWindow());
  window->show();
  const int code = QApplication::exec();
  client::RunExitRoutine();
  return code;
}
