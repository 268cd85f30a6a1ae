// ParseResultPage on any page: consistent verdicts, no failure.
#include <cstdlib>

#include "client/result_page.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const client::ResultPage page = client::ParseResultPage(fuzz::AsText(in.rest()));
  if (!page.rejected && page.found == page.telecomLink.empty()) std::abort();
  if (page.telecomLink.find('\0') != std::string::npos) std::abort();
  return 0;
}
