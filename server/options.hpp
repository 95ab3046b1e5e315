// The command line of qelserver, checked in full before anything starts:
//   qelserver --db FILE|URI [--listen HOST:PORT] [--max-body BYTES] [--statement-timeout SECONDS]
//             [--max-rows N] [--max-answer BYTES] [--read-timeout SECONDS] [--write-timeout SECONDS]
//             [--workers N] [--queue N] [--pool N] [--auth password|trust] [--session-idle SECONDS]
//             [--clickhouse-owner URI --clickhouse-config DIR]   (a ClickHouse warehouse's access rules)
//   qelserver --db FILE|URI --set-password OPERATOR     (the password read from standard input)
//   qelserver --db FILE|URI --build-aggregates [--budget ROWS]   (the fact tables' summaries, then exit)
//   qelserver --db clickhouse://... --copy-from FILE [--shards CLUSTER --shard URI...]
//             (a SQLite database's tables into ClickHouse, spread over a cluster's shards, then exit)
// Ports run from 0 (any free port) to 65535; every number must be written in plain decimal.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ServerOptions {
    std::string db;
    std::string host = "127.0.0.1";
    int port = 8211;
    size_t maxBody = 1 << 20;
    std::chrono::milliseconds statementTimeout{30000};
    size_t maxRows = 1000000;
    size_t maxAnswer = size_t{256} << 20;
    std::chrono::milliseconds readTimeout{5000}, writeTimeout{5000};
    size_t workers = 16;
    size_t queue = 64;  // complete requests waiting for a worker; past it, 503
    size_t pool = 4;  // database connections of a database server
    bool trust = false;  // --auth trust: the operator the client names, without a login (loopback only)
    std::chrono::seconds sessionIdle{8 * 3600};
    std::optional<std::string> setPassword;  // --set-password: the operator whose password to set, then exit
    bool buildAggregates = false;   // build the aggregate tables, then exit
    std::optional<int64_t> budget;  // their most rows per fact table
    std::string copyFrom;           // --copy-from: the SQLite file to copy into the ClickHouse database
    std::string shards;             // --shards: the cluster to spread the fact tables over
    std::vector<std::string> shardUris;  // --shard: every other shard's database
    std::string clickhouseOwner;    // --clickhouse-owner: who creates the restricted operators' databases
    std::string clickhouseConfig;   // --clickhouse-config: the ClickHouse server's configuration folder
};

// Raises EUsage naming what is wrong.
ServerOptions ParseServerOptions(const std::vector<std::string>& args);
// "HOST:PORT" with a port from 0 to 65535 (shared with the host's --server); raises EUsage.
void ParseHostPort(const std::string& text, std::string& host, int& port);

// Every address the name stands for is a loopback address.
bool IsLoopbackHost(const std::string& host);

extern const char* const kServerUsage;
