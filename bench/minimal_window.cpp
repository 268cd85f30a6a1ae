// The toolkit's floor for the whole-program benchmark: one window with one
// label, printing the same marker line as the program on its first paint.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>
#include <cstdio>

namespace {

class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      std::fputs("first-paint\n", stdout);
      std::fflush(stdout);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  QLabel label(QStringLiteral("label"), &window);
  FirstPaint marker;
  window.installEventFilter(&marker);
  window.resize(472, 344);
  window.show();
  return QApplication::exec();
}
