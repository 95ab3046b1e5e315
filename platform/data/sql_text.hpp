// Small readings of SQL text shared by the connections: the first word of a statement, past white
// space and comments, in upper case ("SELECT", "WITH", "DELETE"...).
#pragma once

#include <cctype>
#include <string>

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
