// The platform layer without a window: there are no window events, so
// dispatching does nothing and waiting only watches the worker.
#include "platform/platform.h"

namespace platform {

void DispatchPendingEvents() {}

void SignalWorkerEnded(WorkerEnd& end) {
  // Notifying under the lock: the waiter may destroy `end` as soon as it sees
  // the flag, so nothing of it may be touched after the unlock.
  std::lock_guard<std::mutex> lock(end.mutex);
  end.ended = true;
  end.changed.notify_all();
}

WakeReason WaitForWorkerOrEvent(WorkerEnd& end, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(end.mutex);
  const bool ended = end.changed.wait_for(lock, timeout, [&] { return end.ended; });
  return ended ? WakeReason::WorkerEnded : WakeReason::TimedOut;
}

}  // namespace platform
