// Event dispatch and the worker wait on Qt's event loop.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// The event loop that waits for each worker, so the worker's end can wake
// exactly that thread.
struct Waiter {
  const WorkerEnd* end;
  QAbstractEventDispatcher* dispatcher;
};

struct Waiters {
  std::mutex mutex;
  std::vector<Waiter> list;
};

// Never destroyed: workers joined during static destruction still signal.
Waiters& TheWaiters() {
  static Waiters* waiters = new Waiters;
  return *waiters;
}

// Registered for the span of one wait, which keeps its dispatcher alive while a
// worker may call wakeUp on it.
class WaiterScope {
 public:
  WaiterScope(const WorkerEnd& end, QAbstractEventDispatcher* dispatcher) : end_(end) {
    std::lock_guard lock(TheWaiters().mutex);
    TheWaiters().list.push_back({&end, dispatcher});
  }
  ~WaiterScope() {
    Waiters& waiters = TheWaiters();
    std::lock_guard lock(waiters.mutex);
    // The last match: nested waits on the same end stack up.
    auto it = std::find_if(waiters.list.rbegin(), waiters.list.rend(),
                           [this](const Waiter& w) { return w.end == &end_; });
    waiters.list.erase(std::next(it).base());
  }
  WaiterScope(const WaiterScope&) = delete;
  WaiterScope& operator=(const WaiterScope&) = delete;

 private:
  const WorkerEnd& end_;
};

bool HasEnded(WorkerEnd& end) {
  std::lock_guard lock(end.mutex);
  return end.ended;
}

// Without an event loop on this thread there are no window events to wait for.
WakeReason WaitWithoutEvents(WorkerEnd& end, std::chrono::milliseconds timeout) {
  std::unique_lock lock(end.mutex);
  if (timeout.count() > 0) end.changed.wait_for(lock, timeout, [&end] { return end.ended; });
  return end.ended ? WakeReason::WorkerEnded : WakeReason::TimedOut;
}

// QTimer counts in int milliseconds.
constexpr std::chrono::milliseconds kLongestTimer{INT_MAX};

}  // namespace

void DispatchPendingEvents() {
  if (QCoreApplication::instance() == nullptr) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SignalWorkerEnded(WorkerEnd& end) {
  // Holding the waiters' lock across the flag keeps a registered waiter, and
  // so its dispatcher, in place until it is woken. A waiter that registers
  // later sees the flag before it blocks; wakeUp is remembered by the
  // dispatcher until its next processEvents, so no wake is lost in between.
  Waiters& waiters = TheWaiters();
  std::lock_guard waitersLock(waiters.mutex);
  {
    std::lock_guard lock(end.mutex);
    end.ended = true;
    end.changed.notify_all();
  }
  for (const Waiter& waiter : waiters.list) {
    if (waiter.end == &end) waiter.dispatcher->wakeUp();
  }
}

WakeReason WaitForWorkerOrEvent(WorkerEnd& end, std::chrono::milliseconds timeout) {
  QAbstractEventDispatcher* dispatcher =
      QCoreApplication::instance() != nullptr ? QAbstractEventDispatcher::instance() : nullptr;
  if (dispatcher == nullptr || timeout.count() <= 0) return WaitWithoutEvents(end, timeout);

  WaiterScope scope(end, dispatcher);
  if (HasEnded(end)) return WakeReason::WorkerEnded;

  bool timerFired = false;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&timerFired] { timerFired = true; });
  timer.start(std::min(timeout, kLongestTimer));
  // Blocks until anything arrives for this thread: a window event, a posted
  // event, a timer (ours included) or the worker's wakeUp; runs what arrived.
  dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
  timer.stop();

  if (HasEnded(end)) return WakeReason::WorkerEnded;
  if (timerFired && timeout <= kLongestTimer) return WakeReason::TimedOut;
  return WakeReason::WindowEvent;
}

}  // namespace platform
