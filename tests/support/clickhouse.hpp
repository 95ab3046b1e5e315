// A ClickHouse server of the tests' own: clickhouse-server started in a temporary folder with a
// configuration of ours, on free loopback ports, stopped and its folder removed at the end. It has
// two users: the owner ("default", no password), who may change anything, and the reader
// ("qel_leitor", a readonly=1 profile: no writes, no settings, no table functions; with the time
// limit and the row cap in the profile), as the application server connects. Starting raises
// std::runtime_error with the server's log when it cannot.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>

class ClickHouseServer {
public:
    // On free ports, or on these, knowing the cluster `remoteServers` (a <remote_servers> element).
    explicit ClickHouseServer(int http = 0, int tcp = 0, const std::string& remoteServers = "");
    // Two servers that both know the cluster "qel_shards" of the two of them, one shard each.
    static std::pair<std::unique_ptr<ClickHouseServer>, std::unique_ptr<ClickHouseServer>> TwoShards();
    ~ClickHouseServer();
    ClickHouseServer(const ClickHouseServer&) = delete;
    ClickHouseServer& operator=(const ClickHouseServer&) = delete;

    int HttpPort() const { return http_; }
    int TcpPort() const { return tcp_; }  // clickhouse-client's
    // The folder of its config.xml, whose users.d and config.d it reloads by itself.
    const std::string& ConfigDir() const { return dir_; }
    // A new, empty database with its own name ("qel1", "qel2"... on each server); its URI as the owner.
    std::string CreateDatabase();
    // The same database as the reader.
    static std::string ReaderUri(const std::string& ownerUri);

private:
    std::string dir_;
    int http_ = 0, tcp_ = 0, databases_ = 0;
    pid_t pid_ = -1;
};
