#pragma once
// Taking a request URL apart by text search: the host to connect to, the path
// to request and the port of a plain-http URL. Not a URL parser: unusual URLs
// give whatever the searches give.

#include "text/text.h"

namespace web {

// The URL with every "https://" and then every "http://" removed, cut before
// its first "/" and then its first ":", in lower case. Empty for an empty URL.
text::Text UrlHost(const text::Text& url);

// The URL from the first "/" at or after where its host appears (case
// ignored), query included; "/" when no such slash exists.
text::Text UrlPath(const text::Text& url);

// The number after the first ":" of the authority (the part after a leading
// "http://", any case, up to the next "/"); 80 when there is no ":", 0 when
// no digits follow it. Meant for plain-http URLs only.
int UrlPort(const text::Text& url);

}  // namespace web
