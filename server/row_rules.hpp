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
};

std::vector<SqlRowRule> RowRulesFor(SqlConnection& db, const std::string& operatorCode, const RowRuleOptions& options);
