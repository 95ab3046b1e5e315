#include "options.hpp"
#include "data/sql_connection.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <charconv>

#include "auth.hpp"
#include "data/address.hpp"

const char* const kServerUsage =
    "uso: qelserver --db ARQUIVO|URI [--listen HOST:PORTA] [--max-body BYTES] [--statement-timeout SEGUNDOS] "
    "[--max-rows N] [--max-answer BYTES] [--read-timeout SEGUNDOS] [--write-timeout SEGUNDOS] [--workers N] [--queue N] [--pool N] "
    "[--auth password|trust] [--session-idle SEGUNDOS]\n"
    "               [--clickhouse-owner URI --clickhouse-config PASTA]   (regras de acesso num banco ClickHouse)\n"
    "     qelserver --db ARQUIVO|URI --set-password OPERADOR   (a senha vem da entrada padrão)\n"
    "     qelserver --db ARQUIVO|URI --build-aggregates [--budget LINHAS]   (tabelas de resumo das tabelas de fatos)\n"
    "     qelserver --db clickhouse://... --copy-from ARQUIVO [--shards CLUSTER --shard URI...]\n"
    "               (as tabelas de um banco SQLite copiadas para o ClickHouse, as de fatos espalhadas pelos shards)";

namespace {

unsigned long long number(const std::string& option, const std::string& text, unsigned long long min, unsigned long long max) {
    unsigned long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < min || v > max)
        throw EUsage(option + " espera um número de " + std::to_string(min) + " a " + std::to_string(max) + ": " +
                     text.substr(0, 40));
    return v;
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    bool loopback = true;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET)
            loopback = loopback && (ntohl(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr) >> 24) == 127;
        else if (a->ai_family == AF_INET6)
            loopback = loopback && IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr);
        else
            loopback = false;
    }
    freeaddrinfo(found);
    return loopback;
}

void ParseHostPort(const std::string& text, std::string& host, int& port) {
    std::string error;
    if (!SplitHostPort(text, host, port, error)) throw EUsage(error);
}

ServerOptions ParseServerOptions(const std::vector<std::string>& args) {
    ServerOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--build-aggregates") {
            o.buildAggregates = true;
            continue;
        }
        if (i + 1 >= args.size()) throw EUsage("falta o valor de " + a);
        const std::string& v = args[++i];
        auto seconds = [&] { return std::chrono::milliseconds(number(a, v, 1, 86400) * 1000); };
        if (a == "--db") o.db = v;
        else if (a == "--listen") ParseHostPort(v, o.host, o.port);
        else if (a == "--max-body") o.maxBody = number(a, v, 1, size_t{1} << 32);
        else if (a == "--statement-timeout") o.statementTimeout = seconds();
        else if (a == "--max-rows") o.maxRows = number(a, v, 1, 1000000000);
        else if (a == "--max-answer") o.maxAnswer = number(a, v, 1024, size_t{1} << 34);
        else if (a == "--read-timeout") o.readTimeout = seconds();
        else if (a == "--write-timeout") o.writeTimeout = seconds();
        else if (a == "--workers") o.workers = number(a, v, 1, 256);
        else if (a == "--queue") o.queue = number(a, v, 1, 100000);
        else if (a == "--pool") o.pool = number(a, v, 1, 256);
        else if (a == "--auth") {
            if (v != "password" && v != "trust") throw EUsage("--auth espera password ou trust: " + v.substr(0, 40));
            o.trust = v == "trust";
        }
        else if (a == "--session-idle") o.sessionIdle = std::chrono::seconds(number(a, v, 1, 30 * 86400));
        else if (a == "--set-password") o.setPassword = v;
        else if (a == "--copy-from") o.copyFrom = v;
        else if (a == "--shards") o.shards = v;
        else if (a == "--shard") o.shardUris.push_back(v);
        else if (a == "--clickhouse-owner") o.clickhouseOwner = v;
        else if (a == "--clickhouse-config") o.clickhouseConfig = v;
        else if (a == "--budget") o.budget = static_cast<int64_t>(number(a, v, 1, 1ull << 40));
        else throw EUsage("opção desconhecida: " + a.substr(0, 40));
    }
    if (o.db.empty()) throw EUsage("falta --db");
    // An empty code would be taken for no --set-password at all, and start a server instead.
    if (o.setPassword && !OperatorCodeFits(*o.setPassword))
        throw EUsage("--set-password espera o código do operador, de 1 a " + std::to_string(kOperatorCodeMax) + " caracteres");
    if (o.budget && !o.buildAggregates) throw EUsage("--budget só vale com --build-aggregates");
    if (!o.copyFrom.empty() && !IsClickHouseUri(o.db)) throw EUsage("--copy-from só vale com --db clickhouse://...");
    if ((!o.shards.empty() || !o.shardUris.empty()) && o.copyFrom.empty()) throw EUsage("--shards e --shard só valem com --copy-from");
    if (!o.shards.empty() && !IsPlainSqlIdentifier(o.shards)) throw EUsage("--shards espera o nome de um cluster");
    for (const std::string& uri : o.shardUris)
        if (!IsClickHouseUri(uri)) throw EUsage("--shard espera clickhouse://...");
    if (o.clickhouseOwner.empty() != o.clickhouseConfig.empty())
        throw EUsage("--clickhouse-owner e --clickhouse-config andam juntos");
    if (!o.clickhouseOwner.empty() && (!IsClickHouseUri(o.db) || !IsClickHouseUri(o.clickhouseOwner)))
        throw EUsage("--clickhouse-owner espera clickhouse://... e só vale com --db clickhouse://...");
    // Without logins, whoever reaches the port is whoever they say: only this machine may reach it.
    if (o.trust && !IsLoopbackHost(o.host))
        throw EUsage("--auth trust só é aceito quando o servidor escuta apenas na própria máquina (127.0.0.1, ::1)");
    return o;
}
