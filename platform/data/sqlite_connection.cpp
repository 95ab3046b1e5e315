#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "sql_connection.hpp"

namespace {

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql, const char** tail) {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, tail) != SQLITE_OK)
            throw ESqlError(sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool blank(const char* p) {
    // Only white space and comments may follow the one statement.
    while (*p) {
        if (std::isspace(static_cast<unsigned char>(*p)) || *p == ';') { ++p; continue; }
        if (p[0] == '-' && p[1] == '-') { while (*p && *p != '\n') ++p; continue; }
        if (p[0] == '/' && p[1] == '*') {
            const char* end = std::strstr(p + 2, "*/");
            if (!end) return true;
            p = end + 2;
            continue;
        }
        return false;
    }
    return true;
}

std::string firstWord(const std::string& sql) {
    size_t i = 0;
    for (;;) {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
        if (sql.compare(i, 2, "--") == 0) { while (i < sql.size() && sql[i] != '\n') ++i; continue; }
        if (sql.compare(i, 2, "/*") == 0) { size_t e = sql.find("*/", i + 2); i = e == std::string::npos ? sql.size() : e + 2; continue; }
        break;
    }
    std::string w;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) w += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return w;
}

int declaredSize(const char* decl) {
    if (!decl) return 0;
    const char* open = std::strchr(decl, '(');
    return open ? std::atoi(open + 1) : 0;
}

class SqliteConnection : public SqlConnection {
public:
    SqliteConnection(const std::string& path, bool readOnly) : path_(path) {
        int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        flags |= SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            std::string msg = db_ ? sqlite3_errmsg(db_) : "sem memória";
            sqlite3_close(db_);
            throw ESqlError("Não foi possível abrir o banco de dados '" + path + "': " + msg);
        }
        sqlite3_busy_timeout(db_, 5000);
    }
    ~SqliteConnection() override { sqlite3_close(db_); }

    SqlResult Query(const std::string& sql, const SqlParams& params, bool readOnly) override {
        if (readOnly) {
            std::string w = firstWord(sql);
            if (w != "SELECT" && w != "WITH") throw ESqlError("Somente uma instrução SELECT é permitida");
        }
        const char* tail = nullptr;
        Statement st(db_, sql, &tail);
        if (!st.get()) throw ESqlError("Instrução SQL vazia");
        if (tail && !blank(tail)) throw ESqlError("Somente uma instrução SQL é permitida por consulta");
        if (readOnly && !sqlite3_stmt_readonly(st.get())) throw ESqlError("Somente uma instrução SELECT é permitida");
        for (auto& [name, value] : params) {
            int idx = sqlite3_bind_parameter_index(st.get(), (":" + name).c_str());
            if (idx == 0) continue;  // a parameter the statement does not use
            sqlite3_bind_text(st.get(), idx, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        }
        SqlResult r;
        int n = sqlite3_column_count(st.get());
        for (int i = 0; i < n; ++i)
            r.columns.push_back({sqlite3_column_name(st.get(), i), declaredSize(sqlite3_column_decltype(st.get(), i))});
        for (;;) {
            int rc = sqlite3_step(st.get());
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) throw ESqlError(sqlite3_errmsg(db_));
            std::vector<std::string> row;
            row.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                auto text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i));
                row.emplace_back(text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(st.get(), i))) : std::string());
            }
            r.rows.push_back(std::move(row));
        }
        return r;
    }

    void Execute(const std::string& script) override {
        char* err = nullptr;
        if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(db_);
            sqlite3_free(err);
            throw ESqlError(msg);
        }
    }

    std::string Description() const override { return "SQLite " + path_; }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

size_t utf8Length(const std::string& s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool readOnly) {
    return std::make_unique<SqliteConnection>(path, readOnly);
}

DataPacket SqlResult::ToPacket() const {
    DataPacket p;
    for (size_t i = 0; i < columns.size(); ++i) {
        size_t size = static_cast<size_t>(columns[i].size);
        if (size == 0) {
            size = 1;
            for (auto& row : rows) size = std::max(size, utf8Length(row[i]));
        }
        p.fields.push_back({columns[i].name, static_cast<int>(size), false, "string"});
    }
    p.rows = rows;
    return p;
}

bool IsPlainSqlIdentifier(const std::string& name) {
    auto part = [](const std::string& s) {
        if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
        return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    };
    auto dot = name.find('.');
    if (dot == std::string::npos) return part(name);
    return part(name.substr(0, dot)) && part(name.substr(dot + 1));
}
