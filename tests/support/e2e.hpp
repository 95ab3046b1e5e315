// End-to-end harness: a test catalogue (schema, base rows and the test's own SQL) in a temporary
// SQLite file (or a PostgreSQL database) that serves both as the server's catalogue and the client's
// database, a real qelserver
// on a free loopback port, and qelhost scripts run against it, each dump parsed as one JSON state.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "processes.hpp"

struct HostRun {
    int status = -1;
    std::vector<nlohmann::json> states;  // one per dump
    std::string err;
};

class E2E {
public:
    enum class Engine { Sqlite, Postgres };
    // extraSql runs after the schema; with base true the standard test catalogue and its warehouse
    // (tests/catalogue.sql, tests/warehouse.sql) go in first. With Postgres the database is one of
    // the shared PostgreSQL server's, and both the server and the host use it by URI.
    explicit E2E(const std::string& extraSql = "", bool base = true, Engine engine = Engine::Sqlite,
                 const std::vector<std::string>& serverOptions = {});
    // Gives an operator a password in the test database (the server reads it at the next login).
    void SetPassword(const std::string& operatorCode, const std::string& password) const;
    // The database: a SQLite file path or a PostgreSQL URI (logging in as the server's reading role).
    const std::string& Db() const { return uri_.empty() ? db_.Path() : uri_; }
    // The same database as its owner, who may change it (a PostgreSQL URI; the SQLite file path).
    const std::string& OwnerDb() const { return uri_.empty() ? db_.Path() : ownerUri_; }
    std::string Server() const { return server_->Address(); }
    void Sql(const std::string& sql) const;
    // Runs a script; `server` overrides the address given to the host.
    HostRun Run(const std::string& script, const std::vector<std::string>& extraArgs = {},
                const std::optional<std::string>& server = std::nullopt) const;

    // A host driven line by line through pipes, so a test can act between commands.
    class Session {
    public:
        Session(const E2E& e, const std::vector<std::string>& extraArgs = {});
        // A host started with these arguments (the executable first), its script read from the pipe.
        explicit Session(const std::vector<std::string>& argv);
        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;
        void Send(const std::string& commands);  // one or more lines
        nlohmann::json Dump();                    // sends "dump" and reads the state
        int Close();                              // ends the script; the host's exit status
        pid_t Pid() const { return pid_; }

    private:
        pid_t pid_ = -1;
        FILE* in_ = nullptr;
        FILE* out_ = nullptr;
    };

private:
    TempDatabase db_;
    std::string uri_;       // PostgreSQL: as the reading role
    std::string ownerUri_;  // PostgreSQL: as the tables' owner, for the tests' own changes
    std::optional<ServerProcess> server_;
};

// A tree node as the state shows it.
nlohmann::json N(const std::string& text, int image, bool expanded = false, std::vector<nlohmann::json> children = {});
// Events of one kind from a state.
std::vector<nlohmann::json> EventsOf(const nlohmann::json& state, const std::string& kind);
// Texts of the top-level nodes of a tree, with their image indexes: "Filial:1".
std::vector<std::string> Marks(const nlohmann::json& state, const std::string& tree);
nlohmann::json Message(const std::string& type, const std::string& text);
// A zone as one line: top-level items joined by ", ", a filter mark as "*", members in braces:
// "Produto{Cliente*, Filial}, Período".
std::string Zone(const nlohmann::json& state, const std::string& tree);
// The four zones and the filter lists as one text, for comparing whole layouts.
std::string Layout(const nlohmann::json& state);
