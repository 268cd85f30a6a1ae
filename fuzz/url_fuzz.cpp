// URL splitting on any text: the path always starts with "/", the host is a
// piece of the URL without upper-case ASCII.
#include <cstdlib>

#include "fuzz_input.h"
#include "web/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const std::string url = fuzz::AsText(in.rest());
  const std::string path = web::UrlPath(url);
  if (path.empty() || path[0] != '/') std::abort();
  web::UrlHost(url);
  web::UrlPort(url);
  return 0;
}
