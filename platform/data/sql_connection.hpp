// SQL connections behind one interface, so that the framework's queries and the server run on
// SQLite (the embedded default) or on PostgreSQL alike. A query is exactly one statement; named parameters
// (":P_NAME") are bound as text, never pasted into the statement. Errors raise ESqlError with the
// database's own message. Connections are RAII: destroying one closes it.
//
// Rows come either whole (Query: every cell as text, NULL as empty text, binary values as
// hexadecimal text) or one at a time to a sink (Stream), as the database delivers them, so that a
// caller can encode them without holding a copy. A statement can be stopped from another thread
// (Interrupt) and is stopped by the connection's statement timeout; both raise ESqlInterrupted.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "packet.hpp"

class ESqlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ESqlInterrupted : public ESqlError {
public:
    using ESqlError::ESqlError;
};

using SqlParams = std::map<std::string, std::string>;  // name without the colon -> text value

struct SqlColumn {
    std::string name;
    int size = 0;  // declared length when the column has one, else 0
};

struct SqlValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::string_view bytes;  // the text of a number or a text as the database writes it; a blob's raw bytes
};

class SqlRowSink {
public:
    virtual ~SqlRowSink() = default;
    virtual void Columns(const std::vector<SqlColumn>& columns) = 0;
    // One value per column, valid only during the call. Throwing stops the statement.
    virtual void Row(const SqlValue* values) = 0;
};

struct SqlResult {
    std::vector<SqlColumn> columns;
    PacketRows rows;  // NULL reads as empty text
    // As a data packet: string fields sized by the declared length, or by the longest value.
    DataPacket ToPacket() const&;
    DataPacket ToPacket() &&;  // the rows moved, not copied
};

// Whose data a connection's statements may see. On SQLite, each rule shadows a table with a
// temporary view of its allowed rows (`condition` over the table's own columns), and reading the
// table itself other than through that view is refused; the views are built again only when `key`
// changes. On PostgreSQL the database's row-level policies do it, reading `operatorCode` ("*": every
// row) from the session setting qel.operator. An empty scope: no restriction on SQLite, and no
// operator (no rows of a table with policies) on PostgreSQL.
struct SqlRowRule {
    std::string table;
    std::string condition;
};
struct SqlRowScope {
    std::string operatorCode;
    std::string key;
    std::vector<SqlRowRule> rules;
};

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // Runs one statement, handing each row to the sink. With readOnly, anything but a single
    // read-only SELECT is refused.
    virtual void Stream(const std::string& sql, const SqlParams& params, bool readOnly, SqlRowSink& sink) = 0;
    // Runs one statement and returns every row as text; `rowsRead` (not owned; may be read from
    // another thread) counts the rows as they come.
    SqlResult Query(const std::string& sql, const SqlParams& params = {}, bool readOnly = false,
                    std::atomic<size_t>* rowsRead = nullptr);
    // Runs a script of several statements (set-up and tests).
    virtual void Execute(const std::string& script) = 0;
    virtual std::string Description() const = 0;
    // Safe from any thread: the statement running now stops with ESqlInterrupted.
    virtual void Interrupt() = 0;
    // Statements that run longer stop with ESqlInterrupted; zero: no limit.
    virtual void SetStatementTimeout(std::chrono::milliseconds timeout) = 0;
    // While the flag (not owned; null for none) is true, statements stop with ESqlInterrupted.
    virtual void SetCancelFlag(const std::atomic<bool>* flag) = 0;
    // Statements between these two read one snapshot of the database (use SqlSnapshot).
    virtual void BeginSnapshot() = 0;
    virtual void EndSnapshot() noexcept = 0;
    // Forgets whatever a call may have left in the session (settings, locks, prepared statements), so
    // that a pooled connection starts the next call as new.
    virtual void ResetSession() {}
    // The largest single value (text or blob) a statement may build, in bytes; past it the statement
    // fails at once instead of filling memory. Engines that cannot bound it ignore the call.
    virtual void SetValueLimit(size_t /*bytes*/) {}
    // The operators' password table (QELOPERADOR) is never read by read-only statements, unless the
    // caller (the server's login, and only it) opens it for the statements it runs itself.
    virtual void SetSecretsReadable(bool readable) = 0;
    // Whether read-only statements may name the engine's own system tables, which on ClickHouse log
    // every user's statements (the operators' copies among them, with their allowed keys). Engines
    // whose system catalogues hold nothing of other users' rows ignore it.
    virtual void SetSystemTablesReadable(bool /*readable*/) {}
    virtual void SetRowScope(const SqlRowScope& scope) = 0;
};

// One read-only snapshot for the statements of a scope.
class SqlSnapshot {
public:
    explicit SqlSnapshot(SqlConnection& c) : c_(c) { c_.BeginSnapshot(); }
    ~SqlSnapshot() { c_.EndSnapshot(); }
    SqlSnapshot(const SqlSnapshot&) = delete;
    SqlSnapshot& operator=(const SqlSnapshot&) = delete;

private:
    SqlConnection& c_;
};

// Opens an SQLite database file (":memory:" for a private in-memory one). A read-only connection
// also refuses, through an authorizer, every action but reading, keeps the database's defensive
// mode on and the FTS3 tokenizer function off.
std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool readOnly = false);

// Opens a PostgreSQL database given by a connection URI ("postgresql://user@host:port/name"). A
// read-only connection runs each statement in its own read-only transaction (unless a snapshot is
// open) and refuses statements that name what ForbiddenPostgresName lists. A statement that finds the
// connection broken before any row came is run once more on a new connection. Error messages never
// show the database server's address.
std::unique_ptr<SqlConnection> OpenPostgres(const std::string& uri, bool readOnly = false);
bool IsPostgresUri(const std::string& target);
// Opens a ClickHouse database over HTTP ("clickhouse://[user[:password]@]host:port/database", with
// "?name=value&..." settings for every request where the user may set them). A
// read-only connection sends only single SELECTs and no settings (its user's readonly profile
// holds the limits); values of parameters go in as escaped literals, since ClickHouse binds none.
std::unique_ptr<SqlConnection> OpenClickHouse(const std::string& uri, bool readOnly = false);
bool IsClickHouseUri(const std::string& target);
// A SQLite file path, a PostgreSQL URI or a ClickHouse URI: the caller need not know which engine answers.
std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& target, bool readOnly = false);

// A catalogue table or column name must be a plain identifier (letters, digits, '_', optionally one
// "schema." prefix) before it is placed into a statement.
bool IsPlainSqlIdentifier(const std::string& name);
