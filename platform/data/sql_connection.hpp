// SQL connections behind one interface, so that the framework's queries and the server run on
// SQLite today and on another database later. A query is exactly one statement; named parameters
// (":P_NAME") are bound as text, never pasted into the statement. Errors raise ESqlError with the
// database's own message. Connections are RAII: destroying one closes it.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "packet.hpp"

class ESqlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using SqlParams = std::map<std::string, std::string>;  // name without the colon -> text value

struct SqlColumn {
    std::string name;
    int size = 0;  // declared length when the column has one, else 0
};

struct SqlResult {
    std::vector<SqlColumn> columns;
    std::vector<std::vector<std::string>> rows;  // NULL reads as empty text
    // As a data packet: string fields sized by the declared length, or by the longest value.
    DataPacket ToPacket() const;
};

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // Runs one statement. With readOnly, anything but a single read-only SELECT is refused.
    virtual SqlResult Query(const std::string& sql, const SqlParams& params = {}, bool readOnly = false) = 0;
    // Runs a script of several statements (set-up and tests).
    virtual void Execute(const std::string& script) = 0;
    virtual std::string Description() const = 0;
};

// Opens an SQLite database file (":memory:" for a private in-memory one).
std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool readOnly = false);

// A catalogue table or column name must be a plain identifier (letters, digits, '_', optionally one
// "schema." prefix) before it is placed into a statement.
bool IsPlainSqlIdentifier(const std::string& name);
