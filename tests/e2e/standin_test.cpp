// The stand-in file host answers like the service the program talks to: a
// session cookie with the captcha, the rejection page, and the link anchors.

#include <gtest/gtest.h>
#include <httplib.h>

#include <QByteArray>
#include <QImage>
#include <cstdio>
#include <thread>

#include "captcha.h"
#include "options.h"
#include "server.h"

namespace {

constexpr char kRejection[] = "验证码输入错误，请返回页面重新输入";
constexpr char kTelecomLeft[] = "</div><a class=\"telecom\" href=\"";
constexpr char kTelecomRight[] = "\" id=\"telcom_free\">";
constexpr char kUnicomLeft[] = "<a href=\"";
constexpr char kUnicomRight[] = "\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>";
constexpr char kThunderLeft[] = "thunderHref=\"";

// The text between the first left marker and the next right marker; empty
// when either is missing.
std::string Between(const std::string& page, const std::string& left, const std::string& right) {
  const auto start = page.find(left);
  if (start == std::string::npos) return {};
  const auto end = page.find(right, start + left.size());
  if (end == std::string::npos) return {};
  return page.substr(start + left.size(), end - start - left.size());
}

std::string Base64Decode(const std::string& text) {
  return QByteArray::fromBase64(QByteArray::fromStdString(text)).toStdString();
}

standin::Options WithCode(const std::string& code, int linklessReplies = 0) {
  standin::Options options;
  options.fixedCode = code;
  options.linklessReplies = linklessReplies;
  return options;
}

// The stand-in's routes on a free loopback port, with its log in a temporary file.
class StandIn : public ::testing::Test {
 protected:
  void Start(standin::Options options) {
    state_.options = std::move(options);
    state_.log = std::tmpfile();
    standin::InstallRoutes(server_, state_);
    state_.port = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(state_.port, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", state_.port);
  }
  void TearDown() override {
    server_.stop();
    if (thread_.joinable()) thread_.join();
    if (state_.log != nullptr) std::fclose(state_.log);
  }

  // The session cookie a captcha request hands out ("standin_sid=...").
  std::string FetchCaptchaCookie() {
    auto res = client_->Get("/randcodeV2.php?fid=8057452&rand=0.25");
    if (!res) return {};
    const std::string set = res->get_header_value("Set-Cookie");
    return set.substr(0, set.find(';'));
  }

  httplib::Result Post(const std::string& cookie, const std::string& body) {
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    return client_->Post("/guest_loginV2.php", headers, body, "application/x-www-form-urlencoded");
  }

  std::vector<std::string> LogLines() {
    std::fflush(state_.log);
    std::rewind(state_.log);
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, state_.log) != nullptr) lines.emplace_back(buffer);
    return lines;
  }

  standin::State state_;
  httplib::Server server_;
  std::thread thread_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(StandIn, CaptchaIsAPngAndTheFirstReplyOfASessionSetsTheCookie) {
  Start(WithCode("4821"));
  auto first = client_->Get("/randcodeV2.php?fid=8057452&rand=0.5");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->get_header_value("Content-Type"), "image/png");
  const std::string cookie = first->get_header_value("Set-Cookie");
  EXPECT_EQ(cookie.rfind(std::string(standin::kSessionCookie) + "=", 0), 0u) << cookie;

  const QImage picture = QImage::fromData(QByteArray::fromStdString(first->body), "PNG");
  EXPECT_EQ(picture.width(), standin::kCaptchaWidth);
  EXPECT_EQ(picture.height(), standin::kCaptchaHeight);

  auto again = client_->Get("/randcodeV2.php?fid=8057452&rand=0.6",
                            {{"Cookie", cookie.substr(0, cookie.find(';'))}});
  ASSERT_TRUE(again);
  EXPECT_FALSE(again->has_header("Set-Cookie")) << "a known session keeps its cookie";
}

TEST_F(StandIn, GuestDownloadAnswersByCookieCodeAndFile) {
  Start(WithCode("4821"));
  const std::string cookie = FetchCaptchaCookie();
  ASSERT_FALSE(cookie.empty());

  enum Answer { Rejected, Links, NoLinks };
  struct Row {
    const char* behaviour;
    std::string cookie;
    std::string body;
    Answer answer;
  };
  const Row rows[] = {
      {"right code with the session cookie gives the links", cookie,
       "file_id=8057452&randcode=4821&Comfirm.x=167&Comfirm.y=23", Links},
      // Without the cookie the host cannot know which captcha was shown.
      {"no session cookie is rejected", "", "file_id=8057452&randcode=4821&Comfirm.x=167",
       Rejected},
      {"unknown session is rejected", "standin_sid=0000", "file_id=8057452&randcode=4821",
       Rejected},
      {"wrong code is rejected", cookie, "file_id=8057452&randcode=4822", Rejected},
      // The code must match as sent: no trimming, no decoding.
      {"code with a trailing space is rejected", cookie, "file_id=8057452&randcode=4821 ",
       Rejected},
      {"unknown file gives a page without the anchors", cookie, "file_id=1&randcode=4821", NoLinks},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    auto res = Post(row.cookie, row.body);
    ASSERT_TRUE(res);
    const std::string& page = res->body;
    EXPECT_EQ(page.find(kRejection) != std::string::npos, row.answer == Rejected);
    const std::string telecom = Base64Decode(Between(page, kTelecomLeft, kTelecomRight));
    const std::string unicom = Base64Decode(Between(page, kUnicomLeft, kUnicomRight));
    const std::string thunder = Between(page, kThunderLeft, "\">");
    if (row.answer != Links) {
      EXPECT_EQ(telecom + unicom + thunder, "");
      continue;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(state_.port) + "/download/";
    EXPECT_EQ(telecom.rfind(base + "telecom/8057452/", 0), 0u) << telecom;
    EXPECT_EQ(unicom.rfind(base + "unicom/8057452/", 0), 0u) << unicom;
    EXPECT_EQ(Between(page, kUnicomLeft, kUnicomRight).rfind("aHR0", 0), 0u);
    ASSERT_EQ(thunder.rfind("thunder://", 0), 0u) << thunder;
    const std::string wrapped = Base64Decode(thunder.substr(10));
    EXPECT_EQ(wrapped.rfind("AA" + base + "thunder/8057452/", 0), 0u) << wrapped;
    EXPECT_EQ(wrapped.substr(wrapped.size() - 2), "ZZ");

    // The links are the ones the log reports, and they can be downloaded.
    const std::string last = LogLines().back();
    EXPECT_NE(last.find("\tlinks\t" + thunder + "\t" + telecom + "\t" + unicom + "\n"),
              std::string::npos)
        << last;
    auto file = client_->Get(telecom.substr(base.size() - std::string("/download/").size()));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
  }
}

TEST_F(StandIn, NoMarkersCountLeavesTheLinksOutThatManyTimes) {
  Start(WithCode("1111", 1));
  const std::string cookie = FetchCaptchaCookie();
  const std::string body = "file_id=8057452&randcode=1111&Comfirm.x=167&Comfirm.y=23";
  auto first = Post(cookie, body);
  auto second = Post(cookie, body);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->body.find(kTelecomLeft), std::string::npos);
  EXPECT_EQ(first->body.find(kRejection), std::string::npos);
  EXPECT_NE(second->body.find(kTelecomLeft), std::string::npos);
}

TEST_F(StandIn, LogsOneLinePerRequestWithWhatWasAnswered) {
  Start(WithCode("2468"));
  const std::string cookie = FetchCaptchaCookie();
  Post(cookie, "file_id=8057452&randcode=0000");
  client_->Get("/no/such/page");
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "GET\t/randcodeV2.php?fid=8057452&rand=0.25\t-\tcaptcha 2468 new-session\n");
  EXPECT_EQ(lines[1], "POST\t/guest_loginV2.php\tfile_id=8057452&randcode=0000\trejected\n");
  EXPECT_EQ(lines[2], "GET\t/no/such/page\t-\tnot-found\n");
}

TEST(StandInOptions, CommandLine) {
  struct Row {
    const char* behaviour;
    std::vector<const char*> args;
    bool ok;
  };
  const Row rows[] = {
      {"no options", {}, true},
      {"all options",
       {"--port", "8080", "--fixed-code", "0123", "--delay-ms", "50", "--log", "x.log",
        "--no-markers=2", "--file", "77", "--print-port"},
       true},
      {"no-markers without a count", {"--no-markers"}, true},
      // A captcha shows four digits; anything else could never be typed back.
      {"fixed code of three digits", {"--fixed-code", "123"}, false},
      {"fixed code with a letter", {"--fixed-code", "12a4"}, false},
      {"port beyond 65535", {"--port", "65536"}, false},
      {"port that is not a number", {"--port", "80x"}, false},
      {"option missing its value", {"--log"}, false},
      {"no-markers count of zero", {"--no-markers=0"}, false},
      {"unknown option", {"--verbose"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    std::vector<const char*> argv = {"ctdisk-standin"};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    const auto parsed = standin::ParseOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.error.empty(), row.ok) << parsed.error;
  }
  const char* argv[] = {"ctdisk-standin", "--no-markers=2", "--file", "77", "--fixed-code", "0123"};
  const auto parsed = standin::ParseOptions(6, argv);
  EXPECT_EQ(parsed.options.linklessReplies, 2);
  EXPECT_EQ(parsed.options.fixedCode, "0123");
  EXPECT_EQ(parsed.options.fileIds, (std::vector<std::string>{"8057452", "77"}));
}

}  // namespace
