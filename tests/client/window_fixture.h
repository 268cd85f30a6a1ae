#pragma once
// The main window on Qt's offscreen platform, talking to a loopback server
// scripted as the file-hosting service: the captcha reply sets a cookie, the
// download request is answered with whatever page the test chose.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QWidget>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/app_state.h"
#include "client/main_window.h"
#include "client/service.h"
#include "platform/qt_window.h"
#include "platform/qt_window_testing.h"
#include "support/loopback_server.h"
#include "text/codepage.h"
#include "web/http.h"

namespace windowtest {

inline QString Q(const char* utf8) {
  return QString::fromUtf8(utf8);
}
inline text::Text Gbk(const std::string& utf8) {
  return text::Utf8ToGbk(utf8);
}

// Image file bytes of a plain picture of the given size, in a format Qt writes.
inline std::string ImageFile(int width, int height, const char* format = "PNG") {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// One QApplication for the whole test program, on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    web::http::GlobalInit();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int run = 0;
    cookie_ = "sid=t" + std::to_string(++run) + "x";
    client::SetServiceHostForTesting("127.0.0.1:" + std::to_string(server_.port()));
    client::State() = {};
    platform::testing::AnswerMessageBoxes([this](const QMessageBox& box) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(box.text());
      requestsAtMessage_.push_back(server_.requests().size());
    });
    window_.reset(client::CreateMainWindow());
    window_->show();
  }

  void TearDown() override {
    platform::testing::AnswerMessageBoxes({});
    window_.reset();
  }

  template <typename T = QWidget>
  T* Control(const char* name) {
    T* control = window_->findChild<T*>(Q(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }

  // The picture objects of 动画框1, bottom to top.
  QList<QLabel*> PictureObjects() {
    return Control("动画框1")->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
  }

  std::string Prefix() const { return client::FilePagePrefix(); }
  std::vector<testsupport::ReceivedRequest> Requests() const { return server_.requests(); }
  std::vector<QString> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  QString Clipboard() const { return QGuiApplication::clipboard()->text(); }

  // What the service answers; tests change it between clicks.
  std::string captchaBody_ = ImageFile(60, 20);
  std::string resultPage_;  // UTF-8, as the service sends it
  bool answerDownload_ = true;
  std::string cookie_;

  std::vector<size_t> requestsAtMessage_;
  std::unique_ptr<QWidget> window_;

 private:
  testsupport::Reply Serve(const testsupport::ReceivedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    testsupport::Reply reply;
    if (request.target.rfind("/randcodeV2.php", 0) == 0) {
      reply.raw = testsupport::HttpReply(
          200, {"Content-Type: image/png", "Set-Cookie: " + cookie_ + "; path=/"}, captchaBody_);
    } else if (answerDownload_) {
      reply.raw =
          testsupport::HttpReply(200, {"Content-Type: text/html; charset=utf-8"}, resultPage_);
    } else {
      reply.neverAnswer = true;
    }
    return reply;
  }

  std::mutex mutex_;
  std::vector<QString> messages_;
  testsupport::LoopbackServer server_{[this](const auto& request) { return Serve(request); }};
};

}  // namespace windowtest
