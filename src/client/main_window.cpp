#include "client/main_window.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <vector>

#include "client/app_state.h"
#include "client/handlers.h"
#include "client/service.h"
#include "platform/qt_window.h"

namespace client {
namespace {

enum class Kind { Label, LineEdit, Button, PictureBox, PlainEdit, ScrollEdit, Hidden };

struct Control {
  const char* name;
  Kind kind;
  int x, y, width, height;
  QString text;
  std::function<void()> action;  // click, or left button released over it
};

// Left-button releases over labels and the picture box; the window's first
// paint and its close.
class WindowEvents : public QObject {
 public:
  explicit WindowEvents(QObject* parent) : QObject(parent) {}

  void BindRelease(QObject* control, std::function<void()> action) {
    releaseActions_.push_back({control, std::move(action)});
    control->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
#ifdef CTDISK_FIRST_PAINT_MARKER
    if (event->type() == QEvent::Paint && watched == parent() && !painted_) {
      painted_ = true;
      std::fputs("first-paint\n", stdout);
      std::fflush(stdout);
    }
#endif
    if (event->type() == QEvent::Close && watched == parent()) {
      // Closing the window ends the program: requests still running are
      // cancelled now rather than left to run out their time.
      platform::SetMainWindow(nullptr);
      RunExitRoutine();
    }
    if (event->type() != QEvent::MouseButtonRelease) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (mouse->button() != Qt::LeftButton || widget == nullptr ||
        !widget->rect().contains(mouse->position().toPoint())) {
      return false;
    }
    for (const auto& [control, action] : releaseActions_) {
      if (control == watched) action();
    }
    return false;
  }

 private:
  std::vector<std::pair<QObject*, std::function<void()>>> releaseActions_;
#ifdef CTDISK_FIRST_PAINT_MARKER
  bool painted_ = false;
#endif
};

QString Utf8(const char* literal) {
  return QString::fromUtf8(literal);
}

std::vector<Control> Controls() {
  const QString prefix = platform::ToQString(FilePagePrefix());
  return {
      {"标签1", Kind::Label, 8, 8, 40, 24, Utf8("地址"), {}},
      {"编辑框2", Kind::LineEdit, 56, 8, 328, 24, prefix + Utf8("8057452"), {}},
      {"按钮2", Kind::Button, 392, 8, 72, 24, Utf8("获取验证码"), FetchCaptcha},
      {"动画框1", Kind::PictureBox, 0, 32, 170, 105, {}, FetchCaptcha},
      {"标签3", Kind::Label, 176, 32, 288, 32,
       Utf8("地址格式为\"") + prefix + Utf8("xxxxxxxx\"\n单击此处复制格式"), CopyAddressFormat},
      {"透明标签1", Kind::Label, 176, 88, 160, 32, Utf8("单击图片换验证码"), {}},
      {"动画物体1", Kind::Hidden, 0, 120, 24, 24, {}, {}},
      {"脚本组件1", Kind::Hidden, 24, 120, 24, 24, {}, {}},
      {"编辑框1", Kind::PlainEdit, 176, 120, 48, 24, {}, {}},
      {"按钮1", Kind::Button, 224, 120, 96, 24, Utf8("获取下载地址"), FetchDownloadLinks},
      {"编辑框3", Kind::ScrollEdit, 0, 144, 472, 176, {}, {}},
      {"按钮6", Kind::Button, 0, 320, 24, 24, Utf8("!"), ShowAbout},
      {"标签2", Kind::Label, 200, 320, 80, 24, Utf8("选择要复制的"), {}},
      {"按钮3", Kind::Button, 280, 320, 56, 24, Utf8("迅雷"), CopyThunderLink},
      {"按钮4", Kind::Button, 344, 320, 56, 24, Utf8("电信"), CopyTelecomLink},
      {"按钮5", Kind::Button, 408, 320, 56, 24, Utf8("联通"), CopyUnicomLink},
  };
}

QPlainTextEdit* MultiLineEdit(QWidget* window, Qt::ScrollBarPolicy vertical) {
  auto* edit = new QPlainTextEdit(window);
  edit->setVerticalScrollBarPolicy(vertical);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Links have no spaces to break at.
  edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  edit->setTabChangesFocus(true);
  return edit;
}

QWidget* CreateControl(QWidget* window, WindowEvents* events, const Control& control) {
  QWidget* widget = nullptr;
  switch (control.kind) {
    case Kind::Label: {
      auto* label = new QLabel(control.text, window);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      if (control.action) events->BindRelease(label, control.action);
      widget = label;
      break;
    }
    case Kind::LineEdit:
      widget = new QLineEdit(control.text, window);
      break;
    case Kind::Button: {
      auto* button = new QPushButton(control.text, window);
      QObject::connect(button, &QPushButton::clicked, control.action);
      widget = button;
      break;
    }
    case Kind::PictureBox: {
      auto* box = new QFrame(window);
      box->setFocusPolicy(Qt::StrongFocus);
      events->BindRelease(box, control.action);
      widget = box;
      break;
    }
    case Kind::PlainEdit:
      widget = MultiLineEdit(window, Qt::ScrollBarAlwaysOff);
      break;
    case Kind::ScrollEdit:
      widget = MultiLineEdit(window, Qt::ScrollBarAlwaysOn);
      break;
    case Kind::Hidden:
      widget = new QWidget(window);
      widget->hide();
      break;
  }
  const QString name = Utf8(control.name);
  widget->setObjectName(name);
  widget->setAccessibleName(name);
  widget->setGeometry(control.x, control.y, control.width, control.height);
  return widget;
}

}  // namespace

QWidget* CreateMainWindow() {
  auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  window->setWindowTitle(Utf8("【鲸舟】城通网盘"));
  auto* events = new WindowEvents(window);
  window->installEventFilter(events);

  QWidget* previousStop = nullptr;
  for (const Control& control : Controls()) {
    QWidget* widget = CreateControl(window, events, control);
    // Tab order follows the order of the window definition.
    if (widget->focusPolicy() & Qt::TabFocus) {
      if (previousStop != nullptr) QWidget::setTabOrder(previousStop, widget);
      previousStop = widget;
    }
  }
  window->setFixedSize(472, 344);
  window->move(50, 50);
  platform::SetMainWindow(window);
  return window;
}

}  // namespace client
