#include "client/app_state.h"

#include "web/web_access.h"

namespace client {

AppState& State() {
  static AppState state;
  return state;
}

void ReleaseState() {
  AppState& state = State();
  text::Text().swap(state.pageText);
  text::Text().swap(state.thunderLink);
  text::Text().swap(state.telecomLink);
  text::Text().swap(state.unicomLink);
}

void RunExitRoutine() {
  ReleaseState();
  web::CancelAndJoinWorkers();
}

}  // namespace client
