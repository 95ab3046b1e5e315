// qelserver: serves QEL00100.rdmOpcoesDW over HTTP/JSON (see options.hpp for the command line).
// Port 0 picks a free port; the line "qelserver: listening on HOST:PORT" tells which. SIGINT or
// SIGTERM stops it: running statements are interrupted and it exits within two seconds.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <thread>

#include "auth.hpp"
#include "clickhouse_load.hpp"
#include "data/aggregates.hpp"
#include "database.hpp"
#include "http_server.hpp"
#include "options.hpp"
#include "rdm_opcoes_dw.hpp"

namespace {

// The password for --set-password: the line typed at a terminal; from a pipe or a file, the whole
// input, which must be one line (a final line break allowed). A second line is refused rather than
// cut off, so that the password kept is never other than the one given.
bool ReadPassword(std::string& password, std::string& error) {
    constexpr size_t kMax = 4096;
    if (isatty(STDIN_FILENO)) {
        std::getline(std::cin, password);
    } else {
        std::string buffer(kMax + 3, '\0');
        std::cin.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        password.assign(buffer.data(), static_cast<size_t>(std::cin.gcount()));
        if (!password.empty() && password.back() == '\n') password.pop_back();
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.find_first_of("\r\n") != std::string::npos) {
        error = "a senha deve vir numa só linha, e a entrada tem mais de uma";
        return false;
    }
    if (password.size() > kMax) {
        error = "a senha passa de " + std::to_string(kMax) + " bytes";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Answers of megabytes come from their own mappings and go back to the system when sent, so an
    // idle server returns to its small size whatever the calls before were.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::cout << kServerUsage << std::endl;
            return 0;
        }
    ServerOptions options;
    try {
        options = ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsage& e) {
        std::cerr << "qelserver: " << e.what() << "\n" << kServerUsage << std::endl;
        return 2;
    }
    if (options.setPassword) {
        // The password comes from standard input, never from the command line (which others may see).
        std::string password, error;
        if (!ReadPassword(password, error)) {
            std::cerr << "qelserver: senha não gravada: " << error << std::endl;
            return 1;
        }
        try {
            auto c = OpenSqlConnection(options.db);
            SetOperatorPassword(*c, *options.setPassword, password);
        } catch (const std::exception& e) {
            std::cerr << "qelserver: não foi possível gravar a senha: " << e.what() << std::endl;
            return 1;
        }
        std::cout << "qelserver: senha do operador " << *options.setPassword << " gravada" << std::endl;
        return 0;
    }
    if (!options.copyFrom.empty()) {
        try {
            auto source = OpenSqlite(options.copyFrom);
            // Over a cluster, rows inserted through a Distributed table are on the shards when the
            // insert returns.
            const std::string sync = options.db.find('?') == std::string::npos ? "?insert_distributed_sync=1" : "&insert_distributed_sync=1";
            auto target = OpenClickHouse(options.shards.empty() ? options.db : options.db + sync);
            std::vector<std::unique_ptr<SqlConnection>> others;
            ClickHouseCluster cluster{options.shards, options.db.substr(options.db.rfind('/') + 1), {}};
            cluster.database = cluster.database.substr(0, cluster.database.find('?'));
            for (const std::string& uri : options.shardUris) {
                others.push_back(OpenClickHouse(uri));
                cluster.others.push_back(others.back().get());
            }
            size_t total = 0;
            for (auto& [table, rows] : CopyToClickHouse(*source, *target, options.shards.empty() ? nullptr : &cluster)) {
                std::cout << "qelserver: " << table << ": " << rows << " linhas\n";
                total += rows;
            }
            std::cout << "qelserver: " << total << " linhas copiadas" << std::endl;
        } catch (const std::exception& e) {
            std::cerr << "qelserver: não foi possível copiar para o ClickHouse: " << e.what() << std::endl;
            return 1;
        }
        return 0;
    }
    if (options.buildAggregates) {
        try {
            auto c = OpenSqlConnection(options.db);
            const auto built = BuildAggregates(*c, IsPostgresUri(options.db), options.budget);
            for (const AggregateTable& a : built)
                std::cout << "qelserver: " << a.table << " (" << a.base << " por " << a.columns.size() << " colunas): " << a.rows << " linhas\n";
            std::cout << "qelserver: " << built.size() << " tabelas de resumo construídas" << std::endl;
        } catch (const std::exception& e) {
            std::cerr << "qelserver: não foi possível construir as tabelas de resumo: " << e.what() << std::endl;
            return 1;
        }
        return 0;
    }
    std::unique_ptr<ServerDatabase> db;
    try {
        db = OpenServerDatabase(options);
    } catch (const std::exception& e) {
        std::cerr << "qelserver: " << e.what() << std::endl;
        return 1;
    }

    // Signals are taken by one thread that stops the server; every other thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<Sessions> sessions;
    if (!options.trust) {
        SessionLimits sessionLimits;
        sessionLimits.idle = options.sessionIdle;
        sessions = std::make_unique<Sessions>(std::move(sessionLimits));
    }
    RdmOpcoesDW object(*db, AnswerLimits{options.maxRows, options.maxAnswer}, sessions.get());
    // Every connection is a descriptor: take all the system allows, and keep some for the database,
    // the workers and the log, so that the cap on connections is reached before the system's limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    HttpLimits limits;
    size_t reserved = 64 + options.workers * 2 + options.pool;
    if (files.rlim_cur != RLIM_INFINITY && files.rlim_cur > reserved + 16)
        limits.maxConnections = std::min<size_t>(limits.maxConnections, files.rlim_cur - reserved);
    limits.maxBody = options.maxBody;
    limits.readTimeout = options.readTimeout;
    limits.writeTimeout = options.writeTimeout;
    limits.keepAlive = options.readTimeout;
    limits.workers = options.workers;
    limits.maxQueue = options.queue;
    HttpServer server(limits, [&](const HttpRequest& r, const std::atomic<bool>& cancelled) { return object.Handle(r, cancelled); });
    int port = 0;
    try {
        port = server.Listen(options.host, options.port);
    } catch (const std::exception& e) {
        std::cerr << "qelserver: não foi possível escutar em " << options.host << ":" << options.port << ": " << e.what() << std::endl;
        return 1;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.Stop();
    });
    std::cout << "qelserver: listening on " << options.host << ":" << port << std::endl;
    server.Run();
    // Stopped by a signal: the stopper has returned. Stopped otherwise: wake it so it can end.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    std::cout << "qelserver: stopped" << std::endl;
    return 0;
}
