#pragma once
// The stand-in file host's command line.

#include <string>
#include <vector>

namespace standin {

struct Options {
  int port = 0;             // 0: any free port
  std::string fixedCode;    // empty: a fresh random code per captcha
  int delayMs = 0;          // wait before every reply
  std::string logPath;      // empty: no request log
  int linklessReplies = 0;  // answers to a right code that lack the links; -1: all of them
  bool printPort = false;
  std::vector<std::string> fileIds = {"8057452"};
  bool help = false;
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line was understood
};

// Reads argv[1..argc-1]. An unknown option, a missing or malformed value, or
// a fixed code that is not four digits gives a non-empty error.
ParsedOptions ParseOptions(int argc, const char* const* argv);

std::string Usage(const std::string& program);

}  // namespace standin
