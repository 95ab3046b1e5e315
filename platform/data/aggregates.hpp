// Aggregate tables: for each fact table of the catalogue, summary tables grouped by subsets of its
// dimension columns, holding every measure's sum under the measure's own name and the row count
// (QEL_LINHAS). A view whose dimension columns a fresh aggregate covers is computed from it with the
// same statement as from the fact table, and gives the same totals.
//
// QEL_AGREGADOS records each aggregate (its table, its fact table, the grouped columns, its rows, the
// fact table's change number when it was built and the fact table's identity: its row in
// sqlite_master, root page and CREATE text on SQLite, OID and data file on PostgreSQL); QEL_VERSAODW keeps each fact table's change
// number, moved on by triggers at every insert, update or delete. The view QEL_AGREGADOS_VIGENTES,
// written by the build, lists the aggregates still fresh: same number, same identity (a table dropped
// and created again, or renamed away and replaced, is another one) and the triggers still in place.
// Any other aggregate is stale and never read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sql_connection.hpp"

// The fresh aggregates: aggregate table, fact table, grouped columns ("A,B,C"), rows.
extern const char* const kFreshAggregatesSql;

struct AggregateTable {
    std::string table, base;
    std::vector<std::string> columns;
    int64_t rows = 0;
};

// Two names of a table or a column, compared as SQL compares unquoted names (without regard to case).
bool SameSqlName(const std::string& a, const std::string& b);

// The rows of kFreshAggregatesSql, read.
std::vector<AggregateTable> AggregatesFromRows(const PacketRows& rows);

// The smallest aggregate of `base` whose columns hold every one of `needed` (compared without regard
// to case), or none.
const AggregateTable* ChooseAggregate(const std::vector<AggregateTable>& fresh, const std::string& base,
                                      const std::vector<std::string>& needed);

// Drops the aggregates built before and builds them again from the catalogue, in one transaction.
// `budget`: the most rows the aggregates of one fact table may hold together (default: as many as
// the fact table has). Returns what was built. Raises ESqlError.
std::vector<AggregateTable> BuildAggregates(SqlConnection& db, bool postgres, std::optional<int64_t> budget);
