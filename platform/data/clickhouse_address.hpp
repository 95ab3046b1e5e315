// The parts of a ClickHouse URI, clickhouse://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE[?SETTING=VALUE&...]:
// the database a plain identifier, the settings plain names and values (they go into every request).
#pragma once

#include <string>

struct ClickHouseAddress {
    std::string user = "default", password, host, database = "default";
    std::string settings;  // "&name=value..." for every request (the owner's; a reader may set none)
    int port = 8123;       // HTTP
};

// Raises ESqlError on a malformed URI.
ClickHouseAddress ParseClickHouseUri(const std::string& uri);
