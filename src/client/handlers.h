#pragma once
// What the main window's controls do. Each handler reads and writes the
// window through platform/window.h and the shared AppState.

namespace client {

// Fetches a fresh captcha for the address in 编辑框2 and shows it on top of
// the earlier ones in 动画框1 (按钮2, or a click on the picture).
void FetchCaptcha();

// Posts the file id and the typed captcha and shows the three download links
// in 编辑框3, or tells the user why not (按钮1).
void FetchDownloadLinks();

// The copy buttons: the stored link on the clipboard, empty when none yet.
void CopyThunderLink();
void CopyTelecomLink();
void CopyUnicomLink();

// 标签3: the bare file-page prefix on the clipboard.
void CopyAddressFormat();

// 按钮6: who made the program and how to reach them.
void ShowAbout();

}  // namespace client
