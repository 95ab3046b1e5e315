#include "clickhouse_operators.hpp"

#include <sodium.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <ctime>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "data/access_rules.hpp"
#include "data/aggregates.hpp"
#include "data/clickhouse_address.hpp"
#include "data/sql_connection.hpp"
#include "data/sql_text.hpp"
#include "row_rules.hpp"

namespace {

const char* const kRuleTables[] = {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP", "FILDIMEGRUPOP", "DIMENSAODW", "DIMENSAODIME"};

std::string randomHex(size_t bytes) {
    if (sodium_init() < 0) throw ESqlError("libsodium não pôde ser iniciada");
    std::string raw(bytes, '\0'), text(bytes * 2 + 1, '\0');
    randombytes_buf(raw.data(), bytes);
    sodium_bin2hex(text.data(), text.size(), reinterpret_cast<const unsigned char*>(raw.data()), bytes);
    text.pop_back();
    return text;
}

std::string sha256Hex(const std::string& text) {
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    char hex[sizeof hash * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, hash, sizeof hash);
    return hex;
}

// Written whole under another name, then renamed: ClickHouse never reads half a file. ClickHouse
// notices a changed file by its time of change in whole seconds, so each write is dated at least a
// second after the one before (`last`), or a second write within a second would go unseen.
void writeFile(const std::string& path, const std::string& text, time_t& last) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
        if (!out.flush()) throw ESqlError("Não foi possível escrever a configuração do ClickHouse em " + path);
    }
    ::chmod(temporary.c_str(), 0640);  // passwords: the ClickHouse server's group reads them, nobody else
    last = std::max(time(nullptr), last + 1);
    const timespec times[2] = {{last, 0}, {last, 0}};
    ::utimensat(AT_FDCWD, temporary.c_str(), times, 0);
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) throw ESqlError("Não foi possível escrever a configuração do ClickHouse em " + path);
}

}  // namespace

ClickHouseOperators::ClickHouseOperators(const std::string& reader, const std::string& owner, const std::string& configDir,
                                         std::chrono::milliseconds timeout)
    : reader_(reader), owner_(owner), timeout_(timeout) {
    const ClickHouseAddress r = ParseClickHouseUri(reader);
    source_ = r.database;
    host_ = r.host;
    httpPort_ = r.port;
    prefix_ = "qel_" + randomHex(4) + "_";
    usersFile_ = configDir + "/users.d/" + prefix_ + "operadores.xml";
    // A user of no database, there only until ClickHouse has shown that it reads the file: a folder
    // it does not read shows now, not at a restricted operator's first call.
    probePassword_ = randomHex(16);
    try {
        writeFiles();
        waitUntil("os usuários de " + usersFile_, "clickhouse://" + prefix_ + "sonda:" + probePassword_ + "@" + host_ + ":" +
                                                     std::to_string(httpPort_) + "/system");
        probePassword_.clear();
        writeFiles();
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(usersFile_, ec);
        throw;
    }
}

ClickHouseOperators::~ClickHouseOperators() {
    try {
        auto o = OpenClickHouse(owner_);
        o->SetStatementTimeout(timeout_);
        for (auto& [code, op] : operators_)
            if (op->number) o->Execute("DROP DATABASE IF EXISTS " + databaseOf(op->number));
    } catch (const std::exception&) {
        // ClickHouse went away first: what is left names no data, and its users go with the files.
    }
    std::error_code ec;
    std::filesystem::remove(usersFile_, ec);
}

void ClickHouseOperators::writeFiles() {
    // readonly=1: no writes, settings or table functions.
    std::string users = "<?xml version=\"1.0\"?>\n<yandex>\n<profiles><" + prefix_ + "operador><readonly>1</readonly>";
    if (timeout_.count() > 0) users += "<max_execution_time>" + std::to_string((timeout_.count() + 999) / 1000) + "</max_execution_time>";
    users += "</" + prefix_ + "operador></profiles>\n<quotas><" + prefix_ + "cota></" + prefix_ + "cota></quotas>\n<users>\n";
    if (!probePassword_.empty())
        users += "<" + prefix_ + "sonda><password_sha256_hex>" + sha256Hex(probePassword_) + "</password_sha256_hex><networks><ip>::/0</ip>" +
                 "</networks><profile>" + prefix_ + "operador</profile><quota>" + prefix_ + "cota</quota><allow_databases><database>" +
                 "system</database></allow_databases></" + prefix_ + "sonda>\n";
    for (auto& [code, op] : operators_) {
        if (!op->number) continue;
        const std::string name = prefix_ + "u" + std::to_string(op->number);
        users += "<" + name + "><password_sha256_hex>" + sha256Hex(op->password) + "</password_sha256_hex><networks><ip>::/0</ip></networks>" +
                 "<profile>" + prefix_ + "operador</profile><quota>" + prefix_ + "cota</quota><allow_databases><database>" +
                 databaseOf(op->number) + "</database></allow_databases></" + name + ">\n";
    }
    users += "</users>\n</yandex>\n";
    writeFile(usersFile_, users, usersWritten_);
}

// ClickHouse reloads its configuration files every few seconds: waits until the user of `probeUri`
// can log in.
void ClickHouseOperators::waitUntil(const std::string& what, const std::string& probeUri) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        try {
            if (!OpenClickHouse(probeUri, true)->Query("SELECT 1", {}, true).rows.empty()) return;
        } catch (const ESqlError&) {
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw ESqlError("O ClickHouse não carregou " + what + " em 30 s: veja se o servidor lê a pasta de configuração");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

std::string ClickHouseOperators::databaseOf(int number) const { return prefix_ + "o" + std::to_string(number); }

std::string ClickHouseOperators::operatorUri(const Operator& o) const {
    const std::string n = std::to_string(o.number);
    return "clickhouse://" + prefix_ + "u" + n + ":" + o.password + "@" + host_ + ":" + std::to_string(httpPort_) + "/" + databaseOf(o.number);
}

std::string ClickHouseOperators::UriFor(const std::string& operatorCode) {
    // Most operators are not restricted: one small statement tells, and they read the warehouse.
    auto reader = OpenClickHouse(reader_, true);
    reader->SetStatementTimeout(timeout_);
    if (reader->Query(kRestrictedDimensionsSql, {{"P_CDOPERADOR", operatorCode}}, true).rows.empty()) return reader_;

    std::shared_ptr<Operator> entry;
    {
        std::lock_guard lock(mutex_);
        auto& e = operators_[operatorCode];
        if (!e) e = std::make_shared<Operator>();
        entry = e;
    }
    Operator& op = *entry;
    std::lock_guard own(op.mutex);  // one operator's copies may take a while: the others' calls go on
    auto owner = OpenClickHouse(owner_);
    // Copying an operator's rows of a large warehouse outlasts a call's time limit; it is done once.
    owner->SetStatementTimeout(std::max<std::chrono::milliseconds>(timeout_, std::chrono::minutes(10)));
    std::map<std::string, std::string> tables;  // name -> engine
    std::string identities;  // each table with its definition's time: one dropped and made again is another
    for (auto& row : owner->Query("SELECT name, engine, toString(metadata_modification_time) FROM system.tables WHERE database = :D AND engine NOT LIKE '%View' "
                                  "ORDER BY name", {{"D", source_}}).rows)
        if (IsPlainSqlIdentifier(row.at(0))) {  // no other can hold catalogued data
            tables[row.at(0)] = row.at(1);
            identities += row.at(0) + "=" + row.at(2) + ";";
        }

    // The rules' tables in full; the small tables' rows by content (a Log table rewritten with as
    // many rows, a product renamed, is another table); the others' rows by count; and the local
    // tables' parts by name (an insert, a merge and a mutation each make parts of other names): a
    // load, a new table or a change of the rules changes it.
    auto merging = [](const std::string& e) { return e.size() >= 9 && e.compare(e.size() - 9, 9, "MergeTree") == 0; };
    // A row's hash over every column, a null told apart from any text: a hash of the columns as
    // they are would be null, and left out of the sum, for any row holding one.
    std::map<std::string, std::string> rowHash;  // by table
    for (auto& row : owner->Query("SELECT table, name FROM system.columns WHERE database = :D ORDER BY table, name", {{"D", source_}}).rows) {
        if (!IsPlainSqlIdentifier(row.at(1))) continue;
        std::string& h = rowHash[row.at(0)];
        h += (h.empty() ? "" : ", ") + std::string("ifNull(concat('v', toString(") + row.at(1) + ")), 'n')";
    }
    auto contentOf = [&](const std::string& table) {
        const std::string h = rowHash.count(table) ? rowHash.at(table) : "''";
        return "(SELECT concat(toString(count()), '.', toString(sum(cityHash64(" + h + ")))) FROM " + source_ + "." + table + ")";
    };
    std::string keySql = "SELECT concat(" + ClickHouseLiteral(identities) + ", ";
    for (const char* table : kRuleTables) keySql += contentOf(table) + ", ':', ";
    for (auto& [table, engine] : tables)
        keySql += ClickHouseLiteral(table) + ", " +
                  (merging(engine) || engine == "Distributed" ? "(SELECT toString(count()) FROM " + source_ + "." + table + ")" : contentOf(table)) +
                  ", ':', ";
    keySql += "(SELECT concat(toString(count()), '.', toString(sum(rows)), '.', toString(sum(cityHash64(table, name))), '.', "
              "toString(max(modification_time))) FROM system.parts WHERE active AND database = :D))";
    const std::string key = owner->Query(keySql, {{"D", source_}}).rows.at(0).at(0);
    // No key, no proof the copies hold: never the warehouse itself for a restricted operator.
    if (key.empty()) throw ESqlError("Não foi possível verificar as cópias dos dados do operador " + operatorCode + "; tente de novo");
    if (op.key == key) return op.copied ? operatorUri(op) : reader_;

    RowRuleOptions options;
    options.aggregates = tables.count("QEL_AGREGADOS") > 0;
    options.literal = ClickHouseLiteral;
    options.ruleTables = true;  // the copies of the rules hold the operator's own
    std::map<std::string, std::string> conditions;  // by the warehouse's own spelling of the table
    for (const SqlRowRule& rule : RowRulesFor(*reader, operatorCode, options)) {
        // A rule on a table spelt otherwise still holds for it: never copy it unfiltered.
        for (auto& [table, engine] : tables)
            if (SameSqlName(table, rule.table)) conditions[table] = rule.condition;
    }
    if (conditions.empty()) {  // its rules name no table there: it reads the warehouse
        if (op.number) owner->Execute("DROP DATABASE IF EXISTS " + databaseOf(op.number));
        op.copied = false;
        op.key = key;
        return reader_;
    }

    const bool newUser = op.number == 0;
    if (newUser) {
        std::lock_guard lock(mutex_);  // the users file reads every operator's number and password
        op.number = ++numbers_;
        op.password = randomHex(16);
    }
    const std::string copies = databaseOf(op.number);
    op.copied = false;  // until copied again, a failure leaves it to be copied at the next call
    op.key.clear();
    owner->Execute("DROP DATABASE IF EXISTS " + copies);
    owner->Execute("CREATE DATABASE " + copies);
    // The warehouse's engine and order where it keeps its rows itself (a sharded table's local one);
    // any other engine (one that writes elsewhere, or keeps rows in memory only) as a Log.
    auto keeps = [](const std::string& e) {
        return e == "Log" || e == "TinyLog" || e == "StripeLog" || (e.size() >= 9 && e.compare(e.size() - 9, 9, "MergeTree") == 0);
    };
    for (auto& [table, engine] : tables) {
        // Passwords stay out; so do the shards' local tables, copied through their distributed table.
        if (table == "QELOPERADOR") continue;
        const bool local = table.size() > 6 && table.compare(table.size() - 6, 6, "_LOCAL") == 0;
        if (local && tables.count(table.substr(0, table.size() - 6))) continue;
        std::string like = source_ + "." + table, as = "CREATE TABLE " + copies + "." + table + " AS ";
        if (engine == "Distributed" && tables.count(table + "_LOCAL") && keeps(tables.at(table + "_LOCAL"))) as += like + "_LOCAL";
        else if (keeps(engine)) as += like;
        else as += like + " ENGINE = Log";
        owner->Execute(as);
        auto c = conditions.find(table);
        owner->Execute("INSERT INTO " + copies + "." + table + " SELECT * FROM " + source_ + "." + table +
                       (c == conditions.end() ? "" : " WHERE " + c->second));
    }
    if (newUser) {
        {
            std::lock_guard lock(mutex_);
            writeFiles();
        }
        waitUntil("o usuário do operador", operatorUri(op));
    }
    op.copied = true;
    op.key = key;
    return operatorUri(op);
}

std::string ClickHouseOperators::SafeMessage(const std::string& message) const {
    const std::regex ours(prefix_ + "[A-Za-z0-9_]*");
    return std::regex_replace(message, ours, "(restrito)");
}
