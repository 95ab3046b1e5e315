// What the benchmark runs on: the generated data, the cube view it computes, a host driven through
// its script pipe, and the machine's description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/e2e.hpp"

// 200 areas, 20,000 facts (one table each), 5,000 dimensions and 200,000 links, times the scale.
std::string LargeCatalogueSql(int scale);
// DBIG: 1,000,000 rows, 100,000 distinct members (CDMEMBRO, NMMEMBRO).
std::string MemberTableSql();
// A catalogue of one fact on FBIG (`rows` rows) with three dimensions, two with tables of their own:
// 1,000 articles, 50 districts, 12 months.
std::string FactTableSql(long rows);
// The same two tables written for PostgreSQL (no printf, generate_series instead of a recursive CTE).
std::string MemberTableSqlPostgres();
std::string FactTableSqlPostgres(long rows);
// Fills the cube module's lists with a view over FBIG: two row dimensions, one column dimension and a
// member filter of 200 keys; and remembers the statement the viewer runs.
void ViewOverFacts();
// The last statement the viewer ran, as a script for the sqlite3 shell (parameters set, output to
// /dev/null), and as one for psql (prepared with the same parameters, then executed).
std::string LastViewStatementForShell();
std::string LastViewStatementForPsql();
// The same with its parameters written in as literals, for clickhouse-client.
std::string LastViewStatementForClickHouse();
// The last statement the viewer ran, as it ran it.
const std::string& LastViewStatement();
// 10000000 as "10,000,000".
std::string Thousands(long long n);

// A catalogue whose view "Valor by Artigo and Bairro, Mês in the columns, Filial in the pages" holds
// 2,400,000 cells (1,000 × 50 × 12 × 4): FGRID has one row per cell.
std::string GridFactSql();

// The floor for the view over FBIG: its columns already in memory as dense integer codes, summed in
// one pass into a dense array under the same member filter. Load once, pass many times.
struct FactColumns {
    std::vector<uint16_t> article, district, month;
    std::vector<double> value;
};
FactColumns LoadFactColumns(const std::string& db);
// The number of cells the pass filled (so that the pass cannot be left out).
size_t FloorPass(const FactColumns& f);

class HostSession : public E2E::Session {
public:
    explicit HostSession(const std::string& server, const std::string& database = "")
        : E2E::Session(database.empty() ? std::vector<std::string>{QEL_BIN_DIR "/qelhost", "--server", server, "--script", "-"}
                                        : std::vector<std::string>{QEL_BIN_DIR "/qelhost", "--server", server, "--database", database,
                                                                   "--script", "-"}) {}
    // Returns once every command sent so far has run.
    void Wait() { Dump(); }
};

std::string CpuModel();
