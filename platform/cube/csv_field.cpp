#include "csv_field.hpp"

#include <charconv>

std::string CsvTextField(const std::string& text) {
    std::string v = text;
    if (!v.empty() && std::string("=+-@\t\r").find(v[0]) != std::string::npos) v = "'" + v;
    if (v.find_first_of(";\"\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string CsvNumberField(const std::optional<double>& value, int decimals) {
    if (!value) return "";
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "";
    std::string out(buf, end);
    // A sum that rounds to nothing shows as nothing, whatever its sign was before rounding.
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
    for (char& c : out)
        if (c == '.') c = ',';
    return out;
}
