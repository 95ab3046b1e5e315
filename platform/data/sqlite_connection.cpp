#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "sql_connection.hpp"
#include "sql_text.hpp"

namespace {

class Statement {
public:
    template <typename Fail>
    Statement(sqlite3* db, const std::string& sql, const char** tail, Fail fail) {
        if (int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, tail); rc != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
            fail(rc);
        }
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

int declaredSize(const char* decl) {
    if (!decl) return 0;
    const char* open = std::strchr(decl, '(');
    return open ? std::atoi(open + 1) : 0;
}

// What the authorizer of a read-only connection knows: whether the password table may be read, the
// tables that may be read only through this connection's scoped views, and whether the connection is
// building those views (then anything goes).
//
// A restricted table T is shadowed by a temporary view T over a second temporary view whose name
// starts with `viewPrefix`, and only that second view reads main.T. The authorizer learns which FROM
// item a read comes through by its name, which a statement's own CTE can also take; so the prefix is
// one no statement may spell (Stream refuses any text holding kReservedName), and a read of main.T is
// allowed only from an item whose name starts with it.
constexpr const char* kReservedName = "QEL_ESCOPO";

struct ReadGuard {
    bool secretsReadable = false;
    bool building = false;
    std::set<std::string> restricted;  // upper case
    std::string viewPrefix;            // "qel_escopo_<random>_", this connection's own
};

std::string upper(const char* s) {
    std::string out = s ? s : "";
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool startsWithNoCase(const char* text, const std::string& prefix) {
    return text && !prefix.empty() && sqlite3_strnicmp(text, prefix.c_str(), static_cast<int>(prefix.size())) == 0;
}

std::string randomPrefix() {
    // Not a secret (no statement may spell the prefix at all), only distinct per connection.
    static std::atomic<unsigned long long> counter{0};
    unsigned long long bits = 0;
    sqlite3_randomness(sizeof bits, &bits);
    char buf[64];
    std::snprintf(buf, sizeof buf, "qel_escopo_%016llx%llx_", bits, counter.fetch_add(1));
    return buf;
}

// Reading and the functions a query needs; nothing that writes, attaches or changes settings.
int readOnlyAuthorizer(void* data, int action, const char* arg1, const char* arg2, const char* database, const char* view) {
    auto guard = static_cast<ReadGuard*>(data);
    if (guard->building) return SQLITE_OK;
    switch (action) {
        case SQLITE_READ: {
            if (arg1 && sqlite3_stricmp(arg1, "QELOPERADOR") == 0 && !guard->secretsReadable) return SQLITE_DENY;
            if (guard->restricted.empty()) return SQLITE_OK;
            // A restricted table is read only from this connection's scoped views, which hold the
            // rows the rules allow. A read that names no schema is of main's table when no view
            // shadows it (a scope that could not be built).
            if ((!database || sqlite3_stricmp(database, "main") == 0) && guard->restricted.count(upper(arg1)) &&
                !startsWithNoCase(view, guard->viewPrefix))
                return SQLITE_DENY;
            // The temporary schema holds those views' definitions, the rules themselves.
            if (database && sqlite3_stricmp(database, "temp") == 0 && arg1 &&
                (sqlite3_stricmp(arg1, "sqlite_temp_master") == 0 || sqlite3_stricmp(arg1, "sqlite_temp_schema") == 0 ||
                 sqlite3_stricmp(arg1, "sqlite_master") == 0 || sqlite3_stricmp(arg1, "sqlite_schema") == 0))
                return SQLITE_DENY;
            return SQLITE_OK;
        }
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
        case SQLITE_TRANSACTION:  // a read snapshot; statements other than SELECT are refused before this
            return SQLITE_OK;
        case SQLITE_PRAGMA:
            // Only the change counter, which tells a cache whether the database changed.
            return arg1 && sqlite3_stricmp(arg1, "data_version") == 0 && !arg2 ? SQLITE_OK : SQLITE_DENY;
        case SQLITE_FUNCTION:
            // fts3_tokenizer hands out library addresses; load_extension loads code.
            for (const char* name : {arg1, arg2})
                if (name && (sqlite3_stricmp(name, "fts3_tokenizer") == 0 || sqlite3_stricmp(name, "load_extension") == 0))
                    return SQLITE_DENY;
            return SQLITE_OK;
        default:
            return SQLITE_DENY;
    }
}

// printf and format as SQLite has them, but a repeat count ("%.*c") larger than the value limit is
// refused up front: SQLite would otherwise spend seconds failing one character at a time, where
// neither the timeout nor an interrupt can stop it. The real function runs on a private in-memory
// handle, which has no such override.
struct SafePrintf {
    sqlite3* plain = nullptr;
    int limit = 0;
    ~SafePrintf() { sqlite3_close(plain); }

    static void call(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        auto self = static_cast<SafePrintf*>(sqlite3_user_data(ctx));
        if (argc < 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
        auto fmt = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        int next = 1;
        auto number = [&](const char*& p) -> long long {
            if (*p == '*') {
                ++p;
                return next < argc ? sqlite3_value_int64(argv[next++]) : 0;
            }
            long long v = 0;
            while (*p >= '0' && *p <= '9') v = std::min<long long>(v * 10 + (*p++ - '0'), 1LL << 40);
            return v;
        };
        for (const char* p = fmt; p && *p; ++p) {
            if (*p != '%') continue;
            ++p;
            if (*p == '%') continue;
            while (*p && std::strchr("-+ #!0,", *p)) ++p;
            long long width = std::llabs(number(p)), precision = 0;
            if (*p == '.') precision = std::llabs(number(++p));
            while (*p == 'l') ++p;
            if (!*p) break;
            if (next < argc) ++next;  // every conversion takes one argument
            if (width > self->limit || (*p == 'c' && precision > self->limit)) return sqlite3_result_error_toobig(ctx);
        }
        if (!self->plain && sqlite3_open(":memory:", &self->plain) != SQLITE_OK) return sqlite3_result_error_nomem(ctx);
        sqlite3_limit(self->plain, SQLITE_LIMIT_LENGTH, self->limit);
        std::string sql = "SELECT printf(?1";
        for (int i = 1; i < argc; ++i) sql += ",?" + std::to_string(i + 1);
        sql += ")";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(self->plain, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return sqlite3_result_error(ctx, sqlite3_errmsg(self->plain), -1);
        }
        for (int i = 0; i < argc; ++i) sqlite3_bind_value(st, i + 1, argv[i]);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) sqlite3_result_value(ctx, sqlite3_column_value(st, 0));
        else if (rc == SQLITE_TOOBIG) sqlite3_result_error_toobig(ctx);
        else sqlite3_result_error(ctx, sqlite3_errmsg(self->plain), -1);
        sqlite3_finalize(st);
    }
};

class SqliteConnection : public SqlConnection {
public:
    SqliteConnection(const std::string& path, bool readOnly) : path_(path), readOnly_(readOnly) { open(); }
    ~SqliteConnection() override { sqlite3_close(db_); }

    void Stream(const std::string& sql, const SqlParams& params, bool readOnly, SqlRowSink& sink) override {
        // A NUL would end the statement early, silently: whatever followed it would never be checked.
        if (sql.find('\0') != std::string::npos) throw ESqlError("A instrução SQL contém um caractere nulo");
        if (readOnly) {
            std::string w = FirstSqlWord(sql);
            if (w != "SELECT" && w != "WITH") throw ESqlError("Somente uma instrução SELECT é permitida");
            // Names that only the scoped views may take (see ReadGuard): no statement spells them.
            if (upper(sql.c_str()).find(kReservedName) != std::string::npos)
                throw ESqlError(std::string("A instrução usa um nome reservado do servidor (") + kReservedName + ")");
        }
        interrupted_ = false;
        deadline_ = timeout_.count() > 0 ? std::chrono::steady_clock::now() + timeout_ : std::chrono::steady_clock::time_point::max();
        bool delivered = false;
        try {
            run(sql, params, readOnly, sink, delivered);
        } catch (const EStaleFile&) {
            // The file was replaced in place (truncated, then restored): a new handle reads it anew.
            if (delivered || inSnapshot_) throw ESqlError(sqlite3_errstr(SQLITE_NOTADB));
            open();
            run(sql, params, readOnly, sink, delivered);
        }
    }

    void BeginSnapshot() override {
        Execute("BEGIN");
        inSnapshot_ = true;
    }

    void EndSnapshot() noexcept override {
        inSnapshot_ = false;
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    // Prepared statements keep the authorizer's verdict: the flag changes only between statements.
    void SetSecretsReadable(bool readable) override { guard_.secretsReadable = readable; }

    void SetRowScope(const SqlRowScope& scope) override {
        if (scope.key == scopeKey_ && !scopeKey_.empty()) return;
        if (scope.key.empty() && scopeKey_.empty() && guard_.restricted.empty()) return;
        // Until the new views stand, no restricted table is readable at all.
        std::set<std::string> restricted;
        for (const SqlRowRule& r : scope.rules) restricted.insert(upper(r.table.c_str()));
        if (guard_.viewPrefix.empty()) guard_.viewPrefix = randomPrefix();
        guard_.building = true;
        scopeKey_.clear();
        try {
            std::string script;
            for (const std::string& old : views_)
                script += "DROP VIEW IF EXISTS temp.\"" + old + "\";DROP VIEW IF EXISTS temp.\"" + guard_.viewPrefix + old + "\";";
            views_.clear();
            for (const SqlRowRule& r : scope.rules) {
                if (!IsPlainSqlIdentifier(r.table) || r.table.find('.') != std::string::npos)
                    throw ESqlError("Nome de tabela inválido numa regra de acesso: " + r.table);
                const std::string inner = guard_.viewPrefix + r.table;
                script += "CREATE TEMP VIEW \"" + inner + "\" AS SELECT * FROM main.\"" + r.table + "\" WHERE " + r.condition + ";";
                script += "CREATE TEMP VIEW \"" + r.table + "\" AS SELECT * FROM temp.\"" + inner + "\";";
                views_.push_back(r.table);
            }
            char* err = nullptr;
            if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
                std::string msg = err ? err : sqlite3_errmsg(db_);
                sqlite3_free(err);
                throw ESqlError(msg);
            }
        } catch (...) {
            guard_.building = false;
            guard_.restricted = restricted;  // fail closed: the tables stay unreadable
            throw;
        }
        guard_.building = false;
        guard_.restricted = std::move(restricted);
        scopeKey_ = scope.key;
    }

    void SetValueLimit(size_t bytes) override {
        valueLimit_ = static_cast<int>(std::min<size_t>(bytes, 0x7fffffff));
        limitValues();
    }

private:
    class EStaleFile : public ESqlError {
    public:
        using ESqlError::ESqlError;
    };

    void open() {
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
        int flags = readOnly_ ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        flags |= SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            std::string msg = db_ ? sqlite3_errmsg(db_) : "sem memória";
            sqlite3_close(db_);
            db_ = nullptr;
            throw ESqlError("Não foi possível abrir o banco de dados '" + path_ + "': " + msg);
        }
        sqlite3_busy_timeout(db_, 5000);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        if (readOnly_) sqlite3_set_authorizer(db_, readOnlyAuthorizer, &guard_);
        scopeKey_.clear();  // a new handle has no views yet
        sqlite3_progress_handler(db_, 1000, &SqliteConnection::progress, this);
        if (valueLimit_ > 0) limitValues();
    }

    void limitValues() {
        sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, valueLimit_);
        if (!printf_) printf_ = std::make_unique<SafePrintf>();
        printf_->limit = valueLimit_;
        for (const char* name : {"printf", "format"})
            sqlite3_create_function_v2(db_, name, -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, printf_.get(), &SafePrintf::call, nullptr,
                                       nullptr, nullptr);
    }

    [[noreturn]] void fail(int rc) {
        if (rc == SQLITE_INTERRUPT) throw ESqlInterrupted(stopReason());
        if (rc == SQLITE_TOOBIG && valueLimit_ > 0)
            throw ESqlError("Um valor da consulta passou de " + SizeText(static_cast<size_t>(valueLimit_)) +
                            ", o limite do servidor; restrinja a consulta");
        if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) throw EStaleFile(sqlite3_errmsg(db_));
        throw ESqlError(refusalInPortuguese(sqlite3_errmsg(db_)));
    }

    // The authorizer's refusals and the commonest faults reach the operator: in the operator's language.
    static std::string refusalInPortuguese(const std::string& message) {
        const std::string head = "access to ", tail = " is prohibited";
        if (message.rfind(head, 0) == 0 && message.size() > head.size() + tail.size() &&
            message.compare(message.size() - tail.size(), tail.size(), tail) == 0)
            return "Acesso negado à coluna " + message.substr(head.size(), message.size() - head.size() - tail.size());
        if (message == "not authorized") return "Acesso negado: a instrução faz o que uma consulta não pode fazer";
        for (auto [english, portuguese] : {std::pair<const char*, const char*>{"no such table: ", "Tabela inexistente: "},
                                           {"no such column: ", "Coluna inexistente: "}, {"no such function: ", "Função inexistente: "}})
            if (message.rfind(english, 0) == 0) return portuguese + message.substr(std::strlen(english));
        if (message.rfind("near \"", 0) == 0 && message.find("\": syntax error") != std::string::npos)
            return "Erro de sintaxe perto de " + message.substr(5, message.find("\": syntax error") - 4);
        return message;
    }

    void run(const std::string& sql, const SqlParams& params, bool readOnly, SqlRowSink& sink, bool& delivered) {
        const char* tail = nullptr;
        Statement st(db_, sql, &tail, [this](int rc) { fail(rc); });
        if (!st.get()) throw ESqlError("Instrução SQL vazia");
        if (tail && !blank(tail)) throw ESqlError("Somente uma instrução SQL é permitida por consulta");
        if (readOnly && !sqlite3_stmt_readonly(st.get())) throw ESqlError("Somente uma instrução SELECT é permitida");
        for (auto& [name, value] : params) {
            int idx = sqlite3_bind_parameter_index(st.get(), (":" + name).c_str());
            if (idx == 0) continue;  // a parameter the statement does not use
            sqlite3_bind_text(st.get(), idx, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        }
        int n = sqlite3_column_count(st.get());
        std::vector<SqlColumn> columns;
        for (int i = 0; i < n; ++i) columns.push_back({sqlite3_column_name(st.get(), i), declaredSize(sqlite3_column_decltype(st.get(), i))});
        std::vector<SqlValue> values(static_cast<size_t>(n));
        for (bool first = true;; first = false) {
            int rc = sqlite3_step(st.get());
            if (first) {
                if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc);  // before the caller saw anything
                delivered = true;
                sink.Columns(columns);
            }
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) fail(rc);
            for (int i = 0; i < n; ++i) {
                // Through the column's value: the value calls skip the per-call checks of the column
                // ones, which count on rows of millions of cells.
                sqlite3_value* cell = sqlite3_column_value(st.get(), i);
                SqlValue& v = values[static_cast<size_t>(i)];
                switch (sqlite3_value_type(cell)) {
                    case SQLITE_NULL: v = {SqlValue::Kind::Null, {}}; continue;
                    case SQLITE_BLOB: {
                        auto p = static_cast<const char*>(sqlite3_value_blob(cell));
                        v = {SqlValue::Kind::Blob, {p ? p : "", static_cast<size_t>(sqlite3_value_bytes(cell))}};
                        continue;
                    }
                    case SQLITE_INTEGER: v.kind = SqlValue::Kind::Integer; break;
                    case SQLITE_FLOAT: v.kind = SqlValue::Kind::Real; break;
                    default: v.kind = SqlValue::Kind::Text;
                }
                auto text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
                v.bytes = {text ? text : "", static_cast<size_t>(sqlite3_value_bytes(cell))};
            }
            sink.Row(values.data());
        }
    }

public:
    void Execute(const std::string& script) override {
        char* err = nullptr;
        interrupted_ = false;
        deadline_ = std::chrono::steady_clock::time_point::max();
        if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(db_);
            sqlite3_free(err);
            throw ESqlError(msg);
        }
    }

    std::string Description() const override { return "SQLite " + path_; }
    void Interrupt() override { interrupted_ = true; }
    void SetStatementTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    void SetCancelFlag(const std::atomic<bool>* flag) override { cancel_ = flag; }

private:
    static int progress(void* self) {
        auto c = static_cast<SqliteConnection*>(self);
        return c->stopped() || std::chrono::steady_clock::now() > c->deadline_;
    }
    bool stopped() const { return interrupted_ || (cancel_ && cancel_->load()); }
    std::string stopReason() const {
        if (stopped()) return "A consulta foi interrompida";
        return "A consulta excedeu o tempo limite de " + std::to_string(timeout_.count() / 1000) + " s e foi interrompida";
    }

    std::string path_;
    bool readOnly_;
    bool inSnapshot_ = false;
    ReadGuard guard_;
    std::string scopeKey_;            // the row scope the views stand for
    std::vector<std::string> views_;  // the temporary views standing now
    int valueLimit_ = 0;
    std::unique_ptr<SafePrintf> printf_;  // used by db_'s functions; db_ closes first, in the destructor
    sqlite3* db_ = nullptr;
    std::atomic<bool> interrupted_{false};
    const std::atomic<bool>* cancel_ = nullptr;
    std::chrono::milliseconds timeout_{0};
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace

std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool readOnly) {
    return std::make_unique<SqliteConnection>(path, readOnly);
}
