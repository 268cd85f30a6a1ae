#include "options.h"

#include <charconv>
#include <string_view>

namespace standin {
namespace {

bool ToInt(std::string_view text, int low, int high, int& out) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return false;
  }
  out = value;
  return true;
}

bool IsFourDigits(std::string_view code) {
  return code.size() == 4 && code.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string Usage(const std::string& program) {
  return "usage: " + program +
         " [options]\n"
         "A stand-in for the file-hosting service on 127.0.0.1.\n"
         "  --port N           listen on port N (default 0: any free port)\n"
         "  --print-port       print the bound port on its own line once listening\n"
         "  --fixed-code DDDD  every captcha shows this four-digit code\n"
         "  --delay-ms N       wait N milliseconds before every reply\n"
         "  --log FILE         append one line per request received to FILE\n"
         "  --no-markers[=N]   answer a right code with a page without the links\n"
         "                     (every time, or only the first N times)\n"
         "  --file ID          serve one more file id (8057452 is always served)\n";
}

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--print-port") {
      o.printPort = true;
    } else if (arg == "--port") {
      if (!value(v) || !ToInt(v, 0, 65535, o.port)) parsed.error = "--port needs 0..65535";
    } else if (arg == "--delay-ms") {
      if (!value(v) || !ToInt(v, 0, 600000, o.delayMs)) {
        parsed.error = "--delay-ms needs 0..600000";
      }
    } else if (arg == "--fixed-code") {
      if (!value(v) || !IsFourDigits(v)) parsed.error = "--fixed-code needs four digits";
      o.fixedCode = v;
    } else if (arg == "--log") {
      if (!value(v) || v.empty()) parsed.error = "--log needs a file name";
      o.logPath = v;
    } else if (arg == "--no-markers") {
      o.linklessReplies = -1;
    } else if (arg.starts_with("--no-markers=")) {
      if (!ToInt(arg.substr(13), 1, 1000000, o.linklessReplies)) {
        parsed.error = "--no-markers=N needs a count of at least 1";
      }
    } else if (arg == "--file") {
      if (!value(v) || v.empty()) parsed.error = "--file needs an id";
      o.fileIds.emplace_back(v);
    } else {
      parsed.error = "unknown option " + std::string(arg);
    }
    if (!parsed.error.empty()) break;
  }
  return parsed;
}

}  // namespace standin
