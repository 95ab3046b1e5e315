// The aggregate statement of one fact table: the measures of the view that live in that table summed
// by the columns of the placed dimensions, member filters bound as parameters, then each dimension
// that has a table of its own joined for its label on the aggregated rows (deduplicated by key, so
// that a dimension table repeating a key never counts a fact row twice). Every table and column name
// must be a plain SQL identifier; the composition raises ECubeDefinition otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/sql_connection.hpp"

class ECubeDefinition : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CubeDimensionColumn {
    std::string name;                       // the dimension's name, for messages
    std::string column;                     // its column in the fact table
    std::string ownTable, keyColumn, descriptionColumn;  // empty table: the value is its own label
    bool placed = true;                     // false: only filtered, not grouped
    std::vector<std::string> filterKeys;    // empty: no member filter
    bool filtered = false;
};

// An access rule on one of the fact table's dimension columns: only rows whose column value is among
// the keys `allowedKeys` selects (a SELECT of one column, with its own named parameters) count.
struct CubeRestriction {
    std::string column;
    std::string allowedKeys;
    SqlParams params;
};

struct CubeStatement {
    std::string sql;
    SqlParams params;
    // Result columns, in order: for each placed dimension its key and, when it has a table of its
    // own, its label; then one value per measure.
};

// A part of a SQLite fact table by its row numbers (after < rowid <= upTo): parts summed together give
// the whole table's sums, so parts may be read at once on several connections.
struct CubeRowRange {
    int64_t after = 0, upTo = 0;
};

CubeStatement ComposeCubeStatement(const std::string& factTable, const std::vector<std::string>& measureColumns,
                                   const std::vector<CubeDimensionColumn>& dimensions,
                                   const std::vector<CubeRestriction>& restrictions = {},
                                   const std::optional<CubeRowRange>& rows = std::nullopt);
