#include "web/url.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
  const char* name;
  const char* url;
  const char* host;
  const char* path;
  int port;
};

const UrlCase kCases[] = {
    {"MixedCaseHostWithPortAndPath", "http://WWW.Example.COM:8080/a/b", "www.example.com", "/a/b",
     8080},
    {"NoSlashAfterHostGivesRootAndPort80", "http://example.com", "example.com", "/", 80},
    {"QueryHoldingAnAddressLeavesHostAlone", "http://a.com/r?u=http://b.com/x", "a.com",
     "/r?u=http://b.com/x", 80},
    {"ColonWithoutDigitsGivesPortZero", "http://a.com:/x", "a.com", "/x", 0},
    {"NoSchemeStillSplits", "a.com:8080/x?y=1", "a.com", "/x?y=1", 8080},
    {"HttpsSchemeRemovedFromHost", "https://Secure.a.com/p", "secure.a.com", "/p", 0},
    // The scheme removal is case-sensitive but the port's scheme test is not.
    {"CapitalSchemeIsNotRemovedFromHost", "HTTP://a.com:81/x", "http", "//a.com:81/x", 81},
    {"PortTextStopsAtFirstNonDigit", "http://a.com:81abc/x", "a.com", "/x", 81},
    {"EmptyUrl", "", "", "/", 80},
};

class UrlSplit : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlSplit, HostPathAndPort) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(web::UrlHost(c.url), c.host);
  EXPECT_EQ(web::UrlPath(c.url), c.path);
  EXPECT_EQ(web::UrlPort(c.url), c.port);
}

INSTANTIATE_TEST_SUITE_P(Table, UrlSplit, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
