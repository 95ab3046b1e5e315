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

// Spread over a cluster: the small tables are copied to every shard, and each fact table becomes a
// local table on every shard (<table>_LOCAL) under a Distributed table of its own name on every
// shard, sharded by a hash of its first dimension column, so that statements name the fact table as
// on one node. The rows go in through the target's Distributed table, whose connection should carry
// insert_distributed_sync=1 so that they are on the shards when the copy ends.
struct ClickHouseCluster {
    std::string name;                    // as the servers' remote_servers name it
    std::string database;                // the same database name on every shard
    std::vector<SqlConnection*> others;  // every shard but the target (not owned)
};

// The tables copied with their row counts.
std::vector<std::pair<std::string, size_t>> CopyToClickHouse(SqlConnection& source, SqlConnection& target,
                                                             const ClickHouseCluster* cluster = nullptr);
