// Loading a ClickHouse database from a SQLite one (the demo warehouse, a test catalogue): every
// table copied with its rows, each column typed by what it holds (whole numbers, numbers or text,
// all nullable). The fact tables the catalogue names become MergeTree tables sorted by their
// dimension columns, which the views group by; the other, small tables keep their rows in the order
// they were inserted (Log). Tables of the same name are dropped first. Raises ESqlError.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/sql_connection.hpp"

// The tables copied with their row counts.
std::vector<std::pair<std::string, size_t>> CopyToClickHouse(SqlConnection& source, SqlConnection& target);
