// HTTP/1.1 framing shared by the server's connections: status reasons, header tokens and the head
// of an answer. Request heads are read by ParseHttpHead (http_server.hpp).
#pragma once

#include <string>
#include <string_view>

#include "http_server.hpp"

// Whether a comma-separated header value holds the token (without regard to case); false for none.
bool HasHeaderToken(const std::string* value, std::string_view token);

// The status line and headers of an answer, ending with the blank line. A 304 and a 1xx carry no
// content headers; every other answer carries its type and length.
std::string ResponseHead(const HttpResponse& r, bool keepAlive);
