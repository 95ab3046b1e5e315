#include "postgres.hpp"

#include <glob.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "data/sql_connection.hpp"
#include "processes.hpp"

namespace {

std::string binDir() {
    glob_t g{};
    std::string found;
    if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0 && g.gl_pathc > 0)
        found = std::filesystem::path(g.gl_pathv[g.gl_pathc - 1]).parent_path().string();  // the newest
    globfree(&g);
    if (found.empty()) throw std::runtime_error("PostgreSQL não está instalado (initdb não encontrado)");
    return found;
}

// Commands run as the owner of the cluster: the "postgres" account when we are root.
std::string asOwner(const std::string& command) {
    if (geteuid() != 0) return command;
    return "runuser -u postgres -- " + command;
}

}  // namespace

std::string PostgresProgram(const std::string& name) { return binDir() + "/" + name; }

int PostgresServer::run(const std::string& command) const { return std::system(asOwner(command).c_str()); }

PostgresServer::PostgresServer() : bin_(binDir()) {
    char pattern[] = "/tmp/qel_pg_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    dir_ = pattern;
    if (geteuid() == 0) {
        passwd* pw = getpwnam("postgres");
        if (!pw) throw std::runtime_error("a conta postgres não existe");
        if (chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) throw std::runtime_error("chown " + dir_);
    }
    if (run(bin_ + "/initdb -D " + dir_ + "/data -U qel -A trust -E UTF8 --locale=C.UTF-8 >" + dir_ + "/initdb.log 2>&1") != 0)
        throw std::runtime_error("initdb falhou: " + ReadFile(dir_ + "/initdb.log"));
    port_ = UnusedPort();
    Start();
}

void PostgresServer::Start() {
    std::string options = "-p " + std::to_string(port_) + " -k " + dir_ +
                          " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
                          " -c max_connections=200";
    if (run(bin_ + "/pg_ctl -D " + dir_ + "/data -o '" + options + "' -l " + dir_ + "/server.log -w -t 30 start >/dev/null 2>&1") != 0)
        throw std::runtime_error("o servidor PostgreSQL não iniciou: " + ReadFile(dir_ + "/server.log"));
    running_ = true;
}

void PostgresServer::Stop() {
    if (!running_) return;
    run(bin_ + "/pg_ctl -D " + dir_ + "/data -m fast -w stop >/dev/null 2>&1");
    running_ = false;
}

PostgresServer::~PostgresServer() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string PostgresServer::Uri(const std::string& database) const {
    return "postgresql://qel@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

std::string PostgresServer::CreateDatabase(const std::string& sql) {
    std::string name = "qel_" + std::to_string(getpid()) + "_" + std::to_string(++databases_);
    OpenPostgres(Uri("postgres"))->Execute("CREATE DATABASE " + name);
    if (!sql.empty()) OpenPostgres(Uri(name))->Execute(sql);
    return Uri(name);
}

std::string PostgresServer::ReaderUri(const std::string& ownerUri) {
    OpenPostgres(ownerUri)->Execute(ReadFile(QEL_DEMO_DIR "/postgres_reader.sql") + ReadFile(QEL_DEMO_DIR "/postgres_policies.sql"));
    return "postgresql://qel_leitor@" + ownerUri.substr(std::string("postgresql://qel@").size());
}

PostgresServer& SharedPostgres() {
    static std::unique_ptr<PostgresServer> server = std::make_unique<PostgresServer>();
    return *server;
}
