#pragma once
// The program's one window: its controls, their texts and geometry, and the
// bindings of their events to the handlers.

class QWidget;

namespace client {

// Builds the main window, registers it with the platform layer and returns
// it hidden; the caller owns it. Closing it runs the exit routine.
QWidget* CreateMainWindow();

}  // namespace client
