// Statements that try every way SQL has to reach a table's rows, for comparing a restricted
// operator's answers with an oracle's: plain reads under every spelling of a name (quoted, bracketed,
// schema-prefixed, other case), CTEs named like the tables they read (plain, nested, recursive,
// materialized), subqueries (nested, scalar, correlated), window functions, set operations, joins of
// restricted with unrestricted tables, table-valued functions and the schema tables; then seeded
// random compositions of those forms. The same seed gives the same corpus.
#pragma once

#include <map>
#include <string>
#include <vector>

struct OracleTables {
    std::vector<std::string> restricted;  // tables some operator's rules narrow (fact, dimension, summary)
    std::vector<std::string> open;        // tables no rule narrows
    std::vector<std::string> rules;       // the access-rule tables
    std::map<std::string, std::vector<std::string>> columns;  // by table; read from the database
};

std::vector<std::string> OracleCorpus(const OracleTables& tables, unsigned seed, size_t generated);
