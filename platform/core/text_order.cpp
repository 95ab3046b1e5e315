#include "core/text_order.hpp"


namespace {

// Decodes one UTF-8 code point; malformed bytes come back as themselves so nothing is lost.
char32_t nextCodePoint(std::string_view s, size_t& i) {
    auto c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) { ++i; return c; }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += extra + 1;
    return cp;
}

char32_t lower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

// Base letter of a Latin-1 lower-case letter (accents removed).
char32_t unaccent(char32_t c) {
    static const char* map = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // 0xE0..0xFF
    if (c >= 0xE0 && c <= 0xFF && c != 0xF7) return static_cast<unsigned char>(map[c - 0xE0]);
    return c;
}

// Compares a and b code point by code point after folding each with `fold`, without allocating.
template <class Fold>
int compareFolded(std::string_view a, std::string_view b, Fold fold) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = fold(nextCodePoint(a, i)), y = fold(nextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

char32_t foldPlain(char32_t c) { return unaccent(lower(c)); }

// A copy with each code point folded; code points the fold leaves alone are copied byte for byte.
std::string mapped(std::string_view s, char32_t (*fold)(char32_t)) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t start = i;
        char32_t c = nextCodePoint(s, i);
        char32_t f = fold(c);
        if (f == c) {
            out.append(s.substr(start, i - start));
        } else if (f < 0x80) {
            out.push_back(static_cast<char>(f));
        } else {  // Latin-1 range: two bytes
            out.push_back(static_cast<char>(0xC0 | (f >> 6)));
            out.push_back(static_cast<char>(0x80 | (f & 0x3F)));
        }
    }
    return out;
}

}  // namespace

int CompareTextOrder(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    if (int r = compareFolded(a, b, foldPlain)) return r;
    if (int r = compareFolded(a, b, lower)) return r;
    return a.compare(b) < 0 ? -1 : 1;
}

std::string TextOrderKey(std::string_view s) {
    // Each folded code point as three bytes (plus one, so that the zero separator sorts before any
    // of them and a text sorts before its longer continuations), both foldings, then the bytes.
    std::string key;
    key.reserve(s.size() * 7 + 6);
    auto append = [&](char32_t (*fold)(char32_t)) {
        for (size_t i = 0; i < s.size();) {
            char32_t c = fold(nextCodePoint(s, i)) + 1;
            key += static_cast<char>((c >> 16) & 0xFF);
            key += static_cast<char>((c >> 8) & 0xFF);
            key += static_cast<char>(c & 0xFF);
        }
        key.append(3, '\0');
    };
    append(foldPlain);
    append(lower);
    key.append(s);
    return key;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return compareFolded(a, b, lower) == 0;
}

std::string LowerText(std::string_view s) { return mapped(s, lower); }

std::string FoldText(std::string_view s) { return mapped(s, foldPlain); }

int CompareNaturalText(std::string_view a, std::string_view b) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        bool da = digit(a[i]), db = digit(b[j]);
        size_t ei = i, ej = j;
        while (ei < a.size() && digit(a[ei]) == da) ++ei;
        while (ej < b.size() && digit(b[ej]) == db) ++ej;
        std::string_view x = a.substr(i, ei - i), y = b.substr(j, ej - j);
        int c = 0;
        if (da && db) {
            std::string_view vx = x.substr(std::min(x.find_first_not_of('0'), x.size())), vy = y.substr(std::min(y.find_first_not_of('0'), y.size()));
            c = vx.size() != vy.size() ? (vx.size() < vy.size() ? -1 : 1) : vx.compare(vy);
            if (c == 0 && x.size() != y.size()) c = x.size() < y.size() ? -1 : 1;
        } else if (da != db) {
            c = da ? -1 : 1;  // a number before a word, as text order puts digits before letters
        } else {
            c = compareFolded(x, y, foldPlain);
        }
        if (c != 0) return c < 0 ? -1 : 1;
        i = ei;
        j = ej;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return CompareTextOrder(a, b);  // equal but for case or accents
}
