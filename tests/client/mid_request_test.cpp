// The window while a request waits: closing it ends the real program at once
// and cleanly, and clicking again nests calls that leave the state of the
// last call to return.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/loopback_server.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// What a run of the program left behind.
struct ProgramRun {
  bool started = false;
  bool exited = false;
  int status = -1;                            // exit status when it exited normally
  std::optional<Clock::duration> afterClose;  // from its "closing" line to its end
  std::string stderrText;
};

// Runs the program driver with args, its stdout read line by line, its
// stderr kept in a file; gives it `limit` to end before it is killed.
ProgramRun RunDriver(const std::vector<std::string>& args, std::chrono::seconds limit) {
  ProgramRun run;
  const std::string dir = testsupport::MakeTempDir();
  const std::string errPath = dir + "/stderr.txt";
  int out[2];
  if (dir.empty() || ::pipe2(out, O_CLOEXEC) != 0) return run;
  std::vector<std::string> argv = {CTDISK_DRIVER};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(err, STDERR_FILENO);
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  run.started = pid > 0;
  const auto deadline = Clock::now() + limit;
  std::optional<Clock::time_point> closing;
  std::string lines;
  for (bool open = run.started; open && Clock::now() < deadline;) {
    pollfd p{out[0], POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[256];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    open = n > 0;
    if (open) lines.append(buf, static_cast<size_t>(n));
    if (!closing && lines.find("closing\n") != std::string::npos) closing = Clock::now();
  }
  ::close(out[0]);
  // The pipe closes when the program ends; the wait below reaps it.
  int status = 0;
  pid_t done = 0;
  while (run.started && (done = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  const auto ended = Clock::now();
  if (run.started && done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  } else if (done == pid) {
    run.exited = WIFEXITED(status);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (closing) run.afterClose = ended - *closing;
  }
  std::ifstream err(errPath);
  std::stringstream text;
  text << err.rdbuf();
  run.stderrText = text.str();
  return run;
}

TEST(ClosingTheProgram, MidRequestItExitsWithinASecondCleanly) {
  Reply silent;
  silent.neverAnswer = true;
  Reply slow{HttpReply(200, {}, "late")};
  slow.delay = 4s;
  const struct {
    const char* behaviour;
    Reply reply;
    const char* steps;
  } rows[] = {
      {"service never answers the download request", silent, "click:按钮1@300,close@900"},
      {"service answers the download request slowly", slow, "click:按钮1@300,close@900"},
      {"service never answers the captcha request", silent, "click:按钮2@300,close@900"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.behaviour);
    LoopbackServer server([&row](const ReceivedRequest&) { return row.reply; });
    const ProgramRun run = RunDriver(
        {"--host", "127.0.0.1:" + std::to_string(server.port()), "--steps", row.steps}, 30s);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(server.requests().size(), 1u) << "the close came before the request";
    EXPECT_TRUE(run.exited) << run.stderrText;
    EXPECT_EQ(run.status, 0) << run.stderrText;
    ASSERT_TRUE(run.afterClose.has_value()) << "no close, or no end after it";
    EXPECT_LE(*run.afterClose, 1s)
        << std::chrono::duration_cast<std::chrono::milliseconds>(*run.afterClose).count() << " ms";
    for (const char* report :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error"}) {
      EXPECT_EQ(run.stderrText.find(report), std::string::npos) << run.stderrText;
    }
  }
}

std::string Base64(const std::string& plain) {
  return QByteArray::fromStdString(plain).toBase64().toStdString();
}

// A result page whose three links all carry the tag n.
std::string PageOf(int n) {
  const std::string tag = std::to_string(n);
  return "<a thunderHref=\"thunder://t" + tag + "\">x</a></div><a class=\"telecom\" href=\"" +
         Base64("http://dx.example.net/" + tag) + "\" id=\"telcom_free\">y</a><a href=\"" +
         Base64("http://lt.example.net/" + tag) +
         "\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>";
}

TEST_F(WindowTest, NestedClicksLeaveTheStateOfTheLastCallToReturn) {
  // The n-th download request is answered after delays[n-1]: the first
  // reply arrives last, the second first. Nested calls return innermost
  // first, so the first click's call returns last whatever the replies' order.
  const std::chrono::milliseconds delays[] = {1200ms, 200ms, 600ms};
  std::atomic<int> posts{0};
  LoopbackServer server([&](const ReceivedRequest&) {
    const int n = ++posts;
    Reply reply{HttpReply(200, {}, PageOf(n))};
    reply.delay = delays[(n - 1) % 3];
    return reply;
  });
  client::SetServiceHostForTesting("127.0.0.1:" + std::to_string(server.port()));

  std::vector<std::string> returned;  // thunder link after each call returned
  auto* links = Control<QPlainTextEdit>("编辑框3");
  QObject::connect(links, &QPlainTextEdit::textChanged,
                   [&] { returned.push_back(client::State().thunderLink); });
  QTimer::singleShot(100, window_.get(), [this] { Click("按钮1"); });
  QTimer::singleShot(250, window_.get(), [this] { Click("按钮1"); });
  Click("按钮1");

  EXPECT_EQ(posts.load(), 3);
  EXPECT_EQ(returned, (std::vector<std::string>{"thunder://t3", "thunder://t2", "thunder://t1"}));
  const client::AppState& state = client::State();
  EXPECT_EQ(state.pageText, Gbk(PageOf(1)));
  EXPECT_EQ(state.thunderLink, "thunder://t1");
  EXPECT_EQ(state.telecomLink, "http://dx.example.net/1");
  EXPECT_EQ(state.unicomLink, "http://lt.example.net/1");
  EXPECT_EQ(
      links->toPlainText(),
      Q("迅雷:\nthunder://t1\n电信:\nhttp://dx.example.net/1\n联通:\nhttp://lt.example.net/1"));
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace windowtest
