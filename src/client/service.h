#pragma once
// Where the file-hosting service lives, and how a file-page address maps to
// the file id both requests send.

#include "text/text.h"

namespace client {

// Host name (with an optional ":port") the executable was built for; defined
// by the service_host library it links (CMake cache variable SERVICE_HOST).
extern const char kBuiltServiceHost[];

// The service host in use: kBuiltServiceHost unless a test points elsewhere.
const text::Text& ServiceHost();

// "http://" + host + "/file/": how every file-page address begins.
text::Text FilePagePrefix();

// The address with every occurrence of the page prefix removed, in any
// letter case; an address without the prefix comes back whole.
text::Text FileIdFromAddress(const text::Text& address);

// Test-only: points both requests at another host (a loopback server).
void SetServiceHostForTesting(const text::Text& host);

}  // namespace client
