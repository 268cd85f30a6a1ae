#pragma once
// Test-only: lets a test see and answer the program's message boxes.

#include <functional>

class QMessageBox;

namespace platform::testing {

// While set, every message box calls answer once it is on screen and is then
// dismissed with its OK button. An empty function restores the normal wait
// for the user.
void AnswerMessageBoxes(std::function<void(const QMessageBox&)> answer);

}  // namespace platform::testing
