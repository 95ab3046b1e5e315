#include "clickhouse.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "data/sql_connection.hpp"
#include "processes.hpp"

namespace {


std::string logOf(const std::string& dir) {
    std::ifstream in(dir + "/log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::pair<std::unique_ptr<ClickHouseServer>, std::unique_ptr<ClickHouseServer>> ClickHouseServer::TwoShards() {
    const int http1 = UnusedPort(), tcp1 = UnusedPort(), http2 = UnusedPort(), tcp2 = UnusedPort();
    auto shard = [](int tcp) {
        return "<shard><replica><host>127.0.0.1</host><port>" + std::to_string(tcp) + "</port></replica></shard>";
    };
    const std::string cluster = "<remote_servers><qel_shards>" + shard(tcp1) + shard(tcp2) + "</qel_shards></remote_servers>\n";
    auto first = std::make_unique<ClickHouseServer>(http1, tcp1, cluster);
    return {std::move(first), std::make_unique<ClickHouseServer>(http2, tcp2, cluster)};
}

ClickHouseServer::ClickHouseServer(int http, int tcp, const std::string& remoteServers) {
    char pattern[] = "/tmp/qel_clickhouse_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    dir_ = pattern;
    http_ = http ? http : UnusedPort();
    tcp_ = tcp ? tcp : UnusedPort();
    std::ofstream(dir_ + "/config.xml") << "<?xml version=\"1.0\"?>\n<yandex>\n"
        "<logger><level>warning</level><console>1</console></logger>\n"
        "<listen_host>127.0.0.1</listen_host>\n"
        "<http_port>" << http_ << "</http_port>\n<tcp_port>" << tcp_ << "</tcp_port>\n"
        "<path>" << dir_ << "/data/</path>\n<tmp_path>" << dir_ << "/tmp/</tmp_path>\n"
        "<user_files_path>" << dir_ << "/user_files/</user_files_path>\n"
        "<format_schema_path>" << dir_ << "/format_schemas/</format_schema_path>\n"
        "<users_config>users.xml</users_config>\n<default_profile>default</default_profile>\n"
        "<default_database>default</default_database>\n<mark_cache_size>268435456</mark_cache_size>\n"
        << remoteServers << "</yandex>\n";
    std::ofstream(dir_ + "/users.xml") << "<?xml version=\"1.0\"?>\n<yandex>\n<profiles>\n"
        "<default><max_memory_usage>4000000000</max_memory_usage></default>\n"
        "<leitura><readonly>1</readonly><max_execution_time>30</max_execution_time>"
        "<max_result_rows>1000001</max_result_rows><result_overflow_mode>throw</result_overflow_mode>"
        // A subquery over a distributed table inside a statement over another is sent whole to
        // every shard (as GLOBAL IN), so that statements stay the same as on one node.
        "<distributed_product_mode>global</distributed_product_mode></leitura>\n"
        "</profiles>\n<users>\n"
        "<default><password></password><networks><ip>127.0.0.1</ip></networks><profile>default</profile><quota>default</quota></default>\n"
        "<qel_leitor><password>leitura</password><networks><ip>127.0.0.1</ip></networks><profile>leitura</profile>"
        "<quota>default</quota></qel_leitor>\n"
        "</users>\n<quotas><default></default></quotas>\n</yandex>\n";
    const std::string log = dir_ + "/log", config = "--config-file=" + dir_ + "/config.xml";
    std::fflush(nullptr);  // nothing buffered here is written twice by the child
    pid_ = fork();
    if (pid_ == 0) {
        // Descriptors only: the parent's buffered output stays the parent's.
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        execlp("clickhouse-server", "clickhouse-server", config.c_str(), static_cast<char*>(nullptr));
        execl("/usr/sbin/clickhouse-server", "clickhouse-server", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        try {
            OpenClickHouse("clickhouse://default@127.0.0.1:" + std::to_string(http_) + "/default")->Query("SELECT 1");
            return;
        } catch (const ESqlError&) {
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
            pid_ = -1;
            throw std::runtime_error("clickhouse-server não iniciou: " + logOf(dir_));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

ClickHouseServer::~ClickHouseServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 30 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (kill(pid_, 0) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string ClickHouseServer::CreateDatabase() {
    const std::string name = "qel" + std::to_string(++databases_);
    const std::string base = "clickhouse://default@127.0.0.1:" + std::to_string(http_) + "/";
    OpenClickHouse(base + "default")->Execute("CREATE DATABASE " + name);
    return base + name;
}

std::string ClickHouseServer::ReaderUri(const std::string& ownerUri) {
    const std::string owner = "clickhouse://default@";
    return "clickhouse://qel_leitor:leitura@" + ownerUri.substr(owner.size());
}
