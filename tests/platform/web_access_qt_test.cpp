// The Qt wait and WebAccess on a real Qt event loop: window events run while a
// call waits, nested calls unwind in order, and a worker's end wakes the loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/loopback_server.h"
#include "web/web_access.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::WakeReason;
using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

LoopbackServer AnsweringAfter(std::chrono::milliseconds delay, std::string body) {
  return LoopbackServer([delay, body](const ReceivedRequest&) {
    return Reply{.raw = HttpReply(200, {}, body), .delay = delay};
  });
}

std::string Get(const LoopbackServer& server, int timeoutSeconds) {
  std::string url = server.url("/");
  return web::WebAccess(url, {.timeoutSeconds = timeoutSeconds}).data;
}

// Without an application object there is no event loop: dispatching does
// nothing and the wait watches only the worker.
TEST(QtWaitWithoutApplication, FallsBackToAPlainWait) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  platform::DispatchPendingEvents();

  platform::WorkerEnd idle;
  EXPECT_EQ(platform::WaitForWorkerOrEvent(idle, 20ms), WakeReason::TimedOut);

  platform::WorkerEnd end;
  std::thread worker([&end] {
    std::this_thread::sleep_for(20ms);
    platform::SignalWorkerEnded(end);
  });
  EXPECT_EQ(platform::WaitForWorkerOrEvent(end, 10s), WakeReason::WorkerEnded);
  worker.join();
}

class QtWait : public testing::Test {
 protected:
  static void SetUpTestSuite() { app_ = new QCoreApplication(argc_, argv_); }
  static void TearDownTestSuite() {
    web::CancelAndJoinWorkers();
    delete app_;
    app_ = nullptr;
  }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "web_access_qt_test";
  static inline char* argv_[] = {name_, nullptr};
  static inline QCoreApplication* app_ = nullptr;
};

TEST_F(QtWait, ReportsWhatEndedTheWait) {
  struct Row {
    const char* name;
    std::function<void(platform::WorkerEnd&)> before;  // runs on this thread before the wait
    std::chrono::milliseconds timeout;
    WakeReason expected;
  } rows[] = {
      {"an ended worker returns at once",
       [](platform::WorkerEnd& e) { platform::SignalWorkerEnded(e); }, 10s,
       WakeReason::WorkerEnded},
      {"a posted event wakes it", [](platform::WorkerEnd&) { QTimer::singleShot(0, [] {}); }, 10s,
       WakeReason::WindowEvent},
      {"nothing at all: the time-out", [](platform::WorkerEnd&) {}, 50ms, WakeReason::TimedOut},
      {"a zero time-out does not block", [](platform::WorkerEnd&) {}, 0ms, WakeReason::TimedOut},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform::WorkerEnd end;
    platform::DispatchPendingEvents();
    row.before(end);
    const auto start = Clock::now();
    EXPECT_EQ(platform::WaitForWorkerOrEvent(end, row.timeout), row.expected);
    EXPECT_LT(Clock::now() - start, row.timeout + 1s);
    platform::DispatchPendingEvents();
  }
}

TEST_F(QtWait, WorkerEndFromAnotherThreadIsNeverLost) {
  // The worker ends at every possible moment around the start of the wait; a
  // lost wake would leave the wait blocked until its 5-second time-out.
  for (int i = 0; i < 200; ++i) {
    platform::WorkerEnd end;
    std::thread worker([&end] { platform::SignalWorkerEnded(end); });
    const auto start = Clock::now();
    // A wake left over from the last round may end a wait early, as any
    // window event may; callers then wait again.
    WakeReason reason = WakeReason::WindowEvent;
    while (reason == WakeReason::WindowEvent) reason = platform::WaitForWorkerOrEvent(end, 5s);
    EXPECT_EQ(reason, WakeReason::WorkerEnded);
    worker.join();
    ASSERT_LT(Clock::now() - start, 2s) << "iteration " << i;
  }
}

TEST_F(QtWait, WindowEventsRunWhileACallWaits) {
  LoopbackServer server = AnsweringAfter(2s, "slow");
  std::optional<Clock::time_point> handled;
  QTimer::singleShot(0, [&handled] { handled = Clock::now(); });
  const auto start = Clock::now();
  EXPECT_EQ(Get(server, 10), "slow");
  ASSERT_TRUE(handled.has_value());
  EXPECT_LT(*handled - start, 1s) << "handled only when the 2-second call was over";
}

TEST_F(QtWait, NestedCallCompletesFirstAndTheOuterFinishesNormally) {
  LoopbackServer outer = AnsweringAfter(600ms, "outer");
  LoopbackServer inner = AnsweringAfter(0ms, "inner");
  std::vector<std::string> finished;
  QTimer::singleShot(100ms, [&] { finished.push_back(Get(inner, 10)); });
  finished.push_back(Get(outer, 10));
  EXPECT_EQ(finished, (std::vector<std::string>{"inner", "outer"}));
}

TEST_F(QtWait, CallHeldPastItsLimitByANestedCallTimesOut) {
  // The outer worker ends after 100 ms, but the nested call keeps the outer
  // wait busy beyond its 1-second limit: the time-out wins.
  LoopbackServer outer = AnsweringAfter(100ms, "outer");
  LoopbackServer inner = AnsweringAfter(1500ms, "inner");
  std::string innerBody;
  QTimer::singleShot(20ms, [&] { innerBody = Get(inner, 10); });
  EXPECT_EQ(Get(outer, 1), web::TimeoutText());
  EXPECT_EQ(innerBody, "inner");
}

TEST_F(QtWait, LateWindowEventDoesNotExtendTheLimit) {
  LoopbackServer silent([](const ReceivedRequest&) {
    Reply silence;
    silence.neverAnswer = true;
    return silence;
  });
  QTimer::singleShot(800ms, [] {});
  const auto start = Clock::now();
  EXPECT_EQ(Get(silent, 1), web::TimeoutText());
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 1s);
  EXPECT_LT(took, 1500ms) << "the wait after the event got the whole limit again";
  web::CancelAndJoinWorkers();
}

TEST_F(QtWait, ExitPathCancelsACallStillWaiting) {
  // Closing the window runs the exit path from inside a call's wait: the
  // call's own worker is cancelled and joined, and the call returns at once.
  LoopbackServer silent([](const ReceivedRequest&) {
    Reply silence;
    silence.neverAnswer = true;
    return silence;
  });
  QTimer::singleShot(200ms, [] { web::CancelAndJoinWorkers(); });
  const auto start = Clock::now();
  EXPECT_NE(Get(silent, 10), web::TimeoutText());
  EXPECT_LT(Clock::now() - start, 5s);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
