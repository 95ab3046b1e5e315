// The access rules on a ClickHouse warehouse, whatever SQL a restricted operator sends. ClickHouse
// gives a session no row rules, and keeps its users in configuration files. Nor can a user be given
// filtering views over tables it may not read: ClickHouse checks a view's tables against the user who
// reads the view; and a Distributed table over a user who may read them sends the operator's
// subqueries on to that user, unfiltered. So, for each restricted operator, the server keeps a
// ClickHouse user allowed one database of its own ("qel_<server>_o<N>") that holds copies of the
// rows that operator may see: of every warehouse table, each restricted one filtered by the rules,
// in the same engine and order (a sharded fact table copied from all shards into its local table's
// engine). The users are a file of ours in the ClickHouse server's users.d, which it reloads by
// itself within seconds; a new operator's first call waits for that.
//
// An operator without rules reads the warehouse as the server does. A restricted operator's call
// compares one key over the rule tables, the catalogue's links, the warehouse's table names and every
// table's row count and parts; when it changed, the operator's copies are made again. So a call after
// a load pays the copy of that operator's rows once. The operators' password table is left
// out, and so are the shards' local tables behind a distributed one. When the server stops, the
// databases are dropped and the file removed.
#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class ClickHouseOperators {
public:
    // `reader`: the warehouse as the server reads it; `owner`: a ClickHouse user who may create and
    // drop databases; `configDir`: the folder of the ClickHouse server's config.xml. Raises ESqlError
    // when the file cannot be written, or ClickHouse does not load it within 30 s.
    ClickHouseOperators(const std::string& reader, const std::string& owner, const std::string& configDir,
                        std::chrono::milliseconds timeout);
    ~ClickHouseOperators();
    ClickHouseOperators(const ClickHouseOperators&) = delete;
    ClickHouseOperators& operator=(const ClickHouseOperators&) = delete;

    // The URI whose statements see only the operator's rows: the reader's when no rule restricts them.
    // Raises ESqlError.
    std::string UriFor(const std::string& operatorCode);
    // The message with our users' and databases' names taken out.
    std::string SafeMessage(const std::string& message) const;

private:
    struct Operator {
        std::mutex mutex;        // held while reading its rules and copying its rows
        std::string key;         // the rules' key when last read
        bool copied = false;     // its copies hold for `key`; false: it reads the warehouse (or a copy failed)
        int number = 0;          // of its user and database, 0 before its first; set under the object's mutex_
        std::string password;    // likewise
    };

    void writeFiles();  // under mutex_
    void waitUntil(const std::string& what, const std::string& probeUri);
    std::string databaseOf(int number) const;  // an operator's copies
    std::string operatorUri(const Operator& o) const;

    std::string reader_, owner_, usersFile_;
    std::string source_;  // the warehouse's database
    std::string host_;    // the ClickHouse server's host and HTTP port, as the reader reaches it
    int httpPort_ = 0;
    std::chrono::milliseconds timeout_;
    std::string prefix_;  // "qel_<8 hex>_": this server's users and databases
    std::string probePassword_;  // while the start checks that ClickHouse reads the users file
    std::mutex mutex_;  // the map, the numbers and the users file
    std::map<std::string, std::shared_ptr<Operator>> operators_;  // by code
    int numbers_ = 0;
    time_t usersWritten_ = 0;  // the users file's last time of change
};
