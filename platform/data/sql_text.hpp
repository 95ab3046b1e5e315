// Small readings of SQL text shared by the connections: the first word of a statement, past white
// space and comments, in upper case ("SELECT", "WITH", "DELETE"...); and sizes as messages say them.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

// A size for a message: "3 MB", "64 KB", "512 bytes" (never "0 MB" for a small limit).
inline std::string SizeText(size_t bytes) {
    if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    if (bytes >= (size_t{1} << 20)) return std::to_string((bytes * 10 >> 20) / 10) + "," + std::to_string((bytes * 10 >> 20) % 10) + " MB";
    if (bytes >= 1024) return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

inline std::string FirstSqlWord(const std::string& sql) {
    size_t i = 0;
    for (;;) {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
        if (sql.compare(i, 2, "--") == 0) {
            while (i < sql.size() && sql[i] != '\n') ++i;
            continue;
        }
        if (sql.compare(i, 2, "/*") == 0) {
            size_t e = sql.find("*/", i + 2);
            i = e == std::string::npos ? sql.size() : e + 2;
            continue;
        }
        break;
    }
    std::string w;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        w += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return w;
}

// Each ":P_NAME" parameter of a statement, outside quotes and comments ("::type" casts stay), replaced
// by what `replace(name)` gives: "$n" for an engine that binds them, a literal for one that cannot.
template <class Replace>
std::string ReplaceSqlParameters(const std::string& sql, Replace replace) {
    std::string out;
    out.reserve(sql.size());
    for (size_t i = 0; i < sql.size();) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            size_t end = i + 1;
            while (end < sql.size() && sql[end] != c) ++end;
            out.append(sql, i, end + 1 - i);
            i = end + 1;
        } else if (sql.compare(i, 2, "--") == 0) {
            size_t end = sql.find('\n', i);
            if (end == std::string::npos) end = sql.size();
            out.append(sql, i, end - i);
            i = end;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out += "::";
            i += 2;
        } else if (c == ':' && i + 1 < sql.size() && (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
            size_t end = i + 1;
            while (end < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_')) ++end;
            out += replace(sql.substr(i + 1, end - i - 1));
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// A text value as a ClickHouse literal, which binds no parameters: the backslash and the quote both
// escaped (doubling quotes alone is not enough there: a value ending in a backslash would end the
// literal early and let what follows run as SQL).
inline std::string ClickHouseLiteral(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\\' || c == '\'') out += '\\';
        out += c;
    }
    return out + "'";
}
