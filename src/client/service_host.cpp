#include "client/service.h"

// Compiled once per executable flavour with the host it talks to, so the
// same program can be linked against the real service or a loopback one.
const char client::kBuiltServiceHost[] = SERVICE_HOST;
