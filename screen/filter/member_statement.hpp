// The member statement of a dimension, in its two forms: from the dimension's own table (with the
// access-rule clause), or from the fact tables of the view that all hold the dimension's key. Names
// taken from the catalogue are checked to be plain SQL identifiers before they are placed into SQL;
// a name that is not one raises EBadCatalogueName and no statement is composed.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class EBadCatalogueName : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws EBadCatalogueName naming the dimension when `name` is not a plain identifier.
void RequireIdentifier(const std::string& name, const std::string& dimension);

// "Select DISTINCT ' ' as IDMARCADO, P[, D] from T<restriction> Order by D" (P alone when P equals D).
std::string OwnTableStatement(const std::string& table, const std::string& key, const std::string& description,
                              const std::string& restriction);

// One fact table of the view with its alias and the column that carries the dimension.
struct FactTable {
    std::string table, alias, column;
};
// Alias of the fact at position i of the facts zone: "A" to "Z", then "AA", "AB"... skipping the
// two-letter SQL keywords.
std::string FactAlias(int i);
// The keys of the dimension's column in the base (first) table that every other fact table of the view
// also holds, each table read once ("<base> IN (SELECT … FROM <table> <alias>)"; a table already in
// the statement is not added again), ordered by the base table's column.
std::string FactTablesStatement(const std::vector<FactTable>& sortedTables);
