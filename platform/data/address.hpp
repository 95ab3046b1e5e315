// A server's address as people write it, HOST:PORT, with the port in plain decimal from 0 to 65535
// ("[::1]:8211" for an IPv6 host). Shared by the server's --listen and the host's --server.
#pragma once

#include <string>

// False, with the reason in Portuguese, when the text is not such an address.
bool SplitHostPort(const std::string& text, std::string& host, int& port, std::string& error);
