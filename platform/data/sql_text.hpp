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
