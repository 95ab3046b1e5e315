// JSON text without a document tree: appending values to a string as they are produced, and a pull
// reader that walks a text token by token. Both serve the wire format of server calls, where answers
// run to megabytes and a tree of them would cost many times their size.
//
// Writing: text that is not valid UTF-8 is written with U+FFFD in place of each invalid byte, so the
// output is always valid JSON and valid UTF-8.
// Reading: nesting deeper than the reader's limit, malformed text and trailing garbage raise
// EJsonError with a clear message; strings are unescaped (\u escapes and surrogate pairs included)
// into a buffer the reader reuses, valid until the next token.
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

class JsonReader {
public:
    enum class Token { BeginObject, EndObject, BeginArray, EndArray, Key, String, Number, True, False, Null, End };

    explicit JsonReader(std::string_view text, int maxDepth = 512) : s_(text), maxDepth_(maxDepth) {}

    // The next token; after the last value End, and anything but white space after it raises.
    Token Next();
    // The text of the last Key or String token (unescaped) or Number token (as written).
    std::string_view Text() const { return text_; }
    int Depth() const { return depth_; }
    // Skips the value whose first token was just read (a no-op for scalars).
    void SkipValue(Token first);
    // Reads the rest of an array whose BeginArray was just read, each element a plain value, as text
    // appended to `cells` (null as empty text, numbers as written, true and false by name); raises
    // on anything else. A shortcut for the rows of a packet, which are most of a large answer.
    void ReadScalarArray(std::vector<std::string>& cells);
    // Raises EJsonError naming what was expected at the current place.
    [[noreturn]] void Fail(const std::string& what) const;

private:
    void readString();
    void readNumber();
    void skipSpace();
    void expectWord(std::string_view word);
    void afterValue();

    std::string_view s_;
    size_t pos_ = 0;
    int depth_ = 0;
    int maxDepth_;
    // Per open container: whether it is an object, and what comes next in it.
    std::string stack_;  // 'o' object, 'a' array
    enum class Expect { Value, KeyOrEnd, ValueOrEnd, CommaOrEnd, Key, Colon, Done } expect_ = Expect::Value;
    std::string buffer_;
    std::string_view text_;
};
