#pragma once
// The Qt side of the window services: the window that owns the named
// controls, and the conversions between the program's GBK texts and QString.

#include <QString>

#include "text/text.h"

class QWidget;

namespace platform {

// The window whose children the control names of window.h refer to. The
// window registers itself when it is built and detaches itself (null) when
// it closes; from then on message boxes are no longer shown.
void SetMainWindow(QWidget* window);

// GBK to QString and back, with the 936 table.
QString ToQString(const text::Text& gbk);
text::Text FromQString(const QString& utf16);

}  // namespace platform
