#include "client/result_page.h"

#include <gtest/gtest.h>

#include <string>

#include "text/codepage.h"

namespace client {
namespace {

using text::Text;

Text G(const char* utf8) {
  return text::Utf8ToGbk(utf8);
}

const char kThunder[] = "thunder://QUFodHRwOi8vZXhhbXBsZS9hLnppcFpa";
const char kTelecom[] = "http://t.example/f/abc.zip";
const char kUnicom[] = "http://u.example/dl/a.rar";
// Base64 of the two mirror links.
const char kTelecomB64[] = "aHR0cDovL3QuZXhhbXBsZS9mL2FiYy56aXA=";  // ends in "="
const char kUnicomB64[] = "aHR0cDovL3UuZXhhbXBsZS9kbC9hLnJhcg==";   // ends in "=="

struct PageParts {
  Text before = "<html><body>";
  Text thunder = Text("<a thunderHref=\"") + kThunder + "\">thunder</a>";
  Text telecom = Text("<div></div><a class=\"telecom\" href=\"") + kTelecomB64 +
                 "\" id=\"telcom_free\">" + G("电信") + "</a>";
  Text unicom = Text("<a href=\"") + kUnicomB64 +
                G("\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>");
  Text after = "</body></html>";
  Text page() const { return before + thunder + telecom + unicom + after; }
};

Text display(const Text& thunder, const Text& telecom, const Text& unicom) {
  return G("迅雷:\r\n") + thunder + G("\r\n电信:\r\n") + telecom + G("\r\n联通:\r\n") + unicom;
}

TEST(ParseResultPageTest, TakesAllThreeLinks) {
  const ResultPage r = ParseResultPage(PageParts{}.page());
  EXPECT_FALSE(r.rejected);
  EXPECT_EQ(r.thunderLink, kThunder) << "the thunder link is not decoded";
  EXPECT_EQ(r.telecomLink, std::string(kTelecom));
  EXPECT_EQ(r.unicomLink, std::string(kUnicom));
  EXPECT_EQ(r.display, display(r.thunderLink, r.telecomLink, r.unicomLink));
  EXPECT_TRUE(r.found);
}

TEST(ParseResultPageTest, RejectionWinsEvenWithLinks) {
  PageParts parts;
  parts.before += G("<p>验证码输入错误，请返回页面重新输入</p>");
  const ResultPage r = ParseResultPage(parts.page());
  EXPECT_TRUE(r.rejected);
  EXPECT_EQ(r.thunderLink, "");
  EXPECT_EQ(r.display, "");
  EXPECT_FALSE(r.found);
}

TEST(ParseResultPageTest, PageVariants) {
  struct Case {
    const char* name;
    PageParts parts;
    Text thunder, telecom, unicom;
    bool found;
  };
  PageParts noTelecom, noCaption, noUnicomLeft, upperCase, trailByteMarker, zeroByte, noThunder;
  noTelecom.telecom = "<a class=\"telecom\" href=\"aHR0cDovL3g=\">";
  noCaption.unicom = Text("<a href=\"") + kUnicomB64 + "\" id=\"unicom_free\" class=\"unicom\">";
  noUnicomLeft.unicom = G("\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>");
  upperCase.thunder = Text("<A THUNDERHREF=\"") + kThunder + "\">";
  // The byte before the marker is a lead byte, so the marker would start on
  // a trail byte: no match.
  trailByteMarker.thunder = Text("\xB0") + "thunderHref=\"x\">";
  zeroByte.telecom = "</div><a class=\"telecom\" href=\"aHQAcA==\" id=\"telcom_free\">";
  noThunder.thunder = "";
  const std::string telecom = std::string(kTelecom), unicom = std::string(kUnicom);
  const Case cases[] = {
      {"WithoutTelecomMarkersNotFound", noTelecom, kThunder, "", unicom, false},
      // Without the anchor there is no unicom link (not "h"); the page still counts.
      {"WithoutUnicomCaptionNoUnicomLink", noCaption, kThunder, telecom, "", true},
      {"WithoutUnicomLeftMarkerNoUnicomLink", noUnicomLeft, kThunder, telecom, "", true},
      {"MarkersMatchIgnoringCase", upperCase, kThunder, telecom, unicom, true},
      {"MarkerOnTrailByteIgnored", trailByteMarker, "", telecom, unicom, true},
      {"DecodedZeroByteCutsLink", zeroByte, kThunder, "ht", unicom, true},
      {"EmptyThunderLinkStillFound", noThunder, "", telecom, unicom, true},
  };
  for (const Case& c : cases) {
    const ResultPage r = ParseResultPage(c.parts.page());
    EXPECT_FALSE(r.rejected) << c.name;
    EXPECT_EQ(r.thunderLink, c.thunder) << c.name;
    EXPECT_EQ(r.telecomLink, c.telecom) << c.name;
    EXPECT_EQ(r.unicomLink, c.unicom) << c.name;
    EXPECT_EQ(r.display, display(c.thunder, c.telecom, c.unicom)) << c.name;
    EXPECT_EQ(r.found, c.found) << c.name;
  }
}

TEST(ParseResultPageTest, EmptyOrTimedOutPageFindsNothing) {
  for (const Text& page : {Text(), G("time-out")}) {
    const ResultPage r = ParseResultPage(page);
    EXPECT_FALSE(r.rejected);
    EXPECT_EQ(r.unicomLink, "");
    EXPECT_EQ(r.display, display("", "", ""));
    EXPECT_FALSE(r.found);
  }
}

TEST(ParseResultPageTest, MegabytePageWithLinksAtItsEnd) {
  PageParts parts;
  // Mixed ASCII and GBK filler, with near-misses of every marker.
  const Text filler = G("<p class=\"x\">下载 thunderHref <a href=\"b\"> 联通</p>\r\n");
  while (parts.before.size() < (1u << 20)) parts.before += filler;
  const ResultPage r = ParseResultPage(parts.page());
  EXPECT_EQ(r.thunderLink, kThunder);
  EXPECT_EQ(r.telecomLink, std::string(kTelecom));
  EXPECT_EQ(r.unicomLink, std::string(kUnicom));
  EXPECT_TRUE(r.found);
}

}  // namespace
}  // namespace client
