// The script engine on QJSEngine, built as a module that the window services
// load when the first script call comes.

#include "platform/qt_script_engine.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QPointer>
#include <cmath>
#include <map>

namespace {

QJSEngine& Engine(const QString& component) {
  static std::map<QString, QPointer<QJSEngine>> engines;
  QPointer<QJSEngine>& engine = engines[component];
  // Parented to the application so it goes with it; recreated if it went.
  if (engine.isNull()) engine = new QJSEngine(QCoreApplication::instance());
  return *engine;
}

}  // namespace

extern "C" {

Q_DECL_EXPORT void CtdiskScriptAddCode(const QString& component, const QString& code) {
  Engine(component).evaluate(code);
}

Q_DECL_EXPORT void CtdiskScriptRunFunction(const QString& component, const QString& name,
                                           platform::ScriptValue* result) {
  using Kind = platform::ScriptValue::Kind;
  *result = {};
  QJSValue function = Engine(component).globalObject().property(name);
  if (!function.isCallable()) return;
  const QJSValue value = function.call();
  if (value.isError() || value.isUndefined() || value.isNull()) return;
  if (value.isNumber() && std::isfinite(value.toNumber())) {
    *result = {Kind::Number, {}, value.toNumber()};
  } else {
    *result = {Kind::Text, value.toString(), 0};
  }
}

}  // extern "C"
