#pragma once
// What the core needs of the window toolkit: letting pending window events run
// during long work, and waiting for a worker thread without freezing the
// window. Plain C++; the program links the Qt implementation, core tests link
// the headless one.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// Runs the window events waiting for this thread until none is left, then
// returns. Handlers may run inside this call.
void DispatchPendingEvents();

// Set once by a worker thread when it has finished; read by its waiting caller.
struct WorkerEnd {
  std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;
};

// Called by the worker as its very last step: marks the end and wakes the
// thread that waits for it.
void SignalWorkerEnded(WorkerEnd& end);

enum class WakeReason { WorkerEnded, WindowEvent, TimedOut };

// Returns when the worker has ended, when a window event arrives for this
// thread (input, posted event, timer, paint), or after timeout. The Qt
// implementation may run the arrived events before it returns.
WakeReason WaitForWorkerOrEvent(WorkerEnd& end, std::chrono::milliseconds timeout);

}  // namespace platform
