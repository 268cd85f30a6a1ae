#pragma once
// The state the window's handlers share for the whole run.

#include "text/text.h"

namespace client {

struct AppState {
  text::Text pageText;  // the last result page, in GBK
  text::Text thunderLink;
  text::Text telecomLink;
  text::Text unicomLink;
  int captchaPictureId = 0;  // the picture object of the last captcha fetch
};

// The one AppState of the process, empty at start.
AppState& State();

// Releases the texts held in the state.
void ReleaseState();

// The program's exit routine: releases the state and cancels and joins every
// request still running, so a window closed mid-request ends the process at
// once. Safe to run more than once.
void RunExitRoutine();

}  // namespace client
