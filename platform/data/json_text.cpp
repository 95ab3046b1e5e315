#include "json_text.hpp"

#include <array>
#include <cstring>

namespace {

// 0: copied as is; 1: needs a JSON escape; 2: start of a multi-byte sequence (checked).
constexpr std::array<uint8_t, 256> kClass = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 1;
    t['"'] = 1;
    t['\\'] = 1;
    for (int c = 0x80; c < 0x100; ++c) t[c] = 2;
    return t;
}();

const char* kHex = "0123456789abcdef";
const char* kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t utf8Length(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are not valid.
    if (c == 0xE0 && b(i + 1) < 0xA0) return 0;
    if (c == 0xED && b(i + 1) >= 0xA0) return 0;
    if (c == 0xF0 && b(i + 1) < 0x90) return 0;
    if (c == 0xF4 && b(i + 1) >= 0x90) return 0;
    return n;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view s) {
    out += '"';
    size_t run = 0, i = 0;
    while (i < s.size()) {
        uint8_t k = kClass[static_cast<unsigned char>(s[i])];
        if (k == 0) {
            ++i;
            continue;
        }
        if (k == 2) {
            size_t n = utf8Length(s, i);
            if (n) {
                i += n;
                continue;
            }
        }
        out.append(s.data() + run, i - run);
        if (k == 2) {
            out += kReplacement;
        } else {
            char c = s[i];
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    out += "\\u00";
                    out += kHex[(c >> 4) & 0xF];
                    out += kHex[c & 0xF];
            }
        }
        run = ++i;
    }
    out.append(s.data() + run, s.size() - run);
    out += '"';
}

void AppendHex(std::string& out, std::string_view bytes) {
    size_t at = out.size();
    out.resize(at + bytes.size() * 2);
    for (unsigned char c : bytes) {
        out[at++] = kHex[c >> 4];
        out[at++] = kHex[c & 0xF];
    }
}

std::string ValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            out += s[i++];
        } else if (size_t n = utf8Length(s, i)) {
            out.append(s.data() + i, n);
            i += n;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

// ---- JsonReader --------------------------------------------------------------------------------

void JsonReader::Fail(const std::string& what) const {
    throw EJsonError("JSON inválido na posição " + std::to_string(pos_) + ": " + what);
}

void JsonReader::skipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) ++pos_;
}

void JsonReader::afterValue() {
    expect_ = stack_.empty() ? Expect::Done : Expect::CommaOrEnd;
}

JsonReader::Token JsonReader::Next() {
    for (;;) {
        skipSpace();
        if (pos_ >= s_.size()) {
            if (expect_ == Expect::Done) return Token::End;
            Fail("texto incompleto");
        }
        char c = s_[pos_];
        switch (expect_) {
            case Expect::Done: Fail("texto após o fim do valor");
            case Expect::Colon:
                if (c != ':') Fail("esperado ':'");
                ++pos_;
                expect_ = Expect::Value;
                continue;
            case Expect::CommaOrEnd:
                if (c == ',') {
                    ++pos_;
                    expect_ = stack_.back() == 'o' ? Expect::Key : Expect::Value;
                    continue;
                }
                if (c == (stack_.back() == 'o' ? '}' : ']')) break;
                Fail("esperado ',' ou o fim do " + std::string(stack_.back() == 'o' ? "objeto" : "vetor"));
            case Expect::Key:
            case Expect::KeyOrEnd:
                if (c == '"') {
                    ++pos_;
                    readString();
                    expect_ = Expect::Colon;
                    return Token::Key;
                }
                if (c == '}' && expect_ == Expect::KeyOrEnd) break;
                Fail("esperado um nome entre aspas");
            case Expect::Value:
            case Expect::ValueOrEnd:
                if (c == ']' && expect_ == Expect::ValueOrEnd) break;
                if (c == '}' || c == ']') Fail("esperado um valor");
                break;
        }
        // c starts a value or closes a container.
        if (c == '}' || c == ']') {
            ++pos_;
            stack_.pop_back();
            --depth_;
            afterValue();
            return c == '}' ? Token::EndObject : Token::EndArray;
        }
        if (c == '{' || c == '[') {
            if (++depth_ > maxDepth_) Fail("aninhamento mais profundo que " + std::to_string(maxDepth_) + " níveis");
            ++pos_;
            stack_ += c == '{' ? 'o' : 'a';
            expect_ = c == '{' ? Expect::KeyOrEnd : Expect::ValueOrEnd;
            return c == '{' ? Token::BeginObject : Token::BeginArray;
        }
        Token t;
        if (c == '"') {
            ++pos_;
            readString();
            t = Token::String;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            readNumber();
            t = Token::Number;
        } else if (c == 't') {
            expectWord("true");
            t = Token::True;
        } else if (c == 'f') {
            expectWord("false");
            t = Token::False;
        } else if (c == 'n') {
            expectWord("null");
            t = Token::Null;
        } else {
            Fail("caractere inesperado");
        }
        afterValue();
        return t;
    }
}

void JsonReader::expectWord(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) Fail("palavra desconhecida");
    pos_ += word.size();
    text_ = word;
}

void JsonReader::readNumber() {
    size_t start = pos_;
    if (s_[pos_] == '-') ++pos_;
    auto digits = [&] {
        size_t from = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        return pos_ - from;
    };
    size_t intDigits = digits();
    if (intDigits == 0 || (intDigits > 1 && s_[pos_ - intDigits] == '0')) Fail("número malformado");
    if (pos_ < s_.size() && s_[pos_] == '.') {
        ++pos_;
        if (digits() == 0) Fail("número malformado");
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
        ++pos_;
        if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
        if (digits() == 0) Fail("número malformado");
    }
    text_ = s_.substr(start, pos_ - start);
}

void JsonReader::readString() {
    // Fast path: no escapes and nothing to check beyond the closing quote. Eight bytes at a time
    // while none of them is a quote, a backslash or a control character.
    size_t start = pos_;
    constexpr uint64_t ones = ~uint64_t{0} / 255, highs = ones * 128;
    auto below = [](uint64_t x, uint64_t n) { return (x - ones * n) & ~x & highs; };
    while (pos_ + 8 <= s_.size()) {
        uint64_t w;
        std::memcpy(&w, s_.data() + pos_, 8);
        if (below(w ^ (ones * '"'), 1) | below(w ^ (ones * '\\'), 1) | below(w, 0x20)) break;
        pos_ += 8;
    }
    while (pos_ < s_.size()) {
        unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (c == '"') {
            text_ = s_.substr(start, pos_ - start);
            ++pos_;
            return;
        }
        if (c == '\\' || c < 0x20) break;
        ++pos_;
    }
    buffer_.assign(s_.data() + start, pos_ - start);
    auto hex4 = [&]() -> uint32_t {
        if (pos_ + 4 > s_.size()) Fail("escape \\u incompleto");
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            char h = s_[pos_++];
            v <<= 4;
            if (h >= '0' && h <= '9') v |= static_cast<uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f') v |= static_cast<uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') v |= static_cast<uint32_t>(h - 'A' + 10);
            else Fail("escape \\u malformado");
        }
        return v;
    };
    while (pos_ < s_.size()) {
        char c = s_[pos_++];
        if (c == '"') {
            text_ = buffer_;
            return;
        }
        if (static_cast<unsigned char>(c) < 0x20) Fail("caractere de controle dentro de um texto");
        if (c != '\\') {
            buffer_ += c;
            continue;
        }
        if (pos_ >= s_.size()) break;
        switch (s_[pos_++]) {
            case '"': buffer_ += '"'; break;
            case '\\': buffer_ += '\\'; break;
            case '/': buffer_ += '/'; break;
            case 'b': buffer_ += '\b'; break;
            case 'f': buffer_ += '\f'; break;
            case 'n': buffer_ += '\n'; break;
            case 'r': buffer_ += '\r'; break;
            case 't': buffer_ += '\t'; break;
            case 'u': {
                uint32_t cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
                    size_t back = pos_;
                    pos_ += 2;
                    uint32_t low = hex4();
                    if (low >= 0xDC00 && low < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    else pos_ = back;
                }
                if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // a lone surrogate
                appendUtf8(buffer_, cp);
                break;
            }
            default: Fail("escape desconhecido");
        }
    }
    Fail("texto sem aspas de fechamento");
}

void JsonReader::SkipValue(Token first) {
    if (first != Token::BeginObject && first != Token::BeginArray) return;
    int depth = depth_ - 1;
    while (depth_ > depth) Next();
}

void JsonReader::ReadScalarArray(std::vector<std::string>& cells) {
    if (stack_.empty() || stack_.back() != 'a' || expect_ != Expect::ValueOrEnd) Fail("esperado o conteúdo de um vetor");
    skipSpace();
    if (pos_ < s_.size() && s_[pos_] == ']') {
        Next();  // the empty array
        return;
    }
    for (;;) {
        skipSpace();
        if (pos_ >= s_.size()) Fail("texto incompleto");
        char c = s_[pos_];
        if (c == '"') {
            ++pos_;
            readString();
            cells.emplace_back(text_);
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            readNumber();
            cells.emplace_back(text_);
        } else if (c == 'n') {
            expectWord("null");
            cells.emplace_back();
        } else if (c == 't' || c == 'f') {
            expectWord(c == 't' ? "true" : "false");
            cells.emplace_back(text_);
        } else {
            Fail("esperado um valor simples");
        }
        skipSpace();
        if (pos_ >= s_.size()) Fail("texto incompleto");
        if (s_[pos_] == ',') {
            ++pos_;
            continue;
        }
        if (s_[pos_] != ']') Fail("esperado ',' ou o fim do vetor");
        ++pos_;
        stack_.pop_back();
        --depth_;
        afterValue();
        return;
    }
}
