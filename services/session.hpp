// Session values the host sets from its options: the logged-in operator and the application server.
#pragma once

#include <string>

std::string Operador();
std::string WebURL();
int WebPort();
void SetSession(const std::string& operador, const std::string& webUrl, int webPort);
