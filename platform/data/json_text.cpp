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
