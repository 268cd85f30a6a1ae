// Linked into the program's own main() to make a test variant of the whole
// program that acts on its window by itself: it points the requests at a
// given host and plays a list of timed steps once the application exists.
//
//   ctdisk-helper-driver --host HOST --steps STEP[,STEP...]
//
// STEP is ACTION@MS, run MS milliseconds after the application starts; each
// step has its own timer, so a step may run while an earlier one still waits
// inside a request. ACTION is one of:
//   click:NAME          clicks the button NAME (按钮1, 按钮2, ...)
//   type:NAME=TEXT      sets the text of the edit box NAME
//   close               prints "closing", then closes the main window
//   flows:N             N times: fetch a captcha, then ask for the links;
//                       prints "first-round-done" after the first time
//                       and "flows-done" at the end
// Each printed line goes to stdout at once.

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "client/service.h"
#include "platform/qt_window.h"

namespace {

QWidget* MainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->findChild<QAbstractButton*>(QStringLiteral("按钮1")) != nullptr) return widget;
  }
  return nullptr;
}

void Say(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Click(const QString& name) {
  QWidget* window = MainWindow();
  auto* button = window ? window->findChild<QAbstractButton*>(name) : nullptr;
  if (button != nullptr) button->click();
}

void Type(const QString& name, const QString& value) {
  QWidget* window = MainWindow();
  if (window == nullptr) return;
  if (auto* line = window->findChild<QLineEdit*>(name)) line->setText(value);
  if (auto* box = window->findChild<QPlainTextEdit*>(name)) box->setPlainText(value);
}

void Run(const QString& action) {
  if (action.startsWith(QStringLiteral("click:"))) {
    Click(action.mid(6));
  } else if (action.startsWith(QStringLiteral("type:"))) {
    const QString rest = action.mid(5);
    const qsizetype eq = rest.indexOf(QLatin1Char('='));
    Type(rest.left(eq), rest.mid(eq + 1));
  } else if (action == QStringLiteral("close")) {
    Say("closing");
    if (QWidget* window = MainWindow()) window->close();
  } else if (action.startsWith(QStringLiteral("flows:"))) {
    const int rounds = action.mid(6).toInt();
    for (int i = 0; i < rounds; ++i) {
      Click(QStringLiteral("按钮2"));
      Click(QStringLiteral("按钮1"));
      if (i == 0) Say("first-round-done");
    }
    Say("flows-done");
  } else {
    std::fprintf(stderr, "driver: unknown step %s\n", qPrintable(action));
  }
}

QString Option(const QStringList& arguments, const QString& name) {
  const qsizetype at = arguments.indexOf(name);
  return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

void StartDriving() {
  const QStringList arguments = QCoreApplication::arguments();
  const QString host = Option(arguments, QStringLiteral("--host"));
  if (!host.isEmpty()) client::SetServiceHostForTesting(platform::FromQString(host));
  for (const QString& step :
       Option(arguments, QStringLiteral("--steps")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const qsizetype at = step.lastIndexOf(QLatin1Char('@'));
    const QString action = step.left(at);
    QTimer::singleShot(step.mid(at + 1).toInt(), qApp, [action] { Run(action); });
  }
}

}  // namespace

// Runs inside the QApplication constructor of the program's main(), before
// its window is built: the timers start counting once the event loop runs.
Q_COREAPP_STARTUP_FUNCTION(StartDriving)
