#include "database.hpp"
#include "row_rules.hpp"
#include "catalogue.hpp"
#include "clickhouse_operators.hpp"
#include "data/access_rules.hpp"

#include <sys/stat.h>

#include <climits>
#include <map>
#include <condition_variable>
#include <cstdlib>
#include <algorithm>

namespace {

// One value may take an eighth of the answer's cap: the value, its text form (hexadecimal for a blob)
// and the answer around it then stay near the cap in memory, and a statement that would build a
// larger one stops at once.
size_t ValueLimit(const ServerOptions& o) { return std::max<size_t>(o.maxAnswer / 8, 1024); }

// A database server's URI may carry a user and a password: never in a message.
std::string withoutUri(std::string m, const std::string& uri) {
    for (size_t at; (at = m.find(uri)) != std::string::npos;) m.replace(at, uri.size(), "(banco de dados)");
    return m;
}

class SqliteDatabase : public ServerDatabase {
public:
    explicit SqliteDatabase(const ServerOptions& o)
        : path_(o.db), timeout_(o.statementTimeout), keep_(o.workers), valueLimit_(ValueLimit(o)) {
        char resolved[PATH_MAX];
        if (realpath(path_.c_str(), resolved)) absolute_ = resolved;
        OpenSqlite(path_, true)->Query("SELECT count(*) FROM sqlite_master", {}, true);  // a database, and readable
    }

    Lease Acquire(const std::atomic<bool>& cancel, const std::optional<std::string>& operatorCode) override {
        std::string id = identity();
        std::unique_ptr<SqlConnection> c;
        {
            std::lock_guard lock(mutex_);
            if (id != poolIdentity_) {
                idle_.clear();  // the file was replaced: its old connections would read the old one
                poolIdentity_ = id;
            }
            if (!idle_.empty()) {
                c = std::move(idle_.back());
                idle_.pop_back();
            }
        }
        if (!c) {
            c = OpenSqlite(path_, true);
            c->SetValueLimit(valueLimit_);
        }
        c->SetStatementTimeout(timeout_);
        c->SetCancelFlag(&cancel);
        c->SetRowScope(operatorCode ? scopeFor(*operatorCode) : SqlRowScope{});
        return Lease(*this, std::move(c), id);
    }

    std::string ChangeKey() override {
        std::lock_guard lock(versionMutex_);
        std::string id = identity();
        if (id != versionIdentity_ || !version_) {
            version_ = OpenSqlite(path_, true);
            versionIdentity_ = id;
        }
        return id + ":" + version_->Query("PRAGMA data_version").rows.at(0).at(0);
    }

    // The operator's row rules, read again when the database has changed since (the rule tables or
    // the catalogue may have).
    SqlRowScope scopeFor(const std::string& op) {
        std::string key = op + "\n" + ChangeKey();
        {
            std::lock_guard lock(scopeMutex_);
            if (auto it = scopes_.find(op); it != scopes_.end() && it->second.key == key) return it->second;
        }
        // The rules are read on a connection of the server's own: a pooled one may still hold another
        // operator's views, and the rule tables are among what those views narrow.
        RowRuleOptions options;
        options.ruleTables = true;
        SqlRowScope scope{op, key, {}};
        {
            std::lock_guard lock(rulesMutex_);
            std::string id = identity();
            if (id != rulesIdentity_ || !rules_) {
                rules_ = OpenSqlite(path_, true);
                rules_->SetValueLimit(valueLimit_);
                rulesIdentity_ = id;
            }
            options.aggregates = !rules_->Query("SELECT name FROM sqlite_master WHERE name = 'QEL_AGREGADOS'", {}, true).rows.empty();
            scope.rules = RowRulesFor(*rules_, op, options);
        }
        std::lock_guard lock(scopeMutex_);
        if (scopes_.size() > 1000) scopes_.clear();
        scopes_[op] = scope;
        return scope;
    }

    std::string SafeMessage(const std::string& message) const override {
        std::string m = message;
        for (const std::string& p : {absolute_, path_}) {
            if (p.empty()) continue;
            for (size_t at; (at = m.find(p)) != std::string::npos;) m.replace(at, p.size(), "(banco de dados)");
        }
        return m;
    }

    const char* InsertionOrder() const override { return "rowid"; }

protected:
    void giveBack(std::unique_ptr<SqlConnection> c, const std::string& identity) override {
        c->SetCancelFlag(nullptr);
        std::lock_guard lock(mutex_);
        if (identity == poolIdentity_ && idle_.size() < keep_) idle_.push_back(std::move(c));
    }

private:
    // Device, inode, size and time of change: a replaced or recreated file is another database, and
    // so is a file rewritten in place (truncated, then restored), which connections opened before
    // would go on reading as they last saw it.
    std::string identity() const {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) throw ESqlError("O banco de dados do servidor não está disponível");
        return std::to_string(st.st_dev) + "." + std::to_string(st.st_ino) + "." + std::to_string(st.st_size) + "." +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }

    std::string path_, absolute_;
    std::chrono::milliseconds timeout_;
    size_t keep_;
    size_t valueLimit_;
    std::mutex mutex_;
    std::string poolIdentity_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    std::mutex versionMutex_;
    std::string versionIdentity_;
    std::unique_ptr<SqlConnection> version_;
    std::mutex scopeMutex_;
    std::map<std::string, SqlRowScope> scopes_;  // by operator
    std::mutex rulesMutex_;
    std::string rulesIdentity_;
    std::unique_ptr<SqlConnection> rules_;  // never scoped: reads the rules themselves
};

// A database server shared with other application servers: a small pool of connections, each
// opened again by itself when the server went away and came back.
class PostgresDatabase : public ServerDatabase {
public:
    explicit PostgresDatabase(const ServerOptions& o) : uri_(o.db), timeout_(o.statementTimeout), size_(o.pool) {
        auto c = OpenPostgres(uri_, true);  // reachable, and the catalogue is there
        c->Query("SELECT count(*) FROM AREANEGDW", {}, true);
        idle_.push_back(std::move(c));
        total_ = 1;
    }

    Lease Acquire(const std::atomic<bool>& cancel, const std::optional<std::string>& operatorCode) override {
        std::unique_ptr<SqlConnection> c;
        {
            std::unique_lock lock(mutex_);
            returned_.wait(lock, [&] { return !idle_.empty() || total_ < size_ || cancel; });
            if (cancel) throw ESqlInterrupted("A consulta foi interrompida");
            if (!idle_.empty()) {
                c = std::move(idle_.back());
                idle_.pop_back();
            } else {
                ++total_;
            }
        }
        try {
            if (!c) c = OpenPostgres(uri_, true);
            c->SetStatementTimeout(timeout_);
            c->SetCancelFlag(&cancel);
            c->SetRowScope({operatorCode.value_or("*"), "", {}});  // the database's policies do the rest
        } catch (...) {
            // The connection is dropped: its place in the pool is free again.
            std::lock_guard lock(mutex_);
            --total_;
            returned_.notify_one();
            throw;
        }
        return Lease(*this, std::move(c), "");
    }

    // Every row's transaction number and the row counts: any insert, update or delete changes them.
    std::string ChangeKey() override {
        std::lock_guard lock(versionMutex_);
        if (!version_) version_ = OpenPostgres(uri_, true);
        std::string sql = "SELECT ";
        const char* tables[] = {"AREANEGDW", "ITEMDW", "DIMENSAODW", "DIMENSAODIME"};
        for (size_t i = 0; i < 4; ++i) {
            if (i) sql += " || ':' || ";
            sql += std::string("(SELECT count(*)::text || '.' || coalesce(sum(xmin::text::bigint), 0)::text FROM ") + tables[i] + ")";
        }
        return version_->Query(sql, {}, true).rows.at(0).at(0);
    }

    std::string SafeMessage(const std::string& message) const override { return withoutUri(message, uri_); }

    const char* InsertionOrder() const override { return "ctid"; }

protected:
    void giveBack(std::unique_ptr<SqlConnection> c, const std::string&) override {
        c->SetCancelFlag(nullptr);
        c->ResetSession();  // whatever the call set or took stays with it
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(c));
        returned_.notify_one();
    }

private:
    std::string uri_;
    std::chrono::milliseconds timeout_;
    size_t size_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    size_t total_ = 0;
    std::mutex versionMutex_;
    std::unique_ptr<SqlConnection> version_;
};

// A ClickHouse database (or cluster) reached over HTTP: each call opens its own connection, as HTTP
// keeps nothing between statements. ClickHouse has no row-level rules to give a session: a restricted
// operator's statements run as a ClickHouse user of their own that reads only their rows
// (clickhouse_operators.hpp); a server not given the means to make those users refuses that operator
// rather than show every row.
class ClickHouseDatabase : public ServerDatabase {
public:
    explicit ClickHouseDatabase(const ServerOptions& o) : uri_(o.db), timeout_(o.statementTimeout) {
        OpenClickHouse(uri_, true)->Query("SELECT count(*) FROM AREANEGDW", {}, true);  // reachable, the catalogue there
        if (!o.clickhouseOwner.empty())
            operators_ = std::make_unique<ClickHouseOperators>(uri_, o.clickhouseOwner, o.clickhouseConfig, timeout_);
    }

    Lease Acquire(const std::atomic<bool>& cancel, const std::optional<std::string>& operatorCode) override {
        auto c = OpenClickHouse(operatorCode && operators_ ? operators_->UriFor(*operatorCode) : uri_, true);
        c->SetStatementTimeout(timeout_);
        c->SetCancelFlag(&cancel);
        if (operatorCode) c->SetSystemTablesReadable(false);  // an operator's SQL: no other user's statements
        if (operatorCode && !operators_ && !c->Query(kRestrictedDimensionsSql, {{"P_CDOPERADOR", *operatorCode}}, true).rows.empty())
            throw ESqlError("As regras de acesso do operador " + *operatorCode +
                            " não podem ser aplicadas neste servidor ClickHouse; peça ao administrador que o inicie com "
                            "--clickhouse-owner e --clickhouse-config");
        return Lease(*this, std::move(c), "");
    }

    // Each catalogue table's row count and the sum of its rows' hashes: any change shows.
    std::string ChangeKey() override {
        std::string key;
        auto c = OpenClickHouse(uri_, true);
        for (const auto& [table, columns] : CatalogueColumns()) {
            std::string hashed;
            for (const std::string& column : columns) hashed += (hashed.empty() ? "" : ", ") + std::string("ifNull(toString(") + column + "), '')";
            const std::vector<std::string> row = c->Query("SELECT toString(count()), toString(sum(cityHash64(" + hashed + "))) FROM " + table, {}, true).rows.at(0);
            key += row.at(0) + "." + row.at(1) + ":";
        }
        return key;
    }

    std::string SafeMessage(const std::string& message) const override {
        const std::string m = withoutUri(message, uri_);
        return operators_ ? operators_->SafeMessage(m) : m;
    }

    // Its small tables keep the order rows were inserted in, and read back in it.
    const char* InsertionOrder() const override { return ""; }

protected:
    void giveBack(std::unique_ptr<SqlConnection>, const std::string&) override {}

private:
    std::string uri_;
    std::chrono::milliseconds timeout_;
    std::unique_ptr<ClickHouseOperators> operators_;  // with --clickhouse-owner
};

}  // namespace

std::unique_ptr<ServerDatabase> OpenServerDatabase(const ServerOptions& options) {
    if (IsClickHouseUri(options.db)) return std::make_unique<ClickHouseDatabase>(options);
    if (IsPostgresUri(options.db)) return std::make_unique<PostgresDatabase>(options);
    return std::make_unique<SqliteDatabase>(options);
}
