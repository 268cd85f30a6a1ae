#pragma once
// The HTML pages (UTF-8) the stand-in file host answers with.

#include <string>

namespace standin {

// The three download links of one successful request, as a person would use
// them: thunder is the thunder:// address, telecom and unicom plain http.
struct Links {
  std::string thunder;
  std::string telecom;
  std::string unicom;
};

// Standard Base64 with "=" padding; empty for empty input.
std::string Base64Encode(const std::string& bytes);

// The name the stand-in gives the file with this id.
std::string FileName(const std::string& fileId);

// Links served from hostPort ("127.0.0.1:8080") for one file; key makes each
// request's links distinct.
Links MakeLinks(const std::string& hostPort, const std::string& fileId, const std::string& key);

// The public page of a file, or a not-found page when known is false.
std::string FilePage(const std::string& fileId, bool known);
// The page that tells the captcha was wrong or the session is missing.
std::string RejectionPage();
// The result page carrying the links in the anchors the program reads: the
// thunder address as it is, the two mirror addresses Base64-encoded.
std::string ResultPage(const std::string& fileId, const Links& links);
// A page that names the file but carries no download anchors.
std::string LinklessPage(const std::string& fileId);
// The answer to a right code for a file the host does not have.
std::string UnknownFilePage(const std::string& fileId);

}  // namespace standin
