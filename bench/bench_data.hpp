// What the benchmark runs on: the generated data, the cube view it computes, a host driven through
// its script pipe, and the machine's description.
#pragma once

#include <string>

#include "support/e2e.hpp"

// 200 areas, 20,000 facts (one table each), 5,000 dimensions and 200,000 links, times the scale.
std::string LargeCatalogueSql(int scale);
// DBIG: 1,000,000 rows, 100,000 distinct members (CDMEMBRO, NMMEMBRO).
std::string MemberTableSql();
// A catalogue of one fact on FBIG (1,000,000 rows) with three dimensions, two with tables of their own.
std::string FactTableSql();
// The same two tables written for PostgreSQL (no printf, generate_series instead of a recursive CTE).
std::string MemberTableSqlPostgres();
std::string FactTableSqlPostgres();
// Fills the cube module's lists with a view over FBIG: two row dimensions, one column dimension and a
// member filter of 200 keys; and remembers the statement the viewer runs.
void ViewOverFacts();
// The last statement the viewer ran, as a script for the sqlite3 shell (parameters set, output to
// /dev/null), and as one for psql (prepared with the same parameters, then executed).
std::string LastViewStatementForShell();
std::string LastViewStatementForPsql();

class HostSession : public E2E::Session {
public:
    explicit HostSession(const std::string& server)
        : E2E::Session(std::vector<std::string>{QEL_BIN_DIR "/qelhost", "--server", server, "--script", "-"}) {}
    // Returns once every command sent so far has run.
    void Wait() { Dump(); }
};

std::string CpuModel();
