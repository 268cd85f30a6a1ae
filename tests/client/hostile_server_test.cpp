// Servers that misbehave on purpose, met by whole calls on the window's
// thread: a plain WebAccess call, the captcha fetch and the download-address
// reques Each call must keep the window's event loop turning while it waits
// and end the way the program promises.

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "support/loopback_server.h"
#include "web/http.h"
#include "web/web_access.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

using namespace std::chrono_literals;
using testsupport::HttpReply;
using testsupport::LoopbackServer;
using testsupport::ReceivedRequest;
using testsupport::Reply;

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Every hostile reply starts this late, so each call spends a while waiting.
constexpr auto kAnswerDelay = 300ms;
constexpr int kTickMs = 20;
// The event loop must have turned at least this often during any call, and
// never have stood still longer than kLongestStill between two ticks.
constexpr int kMinTicks = 5;
constexpr qint64 kLongestStillMs = 250;

// A timer on the window's thread that notes how steadily it fires.
class Heartbeat {
 public:
  Heartbeat() {
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      if (ticks_ > 0) longestStill_ = std::max(longestStill_, now - last_);
      last_ = now;
      ++ticks_;
    });
    clock_.start();
    timer_.start();
  }
  int ticks() const { return ticks_; }
  qint64 longestStillMs() const { return longestStill_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  int ticks_ = 0;
  qint64 last_ = 0;
  qint64 longestStill_ = 0;
};

enum class Via { Call, Captcha, Download };

struct Outcome {
  std::string body;  // of a plain call
  text::Text headers = "untouched";
  text::Text cookies = "untouched";
  std::chrono::milliseconds took{};
};

class HostileServerTest : public WindowTest {
 protected:
  struct Row {
    const char* behaviour;
    Reply reply;
    Via via = Via::Call;
    int timeoutSeconds = 30;  // of a plain call
    std::function<void(const Outcome&)> check;
  };

  Outcome Run(const Row& row, const LoopbackServer& server) {
    Outcome out;
    const auto start = std::chrono::steady_clock::now();
    if (row.via == Via::Call) {
      std::string url = server.url("/");
      out.body = web::WebAccess(url, {.timeoutSeconds = row.timeoutSeconds,
                                      .responseHeadersOut = &out.headers,
                                      .cookiesOut = &out.cookies})
                     .data;
    } else {
      client::SetServiceHostForTesting("127.0.0.1:" + std::to_string(server.port()));
      Click(row.via == Via::Captcha ? "按钮2" : "按钮1");
    }
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return out;
  }

  QString LinksBox() { return Control<QPlainTextEdit>("编辑框3")->toPlainText(); }

  // The messages shown since the row began.
  std::vector<QString> NewMessages() {
    const std::vector<QString> all = Messages();
    return {all.begin() + static_cast<std::ptrdiff_t>(messagesBefore_), all.end()};
  }

  size_t messagesBefore_ = 0;
};

std::string Base64(const std::string& plain) {
  return QByteArray::fromStdString(plain).toBase64().toStdString();
}

Reply Late(std::string raw) {
  Reply reply{std::move(raw)};
  reply.delay = kAnswerDelay;
  return reply;
}

// Response header lines of about `bytes` bytes in all.
std::string FillerHeaders(size_t bytes) {
  std::string lines;
  for (int i = 0; lines.size() < bytes; ++i) {
    lines += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
  }
  return lines;
}

TEST_F(HostileServerTest, CallsKeepTheWindowAliveAndEndAsPromised) {
  const std::string oversized(web::http::kMaxBodyBytes + 1024 * 1024, 'b');
  const std::string dripped =
      "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'd');
  const std::string cutBody(600, 'p');
  std::string cookieLines, cookieText;
  for (int i = 0; i < 10000; ++i) {
    cookieLines += "Set-Cookie: c" + std::to_string(i) + "=v;\r\n";
    cookieText += "c" + std::to_string(i) + "=v;";
  }
  // Bytes that are no UTF-8: lone GBK lead bytes, a cut-off sequence, an
  // overlong form. The 电信 link decodes to raw bytes ending in a GBK lead
  // byte, which must not swallow the line break after it in the result box.
  const std::string badBytes = "\x81\xfe\xb5\xe4\xb8\xc0\x80\xff";
  const std::string leadEndedLink = "http://dx.example.net/f\xb5";
  const std::string brokenPage = badBytes + "<a thunderHref=\"thunder://t" + badBytes +
                                 "\">x</a></div><a class=\"telecom\" href=\"" +
                                 Base64(leadEndedLink) + "\" id=\"telcom_free\">y</a>" + badBytes;
  // A picture file's signature, then a header that claims a picture far too
  // large to decode, then noise.
  const std::string fakePicture =
      std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\x7f\xff\xff\xff", 20) +
      std::string(200000, '\x5a');

  Reply drip{dripped};
  drip.perByte = 1000ms;
  Reply reset{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + cutBody};
  reset.perByte = 2ms;
  reset.reset = true;

  const Row rows[] = {
      {"body beyond the 64 MiB cap is cut at exactly the cap", Late(HttpReply(200, {}, oversized)),
       Via::Call, 60,
       [](const Outcome& out) {
         EXPECT_EQ(out.body.size(), web::http::kMaxBodyBytes);
         EXPECT_EQ(out.body.find_first_not_of('b'), std::string::npos);
       }},
      {"one byte a second past the limit: the time-out text, outputs untouched", drip, Via::Call, 2,
       [](const Outcome& out) {
         EXPECT_EQ(out.body, web::TimeoutText());
         EXPECT_EQ(out.headers, "untouched");
         EXPECT_EQ(out.cookies, "untouched");
         EXPECT_GE(out.took, 2s);
         EXPECT_LT(out.took, 3s);
       }},
      // libcurl gives up on response headers beyond 300 KiB.
      {"header block of 1 MiB ends the call with the headers read so far",
       Late("HTTP/1.1 200 OK\r\n" + FillerHeaders(1024 * 1024) +
            "Content-Length: 2\r\nConnection: close\r\n\r\nhi"),
       Via::Call, 30,
       [](const Outcome& out) {
         EXPECT_EQ(out.body, "");
         EXPECT_EQ(out.headers.rfind("HTTP/1.1 200 OK\r\nX-Filler-0: ", 0), 0u);
         EXPECT_LE(out.headers.size(), web::http::kMaxRawHeaderBytes);
         EXPECT_LT(out.took, 10s);
       }},
      {"reset in the middle of the body keeps the body read so far", reset, Via::Call, 30,
       [&cutBody](const Outcome& out) {
         EXPECT_EQ(cutBody.rfind(out.body, 0), 0u) << out.body;
         EXPECT_GE(out.body.size(), cutBody.size() / 2);
       }},
      {"captcha reply that is no picture leaves the earlier one visible",
       Late(HttpReply(200, {"Content-Type: image/png"}, fakePicture)), Via::Captcha, 0,
       [this](const Outcome&) {
         const auto pictures = PictureObjects();
         ASSERT_GE(pictures.size(), 2);
         EXPECT_TRUE(pictures[pictures.size() - 2]->isVisible());
         EXPECT_FALSE(pictures.back()->isVisible());
         EXPECT_EQ(NewMessages(), std::vector<QString>{});
       }},
      {"result page of bad UTF-8 with links: shown line by line, the odd bytes replaced",
       Late(HttpReply(200, {}, brokenPage)), Via::Download, 0,
       [&](const Outcome&) {
         EXPECT_EQ(NewMessages(), std::vector<QString>{});
         EXPECT_EQ(client::State().pageText, text::Utf8ToGbk(brokenPage));
         EXPECT_EQ(client::State().telecomLink, leadEndedLink);
         const QStringList lines = LinksBox().split(QLatin1Char('\n'));
         ASSERT_EQ(lines.size(), 6) << LinksBox().toStdString();
         EXPECT_EQ(lines[0], Q("迅雷:"));
         EXPECT_EQ(lines[2], Q("电信:"));
         EXPECT_TRUE(lines[3].startsWith(Q("http://dx.example.net/f"))) << lines[3].toStdString();
         EXPECT_EQ(lines[4], Q("联通:"));
       }},
      {"result page of bad UTF-8 without links: the retry message, the box kept",
       Late(HttpReply(200, {}, badBytes + badBytes)), Via::Download, 0,
       [this](const Outcome&) {
         EXPECT_EQ(NewMessages(), std::vector<QString>{Q("城通抽了,请重试!")});
         EXPECT_EQ(LinksBox(), Q("kept"));
       }},
      // Last: the cookies land in the process-wide store.
      {"10,000 Set-Cookie lines are all collected",
       Late(HttpReply(200, {cookieLines.substr(0, cookieLines.size() - 2)}, "hi")), Via::Call, 30,
       [&cookieText](const Outcome& out) {
         EXPECT_EQ(out.body, "hi");
         // Compared whole, reported by size: the texts are 70 KB long.
         EXPECT_TRUE(out.cookies == cookieText) << out.cookies.size() << " bytes";
       }},
  };

  const text::Text fixtureHost = client::ServiceHost();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    // A good captcha first, so a bad one has something to hide behind.
    client::SetServiceHostForTesting(fixtureHost);
    Click("按钮2");
    Control<QPlainTextEdit>("编辑框3")->setPlainText(Q("kept"));
    messagesBefore_ = Messages().size();

    LoopbackServer server([&row](const ReceivedRequest&) { return row.reply; });
    Outcome out;
    {
      Heartbeat heartbeat;
      out = Run(row, server);
      EXPECT_GE(heartbeat.ticks(), kMinTicks) << "took " << out.took.count() << " ms";
      EXPECT_LE(heartbeat.longestStillMs(), kLongestStillMs);
    }
    row.check(out);
    // The abandoned worker of a timed-out call ends before its server goes.
    web::CancelAndJoinWorkers();
  }
}

}  // namespace
}  // namespace windowtest
