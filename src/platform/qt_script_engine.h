#pragma once
// The script engine's entry points, in a module of its own that the window
// services load on the first script call, so the QML engine and the
// libraries it pulls in take no memory until a captcha is fetched.

#include <QString>

namespace platform {

// What a script function returned, sorted the way the caller turns it into text.
struct ScriptValue {
  enum class Kind { Nothing, Text, Number } kind = Kind::Nothing;
  QString text;  // Text: the value as text
  double number = 0;
};

}  // namespace platform

extern "C" {
// Adds code to the program of component's engine (started on first use).
void CtdiskScriptAddCode(const QString& component, const QString& code);
// Calls the named function of component's engine with no arguments; Nothing
// when there is no such function, it failed, or it returned undefined or null.
void CtdiskScriptRunFunction(const QString& component, const QString& name,
                             platform::ScriptValue* result);
}
