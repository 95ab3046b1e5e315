// What a restricted operator's answers are compared with: an oracle database holding only the rows
// that operator may see (same tables, same names; the rows derived here from the rule tables as the
// README states them, not by the server's code), and a corpus of statements that try every way SQL
// has to reach a table's rows: plain reads under every spelling of a name, CTEs named like the tables
// they read (plain, nested, recursive, materialized), subqueries (nested, scalar, correlated), window
// functions, set operations, joins of restricted with unrestricted tables, table-valued functions and
// the schema tables; then seeded random compositions of those forms (the same seed, the same corpus).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/sql_connection.hpp"

enum class OracleDialect { Sqlite, Postgres, ClickHouse };

struct OracleTables {
    std::vector<std::string> restricted;  // tables some operator's rules narrow (fact, dimension, summary)
    std::vector<std::string> open;        // tables no rule narrows
    std::vector<std::string> rules;       // the access-rule tables
    std::map<std::string, std::vector<std::string>> columns;  // by table
    std::string database;  // ClickHouse: the warehouse's database, to spell names with it
};

std::vector<std::string> OracleCorpus(const OracleTables& tables, OracleDialect dialect, unsigned seed, size_t generated);

// An answer as both sides are compared: column count, and rows as text (numbers as JSON writes them,
// null as empty text), sorted, since statements without ORDER BY may come in either order.
struct OracleAnswer {
    bool ok = false;
    std::string error;
    size_t columns = 0;
    std::vector<std::vector<std::string>> rows;
};
// Through the server's getInfo, naming the operator as a trusted client does (none: no header), or
// with a session token.
OracleAnswer AskServer(const std::string& address, const std::optional<std::string>& op, const std::string& sql,
                       const std::string& token = "");
OracleAnswer AskDirect(SqlConnection& db, const std::string& sql);
std::string ShowAnswer(const OracleAnswer& a);
// Sends every statement of the corpus as `op` and requires each one answered to equal the oracle's
// answer (a failure names the first few that do not); refusals are allowed, but not of `plainReads`,
// which must be answered, nor of more than two thirds of the corpus (refusing everything would pass).
// Prints how many were answered.
void ExpectAnswersOfTheOracle(const std::string& address, const std::optional<std::string>& op, const std::vector<std::string>& corpus,
                              SqlConnection& oracle, const std::vector<std::string>& plainReads);

// The demo warehouse with more of everything: seeded sales over every branch and product (some keys
// null), stock rows, other operators' and groups' rules, so that a leak shows as rows the oracle lacks.
std::string OracleWarehouse(unsigned seed);
// Deletes from `db` (a copy of the warehouse) every row `op` may not see. No operator: none of the
// rows a rule could restrict, and no rule.
void KeepOnlyRowsOf(SqlConnection& db, const std::optional<std::string>& op);
// The seed for a run: QEL_ORACLE_SEED when set (to repeat one), else a new one; printed either way.
unsigned OracleSeed();
