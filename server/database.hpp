// The server's database: read-only connections lent to one call at a time (kept for the next call,
// and dropped when the database file is replaced), each with the statement timeout and the call's
// cancel flag; and the catalogue's change key, which changes whenever the database may have changed.
// Messages that leave the server never carry the database file's path.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/sql_connection.hpp"
#include "options.hpp"

class ServerDatabase {
public:
    virtual ~ServerDatabase() = default;

    class Lease {
    public:
        Lease(ServerDatabase& owner, std::unique_ptr<SqlConnection> c, std::string identity)
            : owner_(&owner), c_(std::move(c)), identity_(std::move(identity)) {}
        Lease(Lease&&) = default;
        ~Lease() {
            if (c_) owner_->giveBack(std::move(c_), identity_);
        }
        SqlConnection& operator*() const { return *c_; }
        SqlConnection* operator->() const { return c_.get(); }

    private:
        ServerDatabase* owner_;
        std::unique_ptr<SqlConnection> c_;
        std::string identity_;
    };

    // A connection whose statements stop when `cancel` turns true, and see only the rows the access
    // rules give `operatorCode` (every row without one: the server trusts its clients). Raises ESqlError.
    virtual Lease Acquire(const std::atomic<bool>& cancel, const std::optional<std::string>& operatorCode = std::nullopt) = 0;
    // Equal keys: the catalogue has not changed in between. Raises ESqlError.
    virtual std::string ChangeKey() = 0;
    // The message with the database's location taken out.
    virtual std::string SafeMessage(const std::string& message) const = 0;
    // The column that orders a table's rows as they were inserted ("rowid", "ctid"; empty where the
    // table reads them back in that order by itself).
    virtual const char* InsertionOrder() const = 0;

protected:
    virtual void giveBack(std::unique_ptr<SqlConnection> c, const std::string& identity) = 0;
};

// A SQLite file, a PostgreSQL database by URI (a pool of at most options.pool connections), or a
// ClickHouse database by URI.
std::unique_ptr<ServerDatabase> OpenServerDatabase(const ServerOptions& options);
