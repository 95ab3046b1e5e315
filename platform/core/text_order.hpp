// The text order used by sorted trees and sorted string lists, ICU's root collation: compare without
// accents and without case first ("Árvore" beside "arvore", before "B"); on a tie, with accents; on a
// tie, with case (upper case first); on a tie, by bytes. Texts are UTF-8 (malformed bytes compare as
// U+FFFD, then by bytes); every script's letters and accents are known.
#pragma once

#include <string>
#include <string_view>

// <0, 0 or >0 as a sorts before, equal to, or after b in text order.
int CompareTextOrder(std::string_view a, std::string_view b);

// Equal without regard to letter case (accents still count): the equality of sorted string sets
// that ignore case. Consistent with CompareTextOrder: equal here means equal in its first two keys.
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

// A key whose byte order (memcmp, then length) is the text order: for sorting many texts, each
// folded once instead of at every comparison.
std::string TextOrderKey(std::string_view s);

// Lower-cased copy, accents kept.
std::string LowerText(std::string_view s);

// Lower-cased, accents removed: for finding "Açúcar" by typing "acucar".
std::string FoldText(std::string_view s);

// Text order with the numbers inside the texts compared by value ("Loja 9" before "Loja 166"): runs
// of digits by their value (then by length: "07" after "7"), the rest in text order.
int CompareNaturalText(std::string_view a, std::string_view b);
