#include "words.hpp"

#include <stdexcept>

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(cur);
            cur.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '\'') {
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) throw std::invalid_argument("aspas simples não fechadas");
            cur += line.substr(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '"') {
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() && std::string("\"\\$`").find(line[j + 1]) != std::string::npos) ++j;
                cur += line[j];
            }
            if (j >= line.size()) throw std::invalid_argument("aspas duplas não fechadas");
            i = j;
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 < line.size()) cur += line[++i];
            inWord = true;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(cur);
    return words;
}
