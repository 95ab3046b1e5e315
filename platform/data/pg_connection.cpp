// The PostgreSQL connection (libpq). Statements keep their ":P_NAME" parameters, bound as real
// parameters ($1, $2...) whose type the server infers; rows come one at a time (single-row mode), so
// a large result is never held whole by the library; text is UTF-8 both ways. A read-only
// connection makes every transaction read-only. A broken connection is opened again at the next
// statement, so a database that went away is used again once it is back.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <regex>

#include "pg_guard.hpp"
#include "sql_connection.hpp"
#include "sql_text.hpp"

namespace {

constexpr unsigned kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
                   kBpchar = 1042, kVarchar = 1043, kNumeric = 1700;

// ":P_NAME" parameters turned into "$n", each name numbered once.
std::string numbered(const std::string& sql, std::vector<std::string>& names) {
    return ReplaceSqlParameters(sql, [&](const std::string& name) {
        auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end()) it = names.insert(names.end(), name);
        return "$" + std::to_string(it - names.begin() + 1);
    });
}

// libpq names the server's host, address and port in its connection messages; callers may pass the
// message on to clients, which have no business knowing where the database runs.
std::string WithoutAddress(std::string m) {
    static const std::regex where(R"(connection to server (at|on socket) "[^"]*"( \([^)]*\))?(, port \d+)? failed: ?)");
    static const std::regex host(R"((host name|server at|socket|address) "[^"]*"( \([^)]*\))?(, port \d+)?)");
    m = std::regex_replace(m, where, "");
    return std::regex_replace(m, host, "$1 (servidor)");
}

struct ResultGuard {
    PGresult* r;
    ~ResultGuard() { PQclear(r); }
};

// Reads libpq's text rows as values of their column's kind: numbers as numbers, booleans as
// "true"/"false", bytea unescaped. A decoded row points into the current result (and into bytes_ for
// bytea), so it stays valid only until the next row is read.
class PgRowDecoder {
public:
    // The columns, from the first result of a statement; names sized by varchar(n) and char(n).
    std::vector<SqlColumn> Describe(const PGresult* r) {
        std::vector<SqlColumn> columns;
        for (int i = 0; i < PQnfields(r); ++i) {
            types_.push_back(PQftype(r, i));
            int mod = PQfmod(r, i);
            bool sized = (types_.back() == kVarchar || types_.back() == kBpchar) && mod > 4;
            columns.push_back({PQfname(r, i), sized ? mod - 4 : 0});
        }
        row_.resize(columns.size());
        bytes_.resize(columns.size());
        return columns;
    }

    const SqlValue* Decode(const PGresult* r) {
        for (size_t i = 0; i < row_.size(); ++i) {
            const int column = static_cast<int>(i);
            if (PQgetisnull(r, 0, column)) {
                row_[i] = {SqlValue::Kind::Null, {}};
                continue;
            }
            const char* value = PQgetvalue(r, 0, column);
            std::string_view s(value, static_cast<size_t>(PQgetlength(r, 0, column)));
            switch (types_[i]) {
                case kInt2: case kInt4: case kInt8: case kOid: row_[i] = {SqlValue::Kind::Integer, s}; break;
                case kFloat4: case kFloat8: case kNumeric: row_[i] = {SqlValue::Kind::Real, s}; break;
                case kBool: row_[i] = {SqlValue::Kind::Text, s == "t" ? "true" : "false"}; break;
                case kBytea: {
                    size_t n = 0;
                    unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(value), &n);
                    bytes_[i].assign(reinterpret_cast<char*>(raw), n);
                    PQfreemem(raw);
                    row_[i] = {SqlValue::Kind::Blob, bytes_[i]};
                    break;
                }
                default: row_[i] = {SqlValue::Kind::Text, s};
            }
        }
        return row_.data();
    }

private:
    std::vector<unsigned> types_;
    std::vector<SqlValue> row_;
    std::vector<std::string> bytes_;  // unescaped bytea values of the current row
};

class PgConnection : public SqlConnection {
public:
    PgConnection(std::string uri, bool readOnly) : uri_(std::move(uri)), readOnly_(readOnly) { connect(); }
    ~PgConnection() override {
        std::lock_guard lock(cancelMutex_);
        if (cancel_) PQfreeCancel(cancel_);
        if (conn_) PQfinish(conn_);
    }

    void Stream(const std::string& sql, const SqlParams& params, bool readOnly, SqlRowSink& sink) override {
        // A NUL would end the statement early, silently: whatever followed it would never be checked.
        if (sql.find('\0') != std::string::npos) throw ESqlError("A instrução SQL contém um caractere nulo");
        if (readOnly) {
            std::string w = FirstSqlWord(sql);
            if (w != "SELECT" && w != "WITH") throw ESqlError("Somente uma instrução SELECT é permitida");
            if (std::string name = ForbiddenPostgresName(sql, secretsReadable_); !name.empty())
                throw ESqlError("A instrução SQL usa " + name + ", que não é permitido nas consultas");
        }
        interrupted_ = false;
        std::vector<std::string> names;
        std::string text = numbered(sql, names);
        for (int attempt = 0;; ++attempt) {
            bool delivered = false;
            try {
                usable();
                // Its own read-only transaction: whatever the statement sets or takes ends with it.
                bool own = readOnly && !inSnapshot_;
                if (own) {
                    command("BEGIN READ ONLY");
                    applyOperator(true);
                }
                try {
                    run(text, names, params, sink, delivered);
                } catch (...) {
                    if (own) rollback();
                    throw;
                }
                if (own) rollback();
                return;
            } catch (const ESqlInterrupted&) {
                throw;
            } catch (const ESqlError&) {
                // The database server went away and came back: its old session is gone. Once more,
                // on a new one, when nothing reached the caller yet.
                if (attempt == 0 && !delivered && !inSnapshot_ && conn_ && PQstatus(conn_) != CONNECTION_OK) continue;
                throw;
            }
        }
    }

    void BeginSnapshot() override {
        usable();
        command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        applyOperator(true);
        inSnapshot_ = true;
    }

    void EndSnapshot() noexcept override {
        inSnapshot_ = false;
        rollback();
    }

    void ResetSession() override {
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return;
        try {
            command("DISCARD ALL");  // settings, advisory locks, prepared statements, temporary tables
            if (readOnly_) command("SET default_transaction_read_only = on");
        } catch (const ESqlError&) {
            PQfinish(conn_);  // a session that cannot be reset is not lent again
            conn_ = nullptr;
        }
    }

private:
    void command(const char* sql) {
        ResultGuard r{PQexec(conn_, sql)};
        if (PQresultStatus(r.r) != PGRES_COMMAND_OK) throw ESqlError(message());
    }

    void applyOperator(bool local) {
        const char* values[] = {scopeOperator_.c_str(), local ? "true" : "false"};
        ResultGuard r{PQexecParams(conn_, "SELECT set_config('qel.operator', $1, $2::boolean)", 2, nullptr, values, nullptr, nullptr, 0)};
        if (PQresultStatus(r.r) != PGRES_TUPLES_OK) throw ESqlError(message());
    }

    void rollback() noexcept {
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return;
        ResultGuard r{PQexec(conn_, "ROLLBACK")};
    }

    void run(const std::string& text, const std::vector<std::string>& names, const SqlParams& params, SqlRowSink& sink,
             bool& delivered) {
        std::vector<const char*> values;
        for (auto& n : names) {
            auto it = params.find(n);
            values.push_back(it == params.end() ? nullptr : it->second.c_str());
        }
        // The extended protocol takes exactly one statement: a second one is refused by the server.
        if (!PQsendQueryParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0))
            throw ESqlError(message());
        PQsetSingleRowMode(conn_);
        auto deadline = timeout_.count() > 0 ? std::chrono::steady_clock::now() + timeout_ : std::chrono::steady_clock::time_point::max();
        bool described = false, cancelled = false;
        std::exception_ptr failure;  // the sink's: once it fails it hears nothing more
        auto deliver = [&](auto&& call) {
            if (failure) return false;
            try {
                call();
                return true;
            } catch (...) {
                failure = std::current_exception();
                return false;
            }
        };
        std::string error;
        PgRowDecoder decoder;
        while (PGresult* r = next(deadline, cancelled)) {
            ResultGuard guard{r};
            ExecStatusType st = PQresultStatus(r);
            if (st == PGRES_SINGLE_TUPLE || st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK) {
                if (!described) {
                    described = true;
                    std::vector<SqlColumn> columns = st == PGRES_COMMAND_OK ? std::vector<SqlColumn>{} : decoder.Describe(r);
                    if (!failure) delivered = true;
                    deliver([&] { sink.Columns(columns); });
                }
                // A sink that has had enough: the server stops, and what it still sends is read away.
                if (st == PGRES_SINGLE_TUPLE && !failure && !deliver([&] { sink.Row(decoder.Decode(r)); })) cancel();
            } else if (error.empty()) {
                const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                if (state && std::strcmp(state, "57014") == 0) cancelled = true;  // query_canceled
                error = PQresultErrorMessage(r);
                while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
            }
        }
        if (failure) std::rethrow_exception(failure);
        if (cancelled || stopped()) throw ESqlInterrupted(stopReason(deadline));
        if (!error.empty()) throw ESqlError(error);
        if (PQstatus(conn_) != CONNECTION_OK) throw ESqlError(message());
    }

public:
    void Execute(const std::string& script) override {
        usable();
        ResultGuard r{PQexec(conn_, script.c_str())};
        ExecStatusType st = PQresultStatus(r.r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) throw ESqlError(message());
    }

    std::string Description() const override { return "PostgreSQL"; }

    void Interrupt() override {
        interrupted_ = true;
        cancel();
    }
    void SetStatementTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    void SetCancelFlag(const std::atomic<bool>* flag) override { cancelFlag_ = flag; }
    void SetSecretsReadable(bool readable) override { secretsReadable_ = readable; }

    // The policies read the operator from qel.operator: set for each of the server's transactions,
    // or once for the session of a connection that runs statements outside transactions of its own.
    void SetRowScope(const SqlRowScope& scope) override {
        scopeOperator_ = scope.operatorCode;
        for (int attempt = 0;; ++attempt) {
            try {
                usable();
                applyOperator(false);
                return;
            } catch (const ESqlError&) {
                // A session that died with a restart of the database server: once more, on a new one.
                if (attempt == 0 && conn_ && PQstatus(conn_) != CONNECTION_OK) continue;
                throw;
            }
        }
    }

private:
    void connect() {
        if (conn_) PQfinish(conn_);
        conn_ = PQconnectdb(uri_.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) {
            std::string m = message();
            PQfinish(conn_);
            conn_ = nullptr;
            throw ESqlError("Não foi possível conectar ao banco de dados PostgreSQL: " + m);
        }
        PQsetClientEncoding(conn_, "UTF8");
        if (readOnly_) {
            ResultGuard r{PQexec(conn_, "SET default_transaction_read_only = on")};
            if (PQresultStatus(r.r) != PGRES_COMMAND_OK) throw ESqlError(message());
        }
        if (!scopeOperator_.empty()) applyOperator(false);
        std::lock_guard lock(cancelMutex_);
        if (cancel_) PQfreeCancel(cancel_);
        cancel_ = PQgetCancel(conn_);
    }

    // A connection that broke (the database went away) is opened again before the next statement.
    void usable() {
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) connect();
    }

    std::string message() const {
        std::string m = conn_ ? PQerrorMessage(conn_) : "sem conexão";
        while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
        return WithoutAddress(m);
    }

    bool stopped() const { return interrupted_ || (cancelFlag_ && cancelFlag_->load()); }
    std::string stopReason(std::chrono::steady_clock::time_point deadline) const {
        if (!stopped() && std::chrono::steady_clock::now() >= deadline)
            return "A consulta excedeu o tempo limite de " + std::to_string(timeout_.count() / 1000) + " s e foi interrompida";
        return "A consulta foi interrompida";
    }

    void cancel() {
        std::lock_guard lock(cancelMutex_);
        char err[256];
        if (cancel_) PQcancel(cancel_, err, sizeof err);
    }

    // The next result, waiting on the socket in short steps so that a cancel flag or the deadline can
    // stop the statement; nullptr when the statement has delivered everything.
    PGresult* next(std::chrono::steady_clock::time_point deadline, bool& cancelled) {
        bool asked = false;
        while (PQisBusy(conn_)) {
            if (!asked && (stopped() || std::chrono::steady_clock::now() >= deadline)) {
                cancel();
                asked = cancelled = true;
            }
            pollfd p{PQsocket(conn_), POLLIN, 0};
            if (poll(&p, 1, 50) < 0 && errno != EINTR) break;
            if (!PQconsumeInput(conn_)) break;
        }
        return PQgetResult(conn_);
    }

    std::string uri_;
    bool readOnly_;
    bool inSnapshot_ = false;
    bool secretsReadable_ = false;
    std::string scopeOperator_;
    PGconn* conn_ = nullptr;
    std::mutex cancelMutex_;
    PGcancel* cancel_ = nullptr;
    std::atomic<bool> interrupted_{false};
    const std::atomic<bool>* cancelFlag_ = nullptr;
    std::chrono::milliseconds timeout_{0};
};

}  // namespace

std::unique_ptr<SqlConnection> OpenPostgres(const std::string& uri, bool readOnly) {
    return std::make_unique<PgConnection>(uri, readOnly);
}

bool IsPostgresUri(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& target, bool readOnly) {
    if (IsClickHouseUri(target)) return OpenClickHouse(target, readOnly);
    return IsPostgresUri(target) ? OpenPostgres(target, readOnly) : OpenSqlite(target, readOnly);
}
