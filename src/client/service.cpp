#include "client/service.h"

namespace client {
namespace {

text::Text& Host() {
  static text::Text host = kBuiltServiceHost;
  return host;
}

}  // namespace

const text::Text& ServiceHost() {
  return Host();
}

text::Text FilePagePrefix() {
  return "http://" + ServiceHost() + "/file/";
}

text::Text FileIdFromAddress(const text::Text& address) {
  return text::replaceAll(address, FilePagePrefix(), {}, 1, text::kUnlimited,
                          /*caseSensitive=*/false);
}

void SetServiceHostForTesting(const text::Text& host) {
  Host() = host;
}

}  // namespace client
