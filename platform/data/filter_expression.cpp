#include "filter_expression.hpp"

#include <cctype>

namespace {

class Parser {
public:
    explicit Parser(const std::string& t) : s_(t) {}

    std::vector<FilterCondition> parse() {
        std::vector<FilterCondition> out;
        skip();
        if (pos_ == s_.size()) return out;
        for (;;) {
            out.push_back(condition());
            skip();
            if (pos_ == s_.size()) return out;
            std::string word = identifier();
            if (word.size() != 3 || std::toupper(static_cast<unsigned char>(word[0])) != 'A' ||
                std::toupper(static_cast<unsigned char>(word[1])) != 'N' || std::toupper(static_cast<unsigned char>(word[2])) != 'D')
                fail("esperado AND");
        }
    }

private:
    FilterCondition condition() {
        FilterCondition c;
        c.field = identifier();
        skip();
        if (s_.compare(pos_, 2, "<>") == 0) {
            c.equal = false;
            pos_ += 2;
        } else if (pos_ < s_.size() && s_[pos_] == '=') {
            ++pos_;
        } else {
            fail("esperado = ou <>");
        }
        skip();
        c.value = literal();
        return c;
    }

    std::string identifier() {
        skip();
        size_t start = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
        if (start == pos_) fail("esperado nome de campo");
        return s_.substr(start, pos_ - start);
    }

    std::string literal() {
        if (pos_ >= s_.size() || s_[pos_] != '\'') fail("esperado valor entre aspas simples");
        ++pos_;
        std::string v;
        for (;;) {
            if (pos_ >= s_.size()) fail("aspas não fechadas");
            char c = s_[pos_++];
            if (c == '\'') {
                if (pos_ < s_.size() && s_[pos_] == '\'') {
                    v += '\'';
                    ++pos_;
                } else {
                    return v;
                }
            } else {
                v += c;
            }
        }
    }

    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }

    [[noreturn]] void fail(const char* what) {
        throw EFilterError("Expressão de filtro inválida (" + std::string(what) + " na posição " + std::to_string(pos_ + 1) +
                           "): " + s_);
    }

    const std::string& s_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<FilterCondition> ParseFilter(const std::string& text) { return Parser(text).parse(); }

std::string QuotedStr(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}
