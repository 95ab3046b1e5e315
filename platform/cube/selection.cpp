#include "selection.hpp"

std::vector<std::string> ParseSelection(const std::string& s) {
    std::vector<std::string> keys;
    size_t i = 0;
    auto skipSpaces = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    skipSpaces();
    while (i < s.size()) {
        if (s[i] != '\'') throw ESelectionError("Seleção de membros inválida: " + s.substr(0, 80));
        std::string key;
        for (++i;; ++i) {
            if (i >= s.size()) throw ESelectionError("Seleção de membros com aspas não fechadas: " + s.substr(0, 80));
            if (s[i] != '\'') {
                key += s[i];
            } else if (i + 1 < s.size() && s[i + 1] == '\'') {
                key += '\'';
                ++i;
            } else {
                ++i;
                break;
            }
        }
        keys.push_back(std::move(key));
        skipSpaces();
        if (i < s.size()) {
            if (s[i] != ',') throw ESelectionError("Seleção de membros inválida: " + s.substr(0, 80));
            ++i;
            skipSpaces();
            if (i >= s.size()) throw ESelectionError("Seleção de membros inválida: " + s.substr(0, 80));
        }
    }
    return keys;
}
