#pragma once
// What the program's handlers need of the main window, the clipboard and the
// script engine. Controls are named as in the window definition ("编辑框2",
// names given in UTF-8); all texts crossing this boundary are GBK.

#include <string_view>

#include "text/text.h"

namespace platform {

// Modal message box with the caption "信息：" and one OK button; returns when
// dismissed.
void ShowMessage(const text::Text& message);

text::Text ControlText(std::string_view control);
void SetControlText(std::string_view control, const text::Text& value);

// Puts plain text on the system clipboard; a failure is not reported.
void SetClipboardText(const text::Text& value);

// A new picture object in the picture box, drawn over the earlier ones at
// (x, y); returns its identifier.
int CreatePictureObject(std::string_view box, std::string_view objectTemplate, int x, int y,
                        bool visible);
// Shows the image file held in picture at its natural size; bytes that are
// not a picture leave the object empty and not drawn.
void SetObjectPicture(std::string_view box, int objectId, const text::Bytes& picture);

// Adds code to the script engine's program (the engine starts on first use).
void AddScriptCode(std::string_view component, const text::Text& code);
// Calls the named function with no arguments and returns its value as text.
text::Text RunScriptFunction(std::string_view component, const text::Text& name);

}  // namespace platform
