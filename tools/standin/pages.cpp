#include "pages.h"

namespace standin {
namespace {

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
         "</title></head>\n<body>\n" + body + "</body></html>\n";
}

// The file id comes from the request: shown as text, never as markup.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string FileName(const std::string& fileId) {
  return "sample-" + fileId + ".zip";
}

Links MakeLinks(const std::string& hostPort, const std::string& fileId, const std::string& key) {
  auto link = [&](const char* mirror) {
    return "http://" + hostPort + "/download/" + mirror + "/" + fileId + "/" + FileName(fileId) +
           "?key=" + key;
  };
  // A thunder:// address wraps the http address as Base64 of "AA" + address + "ZZ".
  return {.thunder = "thunder://" + Base64Encode("AA" + link("thunder") + "ZZ"),
          .telecom = link("telecom"),
          .unicom = link("unicom")};
}

std::string FilePage(const std::string& fileId, bool known) {
  if (!known) return Page("文件不存在", "<p>文件不存在或已被删除。</p>\n");
  const std::string name = FileName(fileId);
  return Page(name, "<h1>" + name +
                        "</h1>\n<p>文件大小：1.2 MB</p>\n"
                        "<p>本页由本机的替身服务器提供，只用于演示和测试。</p>\n");
}

std::string RejectionPage() {
  return Page("提示", "<p>验证码输入错误，请返回页面重新输入</p>\n");
}

std::string ResultPage(const std::string& fileId, const Links& links) {
  return Page(FileName(fileId) + " - 下载",
              "<div class=\"file\">" + FileName(fileId) +
                  "</div>\n"
                  "<div class=\"thunder\"><a class=\"thunder\" thunderHref=\"" +
                  links.thunder +
                  "\">迅雷下载</a></div>\n"
                  "<div class=\"mirrors\">不限速下载：</div><a class=\"telecom\" href=\"" +
                  Base64Encode(links.telecom) +
                  "\" id=\"telcom_free\">电信不限速下载</a>\n"
                  "<a href=\"" +
                  Base64Encode(links.unicom) +
                  "\" id=\"unicom_free\" class=\"unicom\">联通不限速下载</a>\n");
}

std::string LinklessPage(const std::string& fileId) {
  return Page(FileName(fileId) + " - 下载", "<div class=\"file\">" + FileName(fileId) +
                                                "</div>\n<p>服务器繁忙，请稍后再试。</p>\n");
}

std::string UnknownFilePage(const std::string& fileId) {
  return Page("文件不存在", "<p>编号为 " + Escape(fileId) + " 的文件不存在或已被删除。</p>\n");
}

}  // namespace standin
