// JSON text without a document tree: values appended to a string as they are produced, for the wire
// format of server calls, where answers run to megabytes and are streamed out cell by cell (a
// document of them would cost many times their size). Text that is not valid UTF-8 is written with
// U+FFFD in place of each invalid byte, so the output is always valid JSON and valid UTF-8. Reading
// is simdjson's (wire.hpp); EJsonError is what both sides raise.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class EJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "text" with JSON escapes; invalid UTF-8 bytes become U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);
// Each byte as two lower-case hexadecimal digits (binary values travel as text).
void AppendHex(std::string& out, std::string_view bytes);
// The text with every invalid UTF-8 byte replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);
