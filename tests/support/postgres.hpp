// A real PostgreSQL server for the tests and benchmarks: initdb into a temporary folder, started
// with pg_ctl on a free loopback port with its socket in that folder, stopped and removed at the
// end. Run as an unprivileged user (the "postgres" account when the tests run as root). Starting
// raises std::runtime_error with the server's log when it cannot.
#pragma once

#include <string>

class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    int Port() const { return port_; }
    std::string Uri(const std::string& database) const;
    // A new database with its own name, loaded with the SQL script; its URI (as the owner).
    std::string CreateDatabase(const std::string& sql);
    // The database of that URI with the server's reading role and the access rules' row policies
    // installed (demo/postgres_reader.sql, demo/postgres_policies.sql);
    // the URI that logs in as that role, which is how the application server connects.
    std::string ReaderUri(const std::string& ownerUri);
    // Stops and starts the same server (a database that goes away and comes back).
    void Stop();
    void Start();

private:
    int run(const std::string& command) const;
    std::string dir_, bin_;
    int port_ = 0;
    int databases_ = 0;
    bool running_ = false;
};

// One server shared by every test of a test program, started on first use.
PostgresServer& SharedPostgres();
// The path of a PostgreSQL program (psql, pg_ctl...).
std::string PostgresProgram(const std::string& name);
