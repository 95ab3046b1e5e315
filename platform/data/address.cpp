#include "address.hpp"

#include <charconv>

bool SplitHostPort(const std::string& text, std::string& host, int& port, std::string& error) {
    auto colon = text.rfind(':');
    std::string shown = text.size() > 80 ? text.substr(0, 80) + "…" : text;
    if (colon == std::string::npos || colon == 0) {
        error = "endereço deve ser HOST:PORTA: " + shown;
        return false;
    }
    std::string digits = text.substr(colon + 1);
    unsigned long v = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || v > 65535) {
        error = "porta inválida (de 0 a 65535): " + shown;
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    port = static_cast<int>(v);
    return true;
}
