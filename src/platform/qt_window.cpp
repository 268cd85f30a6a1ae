// The window services on Qt Widgets; the script engine on QJSEngine, in a
// module loaded on the first script call.

#include "platform/qt_window.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <map>
#include <string>

#include "platform/qt_script_engine.h"
#include "platform/qt_window_testing.h"
#include "platform/window.h"
#include "text/codepage.h"

namespace platform {
namespace {

QPointer<QWidget>& MainWindow() {
  static QPointer<QWidget> window;
  return window;
}

// True once the registered window has been detached: the program is closing.
bool& Closing() {
  static bool closing = false;
  return closing;
}

std::function<void(const QMessageBox&)>& MessageBoxAnswer() {
  static std::function<void(const QMessageBox&)> answer;
  return answer;
}

QString NameOf(std::string_view control) {
  return QString::fromUtf8(control.data(), static_cast<qsizetype>(control.size()));
}

QWidget* FindControl(std::string_view control) {
  QWidget* window = MainWindow();
  if (window == nullptr) return nullptr;
  return window->findChild<QWidget*>(NameOf(control));
}

// The program's texts break lines with CR LF, Qt's with LF alone.
QString ToQtLines(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
QString ToProgramLines(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
      .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

struct PictureObject {
  QPointer<QLabel> label;
  bool visible = false;
};

std::map<int, PictureObject>& PictureObjects() {
  static std::map<int, PictureObject> objects;
  return objects;
}

struct ScriptModule {
  decltype(&CtdiskScriptAddCode) addCode = nullptr;
  decltype(&CtdiskScriptRunFunction) runFunction = nullptr;
};

// The script engine module, looked for next to the program, then where
// `cmake --install` puts it, then where the build put it. Without it scripts
// do nothing and functions return no text.
const ScriptModule& Script() {
  static const ScriptModule module = [] {
    const QString programDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString name = QString::fromUtf8(CTDISK_SCRIPT_MODULE_NAME);
    const QString places[] = {
        programDir + name,
        programDir + QString::fromUtf8(CTDISK_SCRIPT_MODULE_INSTALLED_DIR) + QLatin1Char('/') + name,
        QString::fromUtf8(CTDISK_SCRIPT_MODULE_PATH)};
    for (const QString& place : places) {
      QLibrary library(place);
      ScriptModule found{
          reinterpret_cast<decltype(&CtdiskScriptAddCode)>(library.resolve("CtdiskScriptAddCode")),
          reinterpret_cast<decltype(&CtdiskScriptRunFunction)>(
              library.resolve("CtdiskScriptRunFunction"))};
      if (found.addCode != nullptr && found.runFunction != nullptr) return found;
    }
    return ScriptModule{};
  }();
  return module;
}

// Numbers come out as the Windows variant conversion writes a double: up to
// 15 significant digits, plain notation for ordinary fractions, and always a
// digit before the point ("0.43", never ".43").
text::Text NumberText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

}  // namespace

void SetMainWindow(QWidget* window) {
  Closing() = window == nullptr && !MainWindow().isNull();
  MainWindow() = window;
}

QString ToQString(const text::Text& gbk) {
  const std::u16string utf16 = text::GbkToUtf16(gbk);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

text::Text FromQString(const QString& utf16) {
  return text::Utf16ToGbk(
      std::u16string(reinterpret_cast<const char16_t*>(utf16.utf16()), utf16.size()));
}

void ShowMessage(const text::Text& message) {
  // A handler that resumes after the window closed has nobody left to tell.
  if (Closing()) return;
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("信息："), ToQtLines(ToQString(message)),
                  QMessageBox::Ok, nullptr);
  box.setWindowModality(Qt::ApplicationModal);
  if (MessageBoxAnswer()) {
    // Runs inside the box's own event loop, so the box is really up by then.
    QTimer::singleShot(0, &box, [&box] {
      MessageBoxAnswer()(box);
      box.button(QMessageBox::Ok)->click();
    });
  }
  box.exec();
}

text::Text ControlText(std::string_view control) {
  QWidget* widget = FindControl(control);
  QString value;
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    value = line->text();
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    value = plain->toPlainText();
  } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
    value = rich->toPlainText();
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    value = label->text();
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    value = button->text();
  }
  return FromQString(ToProgramLines(value));
}

void SetControlText(std::string_view control, const text::Text& value) {
  QWidget* widget = FindControl(control);
  const QString qtValue = ToQString(value);
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setText(qtValue);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    plain->setPlainText(ToQtLines(qtValue));
  } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
    rich->setPlainText(ToQtLines(qtValue));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQtLines(qtValue));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(qtValue);
  }
}

void SetClipboardText(const text::Text& value) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(ToQString(value));
}

int CreatePictureObject(std::string_view box, std::string_view objectTemplate, int x, int y,
                        bool visible) {
  static int lastId = 0;
  const int id = ++lastId;
  QWidget* boxWidget = FindControl(box);
  if (boxWidget == nullptr) return id;
  auto* label = new QLabel(boxWidget);
  label->setObjectName(NameOf(objectTemplate) + QLatin1Char('_') + QString::number(id));
  label->setAccessibleName(label->objectName());
  // Clicks belong to the picture box, which fetches a new captcha on them.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->move(x, y);
  label->resize(0, 0);
  label->raise();
  label->hide();  // nothing to draw until a picture arrives
  PictureObjects()[id] = {label, visible};
  return id;
}

void SetObjectPicture(std::string_view box, int objectId, const text::Bytes& picture) {
  auto it = PictureObjects().find(objectId);
  if (it == PictureObjects().end() || it->second.label.isNull()) return;
  QLabel* label = it->second.label;
  if (label->parentWidget() != FindControl(box)) return;
  QPixmap pixmap;
  const bool decoded = pixmap.loadFromData(reinterpret_cast<const uchar*>(picture.data.data()),
                                           static_cast<uint>(picture.data.size()));
  if (!decoded) {
    label->clear();
    label->hide();
    return;
  }
  label->setPixmap(pixmap);
  label->resize(pixmap.size());
  label->setVisible(it->second.visible);
}

void AddScriptCode(std::string_view component, const text::Text& code) {
  if (Script().addCode != nullptr) Script().addCode(NameOf(component), ToQString(code));
}

text::Text RunScriptFunction(std::string_view component, const text::Text& name) {
  if (Script().runFunction == nullptr) return {};
  ScriptValue result;
  Script().runFunction(NameOf(component), ToQString(name), &result);
  // A failed call and a missing value both read as no text, as an empty variant does.
  switch (result.kind) {
    case ScriptValue::Kind::Nothing:
      return {};
    case ScriptValue::Kind::Number:
      return NumberText(result.number);
    case ScriptValue::Kind::Text:
      return FromQString(result.text);
  }
  return {};
}

namespace testing {

void AnswerMessageBoxes(std::function<void(const QMessageBox&)> answer) {
  MessageBoxAnswer() = std::move(answer);
}

}  // namespace testing
}  // namespace platform
