// The window as built: controls, texts, geometry, tab order, and the small
// handlers that need no request.

#include "platform/window.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "window_fixture.h"

namespace windowtest {
namespace {

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

struct ControlRow {
  const char* name;
  const char* qtClass;
  QRect geometry;
  std::string text;  // UTF-8; "{prefix}" stands for the file-page prefix
  bool tabStop;
  bool shown;
};

const ControlRow kControls[] = {
    {"标签1", "QLabel", {8, 8, 40, 24}, "地址", false, true},
    {"编辑框2", "QLineEdit", {56, 8, 328, 24}, "{prefix}8057452", true, true},
    {"按钮2", "QPushButton", {392, 8, 72, 24}, "获取验证码", true, true},
    {"动画框1", "QFrame", {0, 32, 170, 105}, "", true, true},
    {"标签3",
     "QLabel",
     {176, 32, 288, 32},
     "地址格式为\"{prefix}xxxxxxxx\"\r\n单击此处复制格式",
     false,
     true},
    {"透明标签1", "QLabel", {176, 88, 160, 32}, "单击图片换验证码", false, true},
    {"动画物体1", "QWidget", {0, 120, 24, 24}, "", false, false},
    {"脚本组件1", "QWidget", {24, 120, 24, 24}, "", false, false},
    {"编辑框1", "QPlainTextEdit", {176, 120, 48, 24}, "", true, true},
    {"按钮1", "QPushButton", {224, 120, 96, 24}, "获取下载地址", true, true},
    {"编辑框3", "QPlainTextEdit", {0, 144, 472, 176}, "", true, true},
    {"按钮6", "QPushButton", {0, 320, 24, 24}, "!", true, true},
    {"标签2", "QLabel", {200, 320, 80, 24}, "选择要复制的", false, true},
    {"按钮3", "QPushButton", {280, 320, 56, 24}, "迅雷", true, true},
    {"按钮4", "QPushButton", {344, 320, 56, 24}, "电信", true, true},
    {"按钮5", "QPushButton", {408, 320, 56, 24}, "联通", true, true},
};

TEST_F(WindowTest, EveryControlHasItsKindGeometryTextAndFocusRole) {
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    QWidget* control = Control(row.name);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.qtClass);
    EXPECT_EQ(control->geometry(), row.geometry);
    EXPECT_EQ(control->accessibleName(), Q(row.name));
    EXPECT_EQ(control->isVisible(), row.shown);
    EXPECT_EQ((control->focusPolicy() & Qt::TabFocus) != 0, row.tabStop);
    std::string expected = row.text;
    if (auto at = expected.find("{prefix}"); at != std::string::npos) {
      expected.replace(at, 8, Prefix());
    }
    EXPECT_EQ(platform::ControlText(row.name), Gbk(expected));
  }
}

TEST_F(WindowTest, WindowHasItsTitlePlaceAndFixedClientArea) {
  EXPECT_EQ(window_->windowTitle(), Q("【鲸舟】城通网盘"));
  EXPECT_EQ(window_->pos(), QPoint(50, 50));
  EXPECT_EQ(window_->size(), QSize(472, 344));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  for (QWidget* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(window_->rect().contains(child->geometry())) << child->objectName().toStdString();
  }
}

TEST_F(WindowTest, TabVisitsTheTabStopsInDefinitionOrder) {
  std::vector<QString> expected;
  for (const ControlRow& row : kControls) {
    if (row.tabStop) expected.push_back(Q(row.name));
  }
  std::vector<QString> visited;
  QWidget* first = Control(kControls[1].name);
  QWidget* at = first;
  do {
    if ((at->focusPolicy() & Qt::TabFocus) && at->isVisibleTo(window_.get()) &&
        !at->objectName().isEmpty() && at->parentWidget() == window_.get()) {
      visited.push_back(at->objectName());
    }
    at = at->nextInFocusChain();
  } while (at != first);
  EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, EditBoxesWrapAndShowOnlyTheScrollBarsTheyShould) {
  auto* captcha = Control<QPlainTextEdit>("编辑框1");
  auto* links = Control<QPlainTextEdit>("编辑框3");
  EXPECT_EQ(captcha->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(captcha->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(links->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(links->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  for (QPlainTextEdit* edit : {captcha, links}) {
    EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_FALSE(edit->isReadOnly());
  }
}

TEST_F(WindowTest, MultiLineTextsCrossTheBoundaryWithCrLf) {
  platform::SetControlText("编辑框3", Gbk("迅雷:\r\nthunder://x\r\n中"));
  EXPECT_EQ(Control<QPlainTextEdit>("编辑框3")->toPlainText(), Q("迅雷:\nthunder://x\n中"));
  EXPECT_EQ(platform::ControlText("编辑框3"), Gbk("迅雷:\r\nthunder://x\r\n中"));
}

TEST_F(WindowTest, CopyButtonsBeforeAnyRequestLeaveAnEmptyClipboard) {
  for (const char* button : {"按钮3", "按钮4", "按钮5"}) {
    QGuiApplication::clipboard()->setText(Q("stale"));
    Click(button);
    EXPECT_EQ(Clipboard(), QString()) << button;
  }
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WindowTest, AddressFormatLabelCopiesTheBarePrefix) {
  Click("标签3");
  EXPECT_EQ(Clipboard(), QString::fromStdString(Prefix()));
  EXPECT_EQ(Prefix(), "http://" + client::ServiceHost() + "/file/");
}

TEST_F(WindowTest, AboutButtonShowsTwoLinesInTheInformationBox) {
  QString caption;
  QMessageBox::StandardButtons buttons;
  Qt::WindowModality modality = Qt::NonModal;
  QWidget* owner = window_.get();
  platform::testing::AnswerMessageBoxes([&](const QMessageBox& box) {
    caption = box.windowTitle();
    buttons = box.standardButtons();
    modality = box.windowModality();
    owner = box.parentWidget();
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(box.text().split(QLatin1Char('\n')).size(), 2) << box.text().toStdString();
  });
  Click("按钮6");
  EXPECT_EQ(caption, Q("信息："));
  EXPECT_EQ(buttons, QMessageBox::Ok);
  EXPECT_EQ(modality, Qt::ApplicationModal);
  EXPECT_EQ(owner, nullptr);
}

TEST_F(WindowTest, ClosingTheWindowMidRequestEndsTheRequestWithoutAMessage) {
  answerDownload_ = false;  // the service never answers the download request
  QTimer::singleShot(300, window_.get(), [this] { window_->close(); });
  QElapsedTimer elapsed;
  elapsed.start();
  Click("按钮1");
  // Without the exit routine the request would hold on for its whole minute.
  EXPECT_LT(elapsed.elapsed(), 20000);
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace windowtest
