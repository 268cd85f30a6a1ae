// The captcha fetch and the download-address request against the scripted
// service, driven through the window's controls.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "platform/window.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

int Count(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

std::string Base64(const std::string& plain) {
  return QByteArray::fromStdString(plain).toBase64().toStdString();
}

// A result page as the service writes it, carrying the three links.
std::string ResultPage(const std::string& thunder, const std::string& telecom,
                       const std::string& unicom) {
  return "<html><body><div class=\"down\">\r\n<a thunderHref=\"" + thunder +
         "\">迅雷下载</a></div><a class=\"telecom\" href=\"" + Base64(telecom) +
         "\" id=\"telcom_free\">电信不限速下载</a>\r\n<a href=\"" + Base64(unicom) +
         "\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a></body></html>";
}

const std::string kRejectedPage =
    "<script>alert('验证码输入错误，请返回页面重新输入');history.back();</script>";

class CaptchaTest : public WindowTest {
 protected:
  void SetAddress(const std::string& utf8) {
    Control<QLineEdit>("编辑框2")->setText(QString::fromStdString(utf8));
  }
};

TEST_F(CaptchaTest, ButtonRequestsThePictureForTheFileAndShowsItOnTop) {
  Click("按钮2");
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_TRUE(QRegularExpression(Q("^/randcodeV2\\.php\\?fid=8057452&rand=0\\.[0-9]+$"))
                  .match(QString::fromStdString(requests[0].target))
                  .hasMatch())
      << requests[0].target;
  EXPECT_EQ(Count(requests[0].headerBlock, "Referer:"), 1);
  EXPECT_NE(requests[0].headerBlock.find("Referer: " + Prefix() + "8057452\r\n"),
            std::string::npos);

  captchaBody_ = ImageFile(80, 30, "BMP");
  Click("按钮2");
  const auto pictures = PictureObjects();
  ASSERT_EQ(pictures.size(), 2u);
  for (QLabel* picture : pictures) EXPECT_EQ(picture->pos(), QPoint(0, 0));
  EXPECT_EQ(pictures[0]->size(), QSize(60, 20));
  EXPECT_EQ(pictures[1]->size(), QSize(80, 30));  // the newest, last in stacking order
  EXPECT_TRUE(pictures[1]->isVisible());
  EXPECT_NE(client::State().captchaPictureId, 0);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptchaTest, AddressesAreTurnedIntoTheFileIdTheyName) {
  struct Row {
    const char* behaviour;
    std::string address;
    std::string target;   // up to "&rand="
    bool refererChecked;  // a blank header value is written as the HTTP layer sees fit
  };
  const std::string host = client::ServiceHost();
  const Row rows[] = {
      {"prefix in capitals is still removed", "HTTP://" + host + "/FILE/8057452",
       "/randcodeV2.php?fid=8057452&rand=", true},
      {"address without the prefix is sent whole", "8057452/x",
       "/randcodeV2.php?fid=8057452/x&rand=", true},
      // The request line carries spaces as %20, as the Windows library does.
      {"address of spaces is not empty and is sent", "   ",
       "/randcodeV2.php?fid=%20%20%20&rand=", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    const size_t before = Requests().size();
    SetAddress(row.address);
    Click("按钮2");
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().target.rfind(row.target, 0), 0u) << requests.back().target;
    if (row.refererChecked) {
      EXPECT_NE(requests.back().headerBlock.find("Referer: " + row.address + "\r\n"),
                std::string::npos)
          << requests.back().headerBlock;
    }
  }
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptchaTest, EmptyAddressGivesTheMessageAndNoRequest) {
  SetAddress("");
  Click("按钮2");
  EXPECT_EQ(Messages(), std::vector<QString>{Q("请输入地址!")});
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(PictureObjects().empty());
}

TEST_F(CaptchaTest, ClickOnThePictureFetchesLikeTheButton) {
  Click("按钮2");
  QTest::mouseClick(Control("动画框1"), Qt::LeftButton, {}, QPoint(10, 10));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target.rfind("/randcodeV2.php?fid=8057452&rand=", 0), 0u);
  EXPECT_NE(requests[1].target, requests[0].target);  // a fresh random token
  EXPECT_EQ(PictureObjects().size(), 2u);
  // A right-button release is not a click on the picture.
  QTest::mouseClick(Control("动画框1"), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(CaptchaTest, ReplyThatIsNoPictureLeavesTheEarlierCaptchaVisible) {
  Click("按钮2");
  captchaBody_ = "<html>busy</html>";
  Click("按钮2");
  const auto pictures = PictureObjects();
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_TRUE(pictures[0]->isVisible());
  EXPECT_FALSE(pictures[1]->isVisible());
  EXPECT_TRUE(Messages().empty());
}

class DownloadTest : public CaptchaTest {
 protected:
  void TypeCaptcha(const char* utf8) { Control<QPlainTextEdit>("编辑框1")->setPlainText(Q(utf8)); }

  void ExpectCopies(const QString& thunder, const QString& telecom, const QString& unicom) {
    const std::pair<const char*, QString> buttons[] = {
        {"按钮3", thunder}, {"按钮4", telecom}, {"按钮5", unicom}};
    for (const auto& [button, link] : buttons) {
      Click(button);
      EXPECT_EQ(Clipboard(), link) << button;
    }
  }

  // The page arrives in UTF-8; the 迅雷 link is taken as it stands, so its
  // Chinese shows whether the page was turned into GBK.
  const std::string thunder_ = "thunder://QUFodHRwOi8v/文件.zip";
  const std::string telecom_ = "http://dx.example.net/d/8057452/f.zip?k=1";
  const std::string unicom_ = "http://lt.example.net/d/8057452/f.zip?k=2";
};

TEST_F(DownloadTest, PostsTheFormAndShowsAndCopiesTheLinks) {
  Click("按钮2");
  resultPage_ = ResultPage(thunder_, telecom_, unicom_);
  TypeCaptcha("a B\n中");
  Click("按钮1");

  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  const auto& post = requests[1];
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.target, "/guest_loginV2.php");
  const std::string body =
      "file_id=8057452&randcode=a B\r\n" + Gbk("中") + "&Comfirm.x=167&Comfirm.y=23";
  EXPECT_EQ(post.body, body);
  for (const std::string& line :
       {"Referer: " + Prefix() + "8057452\r\n",
        std::string("Content-Type: application/x-www-form-urlencoded\r\n"),
        "Content-Length: " + std::to_string(body.size()) + "\r\n",
        // The cookie of the captcha reply comes back without the program passing it.
        "Cookie: " + cookie_ + "\r\n"}) {
    EXPECT_NE(post.headerBlock.find(line), std::string::npos) << line << post.headerBlock;
  }
  EXPECT_EQ(Count(post.headerBlock, "Referer:"), 1);

  EXPECT_EQ(client::State().pageText, Gbk(resultPage_));
  EXPECT_EQ(Control<QPlainTextEdit>("编辑框3")->toPlainText(),
            QString::fromStdString("迅雷:\n" + thunder_ + "\n电信:\n" + telecom_ + "\n联通:\n" +
                                   unicom_));
  ExpectCopies(QString::fromStdString(thunder_), QString::fromStdString(telecom_),
               QString::fromStdString(unicom_));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DownloadTest, CapitalisedPrefixStillSendsTheBareFileId) {
  SetAddress("HTTP://" + client::ServiceHost() + "/File/8057452");
  resultPage_ = ResultPage(thunder_, telecom_, unicom_);
  TypeCaptcha("abcd");
  Click("按钮1");
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0].body, "file_id=8057452&randcode=abcd&Comfirm.x=167&Comfirm.y=23");
}

TEST_F(DownloadTest, RejectedCaptchaWarnsThenFetchesANewOneAndKeepsTheLinks) {
  resultPage_ = ResultPage(thunder_, telecom_, unicom_);
  Click("按钮1");
  const QString shown = Control<QPlainTextEdit>("编辑框3")->toPlainText();
  const size_t before = Requests().size();

  resultPage_ = kRejectedPage + ResultPage("thunder://new", "http://new/1", "http://new/2");
  Click("按钮1");
  ASSERT_EQ(Messages(), std::vector<QString>{Q("验证码错误!")});
  EXPECT_EQ(requestsAtMessage_, std::vector<size_t>{before + 1});  // message first, then the fetch
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_EQ(requests.back().target.rfind("/randcodeV2.php?fid=8057452&rand=", 0), 0u);
  EXPECT_EQ(PictureObjects().size(), 1u);
  EXPECT_EQ(Control<QPlainTextEdit>("编辑框3")->toPlainText(), shown);
  ExpectCopies(QString::fromStdString(thunder_), QString::fromStdString(telecom_),
               QString::fromStdString(unicom_));
}

TEST_F(DownloadTest, PageWithoutTheTelecomLinkWarnsAndLeavesTheBoxAlone) {
  Control<QPlainTextEdit>("编辑框3")->setPlainText(Q("kept"));
  struct Row {
    const char* behaviour;
    std::string page;
    QString thunder, telecom, unicom;  // what the copy buttons then copy
  };
  const Row rows[] = {
      {"empty body: nothing found, no link stored", "", {}, {}, {}},
      {"links but no 电信 anchor: the others are still stored",
       "<a thunderHref=\"thunder://t\">x</a><a href=\"" + Base64(unicom_) +
           "\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>",
       Q("thunder://t"),
       {},
       QString::fromStdString(unicom_)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    resultPage_ = row.page;
    const size_t before = Messages().size();
    Click("按钮1");
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), before + 1);
    EXPECT_EQ(messages.back(), Q("城通抽了,请重试!"));
    EXPECT_EQ(Control<QPlainTextEdit>("编辑框3")->toPlainText(), Q("kept"));
    ExpectCopies(row.thunder, row.telecom, row.unicom);
  }
}

}  // namespace
}  // namespace windowtest
