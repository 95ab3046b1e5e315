#include "core/text_order.hpp"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <stdexcept>
#include <vector>

namespace {

// ICU's root collation at three strengths: letters only; letters and accents; letters, accents and
// case, upper case first. Each thread opens its own (cheap once ICU has loaded its data) and keeps
// them for its life, so no collator is ever shared between threads.
class Collators {
public:
    Collators() : primary_(open(UCOL_PRIMARY)), secondary_(open(UCOL_SECONDARY)), tertiary_(open(UCOL_TERTIARY)) {}
    ~Collators() {
        for (UCollator* c : {primary_, secondary_, tertiary_}) ucol_close(c);
    }
    Collators(const Collators&) = delete;
    Collators& operator=(const Collators&) = delete;

    const UCollator* primary() const { return primary_; }
    const UCollator* secondary() const { return secondary_; }
    const UCollator* tertiary() const { return tertiary_; }

private:
    static UCollator* open(UColAttributeValue strength) {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* c = ucol_open("", &status);
        ucol_setAttribute(c, UCOL_STRENGTH, strength, &status);
        ucol_setAttribute(c, UCOL_CASE_FIRST, UCOL_UPPER_FIRST, &status);
        if (U_FAILURE(status)) throw std::runtime_error(std::string("ordem de textos indisponível: ") + u_errorName(status));
        return c;
    }
    UCollator* primary_;
    UCollator* secondary_;
    UCollator* tertiary_;
};

const Collators& collators() {
    thread_local Collators c;
    return c;
}

int compare(const UCollator* c, std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = ucol_strcollUTF8(c, a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()), &status);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

// UTF-8 to UTF-16 for ICU's calls; malformed bytes become U+FFFD.
std::u16string utf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');  // never more UTF-16 units than UTF-8 bytes
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n, s.data(),
                         static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
    return out;
}

std::string utf8(const std::u16string& s) {
    std::string out(s.size() * 3, '\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, reinterpret_cast<const UChar*>(s.data()),
                       static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
    return out;
}

std::u16string lower(const std::u16string& s) {
    std::u16string out(s.size() + 8, u'\0');
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t n = u_strToLower(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                 reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(static_cast<size_t>(n));
            continue;
        }
        out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
        return out;
    }
}

}  // namespace

int CompareTextOrder(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    if (int r = compare(collators().tertiary(), a, b)) return r;
    return a.compare(b) < 0 ? -1 : 1;
}

std::string TextOrderKey(std::string_view s) {
    // ICU's sort key (it ends with its only zero byte), then the bytes, which break its ties as
    // CompareTextOrder does.
    const std::u16string text = utf16(s);
    std::string key(text.size() * 4 + 16, '\0');
    for (;;) {
        int32_t n = ucol_getSortKey(collators().tertiary(), reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), reinterpret_cast<uint8_t*>(key.data()),
                                    static_cast<int32_t>(key.size()));
        if (static_cast<size_t>(n) <= key.size()) {
            key.resize(static_cast<size_t>(n));
            break;
        }
        key.resize(static_cast<size_t>(n));
    }
    key.append(s);
    return key;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
    return a == b || compare(collators().secondary(), a, b) == 0;
}

std::string LowerText(std::string_view s) { return utf8(lower(utf16(s))); }

std::string FoldText(std::string_view s) {
    // Decomposed, so that each accent is a mark of its own, and the marks dropped.
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    const std::u16string text = utf16(s);
    std::u16string decomposed(text.size() * 4 + 8, u'\0');
    int32_t n = unorm2_normalize(nfd, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                 reinterpret_cast<UChar*>(decomposed.data()), static_cast<int32_t>(decomposed.size()), &status);
    if (U_FAILURE(status)) return LowerText(s);
    decomposed.resize(static_cast<size_t>(n));
    std::u16string bare;
    bare.reserve(decomposed.size());
    for (char16_t c : decomposed)
        if (u_charType(c) != U_NON_SPACING_MARK) bare.push_back(c);
    return utf8(lower(bare));
}

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
            c = compare(collators().primary(), x, y);
        }
        if (c != 0) return c < 0 ? -1 : 1;
        i = ei;
        j = ej;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return CompareTextOrder(a, b);  // equal but for case or accents
}
