// The window services the handlers rely on: picture objects and the script
// engine's values as text.

#include "platform/window.h"
#include "web/web_access.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

TEST_F(WindowTest, PictureObjectsShowEachFormatAtItsNaturalSize) {
  // A 1 x 1 GIF, which Qt reads but does not write.
  const std::string gif(
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
      "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00"
      "\x02\x02\x44\x01\x00;",
      43);
  struct Row {
    const char* format;
    std::string bytes;
    QSize size;  // empty: not drawn
  };
  const Row rows[] = {
      {"PNG", ImageFile(31, 17, "PNG"), {31, 17}},
      {"JPEG", ImageFile(40, 12, "JPEG"), {40, 12}},
      {"BMP", ImageFile(9, 5, "BMP"), {9, 5}},
      {"GIF", gif, {1, 1}},
      {"empty body is no picture", "", {}},
      {"time-out text is no picture", web::TimeoutText(), {}},
      {"truncated PNG is no picture", ImageFile(31, 17, "PNG").substr(0, 40), {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.format);
    const int id = platform::CreatePictureObject("动画框1", "动画物体1", 0, 0, true);
    platform::SetObjectPicture("动画框1", id, text::Bytes{row.bytes});
    QLabel* object = PictureObjects().back();
    EXPECT_EQ(object->pos(), QPoint(0, 0));
    EXPECT_EQ(object->isVisible(), !row.size.isEmpty());
    if (!row.size.isEmpty()) {
      EXPECT_EQ(object->size(), row.size);
    }
  }
}

TEST_F(WindowTest, ScriptFunctionValuesComeBackAsText) {
  struct Row {
    const char* behaviour;
    const char* body;      // of function f
    std::string expected;  // UTF-8
  };
  const Row rows[] = {
      {"string as it is", "return ' 中文 x';", " 中文 x"},
      {"fraction with a zero before the point", "return 0.43;", "0.43"},
      {"at most 15 significant digits", "return 0.1 + 0.2;", "0.3"},
      {"15 digits kept", "return 0.123456789012345678;", "0.123456789012346"},
      {"whole number without a point", "return 12;", "12"},
      {"negative fraction", "return -0.5;", "-0.5"},
      {"boolean through the engine's text", "return true;", "true"},
      {"no value is no text", "return;", ""},
      {"a throwing function gives no text", "throw new Error('x');", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.behaviour);
    platform::AddScriptCode("脚本组件1",
                            Gbk(std::string("function f(){\r\n    ") + row.body + "\r\n}"));
    EXPECT_EQ(platform::RunScriptFunction("脚本组件1", "f"), Gbk(row.expected));
  }
  EXPECT_EQ(platform::RunScriptFunction("脚本组件1", "notDefined"), "");
}

}  // namespace
}  // namespace windowtest
