// The rows an operator may see on an SQLite warehouse, as conditions on each restricted table: a fact
// table keeps the rows whose column of every restricted dimension holds an allowed key, a dimension's
// own table the rows of its allowed keys. Read from the catalogue's links and the access-rule tables,
// with the operator's code as a quoted literal (the conditions become view definitions).
#pragma once

#include <string>
#include <vector>

#include "data/sql_connection.hpp"

struct RowRuleOptions {
    bool aggregates = false;  // the database has QEL_AGREGADOS, whose summaries keep their fact table's rows
    // Set: each restricted column's allowed keys are read now and written as literals by it, for
    // engines whose views cannot hold the rule tables' subqueries (the rules then hold until read
    // again). Unset: subqueries over the rule tables, live in the view.
    std::string (*literal)(const std::string&) = nullptr;
    // Also keep the access-rule tables to the operator's own rows (engines whose scope is views).
    bool ruleTables = false;
};

// An empty operator code stands for a call that names nobody: every table a rule could restrict
// (fact, dimension and summary tables) shows no rows.

std::vector<SqlRowRule> RowRulesFor(SqlConnection& db, const std::string& operatorCode, const RowRuleOptions& options);
