// ClickHouse as the warehouse: the connection (types, nulls, escapes, values that must not break out
// of their quotes, a reader that can only read, cancel and time limit), and the whole system on it:
// the demo-like test catalogue copied from SQLite, served by qelserver, and the same views and member
// lists as on SQLite, to the last digit. A restricted operator sees only their rows whatever the SQL,
// or, on a server not given the means to make their ClickHouse user, is refused rather than shown all.
#include <gtest/gtest.h>

#include <thread>

#include "data/sql_connection.hpp"
#include "support/clickhouse.hpp"
#include "support/e2e.hpp"
#include "support/processes.hpp"
#include "support/server_call.hpp"

namespace {

using J = nlohmann::json;

struct Kinds : SqlRowSink {
    std::vector<std::vector<SqlValue::Kind>> rows;
    void Columns(const std::vector<SqlColumn>&) override {}
    void Row(const SqlValue* v) override { rows.push_back({v[0].kind, v[1].kind, v[2].kind}); }
};

}  // namespace

TEST(ClickHouse, AConnectionReadsTypesNullsAndEscapesAndAReaderCanOnlyRead) {
    ClickHouseServer server;
    const std::string owner = server.CreateDatabase();
    auto db = OpenClickHouse(owner);
    db->Execute("CREATE TABLE T (K Nullable(String), N Nullable(Int64), V Nullable(Float64)) ENGINE = Log;"
                "INSERT INTO T VALUES ('a;b', 1, 1.5), (NULL, NULL, NULL)");
    const std::string odd = "tab\there, line\nthere, back\\slash, it's";
    db->Query("INSERT INTO T VALUES (:K, 2, 2.25)", {{"K", odd}});
    db->Query("INSERT INTO T VALUES (:K, 3, 0.5)", {{"K", "x' OR 1=1 --"}});
    // NULL reads as empty text, and sorts last here.
    EXPECT_EQ(db->Query("SELECT K, N, V FROM T ORDER BY N").rows,
              (std::vector<std::vector<std::string>>{{"a;b", "1", "1.5"}, {odd, "2", "2.25"}, {"x' OR 1=1 --", "3", "0.5"}, {"", "", ""}}));
    Kinds kinds;
    db->Stream("SELECT K, N, V FROM T ORDER BY N", {}, true, kinds);
    using K = SqlValue::Kind;
    ASSERT_EQ(kinds.rows.size(), 4u);
    EXPECT_EQ(kinds.rows[3], (std::vector<K>{K::Null, K::Null, K::Null}));
    EXPECT_EQ(kinds.rows[0], (std::vector<K>{K::Text, K::Integer, K::Real}));

    // A value is one value, whatever quotes and backslashes it carries.
    struct Probe {
        std::string value;
        const char* count;
    };
    for (const Probe& p : {Probe{"x' OR 1=1 --", "1"}, Probe{"x\\' OR 1=1 --", "0"}, Probe{"\\", "0"}, Probe{"' OR ''='", "0"}, Probe{odd, "1"}})
        EXPECT_EQ(db->Query("SELECT count() FROM T WHERE K = :K", {{"K", p.value}}).rows.at(0).at(0), p.count) << p.value;

    // The reader: this connection sends nothing but SELECT, and the server's profile refuses the rest.
    const std::string reader = ClickHouseServer::ReaderUri(owner);
    EXPECT_THROW(OpenClickHouse(reader, true)->Query("INSERT INTO T VALUES ('r', 9, 9)"), ESqlError);
    auto unguarded = OpenClickHouse(reader);  // as a client sending its own SQL would
    EXPECT_EQ(unguarded->Query("SELECT count() FROM T").rows.at(0).at(0), "4");
    for (const char* refused : {"INSERT INTO T VALUES ('r', 9, 9)", "CREATE TABLE U (A String) ENGINE = Log", "ALTER TABLE T DELETE WHERE 1 = 1",
                                "DROP TABLE T", "SELECT * FROM file('x.tsv', 'TSV', 'A String')",
                                "SELECT * FROM url('http://127.0.0.1:1/', 'TSV', 'A String')", "SET max_result_rows = 0"})
        EXPECT_THROW(unguarded->Query(refused), ESqlError) << refused;
    EXPECT_EQ(db->Query("SELECT count() FROM T").rows.at(0).at(0), "4");

    // The operators' passwords: no read-only statement names their table, however it spells it,
    // unless the connection is opened to them (the server's login). Text and comments name nothing.
    db->Execute("CREATE TABLE QELOPERADOR (CDOPERADOR String, DSSENHA String) ENGINE = Log;"
                "INSERT INTO QELOPERADOR VALUES ('ADMIN', 'segredo')");
    auto guarded = OpenClickHouse(reader, true);
    for (const char* secret : {"SELECT DSSENHA FROM QELOPERADOR", "SELECT * FROM qeloperador", "SELECT * FROM `QELOPERADOR`",
                               "SELECT * FROM \"QELOPERADOR\"", "SELECT * FROM `\\x51ELOPERADOR`", "SELECT * FROM \"QEL\\OPERADOR\"",
                               "SELECT * FROM T WHERE K IN (SELECT DSSENHA FROM QELOPERADOR)"})
        try {
            guarded->Query(secret);
            ADD_FAILURE() << "read: " << secret;
        } catch (const ESqlError& e) {
            EXPECT_NE(std::string(e.what()).find("QELOPERADOR"), std::string::npos) << secret << ": " << e.what();
        }
    EXPECT_EQ(guarded->Query("SELECT count() FROM T WHERE K <> 'QELOPERADOR' -- QELOPERADOR").rows.at(0).at(0), "3");
    guarded->SetSecretsReadable(true);
    EXPECT_EQ(guarded->Query("SELECT DSSENHA FROM `\\x51ELOPERADOR`").rows.at(0).at(0), "segredo");

    // A reader of the rows that gives up (the server's row cap does) ends the statement with its error.
    struct GivesUp : SqlRowSink {
        size_t rows = 0;
        void Columns(const std::vector<SqlColumn>&) override {}
        void Row(const SqlValue*) override {
            if (++rows == 2) throw std::length_error("demais linhas");
        }
    } givesUp;
    EXPECT_THROW(db->Stream("SELECT number FROM system.numbers LIMIT 100000", {}, true, givesUp), std::length_error);
    EXPECT_EQ(givesUp.rows, 2u);

    // A statement that would run for minutes stops at the cancel and at the time limit.
    std::atomic<bool> cancel{false};
    db->SetCancelFlag(&cancel);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(db->Query("SELECT count() FROM system.numbers WHERE number % 7 = 99"), ESqlInterrupted);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    db->SetCancelFlag(nullptr);
    db->SetStatementTimeout(std::chrono::milliseconds(400));
    try {
        db->Query("SELECT count() FROM system.numbers WHERE number % 7 = 99");
        ADD_FAILURE() << "no time limit";
    } catch (const ESqlInterrupted& e) {
        EXPECT_NE(std::string(e.what()).find("tempo limite"), std::string::npos) << e.what();
    }
}

namespace {

std::string view(const std::string& layout) {
    return "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas 'Qtde Grande'\n" + layout +
           "key Ctrl+F2\ndump\n";
}

const std::pair<const char*, std::string> kViews[] = {
    {"rows", view("dblclick trvDimensoes Produto\n")},
    {"rows by columns", view("dblclick trvDimensoes Produto\ndrag trvDimensoes Período --to trvCols\n")},
    {"a page chosen", view("dblclick trvDimensoes Cliente\ndrag trvDimensoes Filial --to trvPages\n") + "page Filial Campinas\ndump\n"},
    {"members filtered",
     view("dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvCols\nanswer confirm \"'01','03'\"\ndblclick trvCols Filial\n")},
    {"every dimension", view("dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\ndrag trvDimensoes Filial --to trvCols\n"
                             "drag trvDimensoes Período --to trvPages\n")},
};

// The member lists of a dimension with its own table and of one that lives in the fact table only.
const std::pair<const char*, std::string> kMemberLists[] = {
    {"own table", "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndrag trvDimensoes Produto --to trvRows\n"
                  "press trvRows Produto\nanswer cancel\nkey F9\ndump\n"},
    {"fact table", "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas 'Qtde Grande'\n"
                   "drag trvDimensoes 'Mês Grande' --to trvRows\npress trvRows 'Mês Grande'\nanswer cancel\nkey F9\ndump\n"},
    {"two fact tables", "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas Faturamento\n"
                        "drag trvDimensoes 'Mês Grande' --to trvRows\npress trvRows 'Mês Grande'\nanswer cancel\nkey F9\ndump\n"},
};

J lastViewer(const HostRun& r) { return r.states.empty() ? J() : r.states.back()["cube"]["viewer"]; }

J dialogRows(const HostRun& r) {
    if (r.states.empty()) return J();
    auto dialogs = EventsOf(r.states[0], "dialog");
    return dialogs.empty() ? J() : dialogs[0]["rows"];
}


// The test catalogue with the summary tests' 2,400 sales, and a dimension that lives in the fact
// tables only (in FGRANDE and FVENDA, whose keys include a quote).
std::string catalogueSql() {
    return ReadFile(QEL_TEST_DIR "/aggregates.sql") + ReadFile(QEL_DEMO_DIR "/operators_schema.sql") +
           "INSERT INTO DIMENSAODIME VALUES ('12', 'Mês Grande', '', '', '', '');"
           "INSERT INTO DIMENSAODW VALUES ('12', 'FGRANDE', 'CDPERIODO'), ('12', 'FVENDA', 'CDPERIODO');";
}

// Every view and member list above, on a server and a host reading `reader`, gives what SQLite gives.
void expectSameAsSqlite(const E2E& sqlite, const std::string& reader, const char* where) {
    ServerProcess onClickHouse(reader);
    for (auto& [name, script] : kViews) {
        HostRun a = sqlite.Run(script), b = sqlite.Run(script, {"--database", reader}, onClickHouse.Address());
        ASSERT_EQ(b.status, 0) << name << where << b.err;
        const J expected = lastViewer(a), got = lastViewer(b);
        ASSERT_FALSE(expected["lines"].empty()) << name;
        EXPECT_EQ(got["lines"], expected["lines"]) << name << where << "\nClickHouse: " << got["lines"] << "\nSQLite: " << expected["lines"];
        EXPECT_EQ(got["columnKeys"], expected["columnKeys"]) << name << where;
        EXPECT_EQ(got["message"], expected["message"]) << name << where;
    }
    for (auto& [name, script] : kMemberLists) {
        HostRun a = sqlite.Run(script), b = sqlite.Run(script, {"--database", reader}, onClickHouse.Address());
        ASSERT_EQ(b.status, 0) << name << where << b.err;
        EXPECT_FALSE(dialogRows(a).empty()) << name;
        EXPECT_EQ(dialogRows(b), dialogRows(a)) << name << where;
    }
}

}  // namespace

TEST(ClickHouse, TheSameCatalogueGivesTheSameViewsAndMemberListsAsOnSQLite) {
    E2E sqlite(catalogueSql());
    sqlite.SetPassword("MARIA", "senha");
    ClickHouseServer server;
    const std::string owner = server.CreateDatabase(), reader = ClickHouseServer::ReaderUri(owner);
    CommandResult copied = RunCommand({QEL_BIN_DIR "/qelserver", "--db", owner, "--copy-from", sqlite.Db()}, "");
    ASSERT_EQ(copied.status, 0) << copied.err << copied.out;
    EXPECT_NE(copied.out.find("FGRANDE: 2400 linhas"), std::string::npos) << copied.out;
    expectSameAsSqlite(sqlite, reader, " (one node)");

    // The server keeps its catalogue answer while the catalogue's change key stays; a new fact changes it.
    {
        ServerProcess kept(reader);
        const std::string script = "open\npress trvFatos Vendas\ndump\n";
        HostRun before = sqlite.Run(script, {"--database", reader}, kept.Address());
        OpenClickHouse(owner)->Execute("INSERT INTO ITEMDW VALUES ('FGRANDE', 'VL', 'Venda Nova', '01', '', 'V', '')");
        HostRun after = sqlite.Run(script, {"--database", reader}, kept.Address());
        ASSERT_FALSE(before.states.empty());
        ASSERT_FALSE(after.states.empty());
        EXPECT_EQ(before.states[0]["trees"]["trvFatos"].dump().find("Venda Nova"), std::string::npos);
        EXPECT_NE(after.states[0]["trees"]["trvFatos"].dump().find("Venda Nova"), std::string::npos) << after.states[0]["trees"]["trvFatos"];
    }

    // A server not given an owner and ClickHouse's configuration folder cannot make MARIA a user of
    // her own: it refuses her calls, it never runs her SQL over every branch.
    ServerProcess withLogins(reader, {"--auth", "password"});
    setenv("QEL_PASSWORD", "senha", 1);
    HostRun maria = sqlite.Run(kViews[0].second, {"--database", "", "--operator", "MARIA"}, withLogins.Address());
    unsetenv("QEL_PASSWORD");
    ASSERT_EQ(maria.status, 0) << maria.err;
    ASSERT_FALSE(maria.states.empty());
    EXPECT_TRUE(lastViewer(maria)["lines"].empty()) << lastViewer(maria);
    EXPECT_NE(lastViewer(maria)["message"].dump().find("ClickHouse"), std::string::npos) << lastViewer(maria);
}

// Over two shards the fact tables' rows are spread between them, statements still name the fact
// table, and a member list that reads one fact table inside another's statement still works.
TEST(ClickHouse, OverTwoShardsTheFactRowsAreSpreadAndTheViewsAreTheSame) {
    E2E sqlite(catalogueSql());
    auto [first, second] = ClickHouseServer::TwoShards();
    const std::string owner = first->CreateDatabase(), other = second->CreateDatabase();
    ASSERT_EQ(owner.substr(owner.rfind('/')), other.substr(other.rfind('/')));  // the same database name on both
    CommandResult copied = RunCommand(
        {QEL_BIN_DIR "/qelserver", "--db", owner, "--copy-from", sqlite.Db(), "--shards", "qel_shards", "--shard", other}, "");
    ASSERT_EQ(copied.status, 0) << copied.err << copied.out;
    const long here = std::stol(OpenClickHouse(owner)->Query("SELECT count() FROM FGRANDE_LOCAL").rows.at(0).at(0));
    const long there = std::stol(OpenClickHouse(other)->Query("SELECT count() FROM FGRANDE_LOCAL").rows.at(0).at(0));
    EXPECT_GT(here, 0);
    EXPECT_GT(there, 0);
    EXPECT_EQ(here + there, 2400);
    EXPECT_EQ(OpenClickHouse(other)->Query("SELECT count() FROM FGRANDE").rows.at(0).at(0), "2400");
    expectSameAsSqlite(sqlite, ClickHouseServer::ReaderUri(owner), " (two shards)");
}

namespace {

// Logins on a server, and the first value of a statement's answer for an operator ("recusado" and the
// message when refused).
struct Logins {
    std::string address;
    std::map<std::string, std::string> tokens;
    Logins(const std::string& a, const std::vector<std::string>& operators) : address(a) {
        for (const std::string& op : operators) tokens[op] = CallServer(address, "Login", {op, "senha"})["result"]["data"].get<std::string>();
    }
    J first(const std::string& op, const std::string& sql, std::string* error = nullptr) const {
        auto colon = address.rfind(':');
        httplib::Client c(address.substr(0, colon), std::stoi(address.substr(colon + 1)));
        c.set_read_timeout(60, 0);
        auto res = c.Post("/QEL00100.rdmOpcoesDW/getInfo", {{"Authorization", "Bearer " + tokens.at(op)}}, J{{"args", {sql}}}.dump(),
                          "application/json");
        if (!res) return J("sem resposta");
        J a = J::parse(res->body);
        if (a["result"]["ok"] == true) return a["result"]["data"]["rows"].empty() ? J() : a["result"]["data"]["rows"][0][0];
        if (error) *error = a["result"]["error"].get<std::string>();
        return J("recusado");
    }
};

const char* const kOperators[] = {"MARIA", "JOAO", "ADMIN"};

// Whatever SQL they send, MARIA (branches 01 and 02) and JOAO (his groups' branches and product)
// read on ClickHouse what the SQLite server's row rules give them, and ADMIN everything; the
// warehouse's own database, the passwords and table functions stay out of their reach; a change of
// the rules holds from the next call.
void expectRulesHold(const E2E& sqlite, const std::string& owner, const ClickHouseServer& clickhouse, const char* where) {
    const std::string reader = ClickHouseServer::ReaderUri(owner), database = owner.substr(owner.rfind('/') + 1);
    ServerProcess onClickHouse(reader, {"--auth", "password", "--clickhouse-owner", owner, "--clickhouse-config", clickhouse.ConfigDir()});
    ServerProcess onSqlite(sqlite.Db(), {"--auth", "password"});
    Logins ch(onClickHouse.Address(), {kOperators, kOperators + 3}), lite(onSqlite.Address(), {kOperators, kOperators + 3});
    auto same = [&](const char* sql, bool restrictedDiffers) {
        J admin = lite.first("ADMIN", sql);
        for (const char* op : kOperators) {
            std::string error;
            const J expected = lite.first(op, sql), got = ch.first(op, sql, &error);
            ASSERT_NE(expected, J("recusado")) << sql;
            if (got.is_number() && expected.is_number()) {
                EXPECT_EQ(got.get<double>(), expected.get<double>()) << op << ": " << sql << where;
            } else {
                EXPECT_EQ(got.dump(), expected.dump()) << op << ": " << sql << where << " " << error;
            }
            if (restrictedDiffers && std::string(op) != "ADMIN") {
                EXPECT_NE(expected, admin) << op << ": " << sql;
            }
        }
    };
    same("SELECT SUM(VL) FROM FCAIXA", true);
    same("SELECT SUM(VL) FROM (SELECT * FROM FCAIXA) t", true);
    same("SELECT SUM(VL) FROM FGRANDE", true);
    // Over shards, the reader's own subquery over a small table is sent on to the other shard as it
    // stands, where the remote connection's database is the default one; the viewer's statements
    // name no such subquery. The operators' copies are local, so theirs is asked on both.
    if (std::string(where).find("shards") == std::string::npos)
        same("SELECT SUM(VL) FROM FGRANDE WHERE CDFILIAL IN (SELECT CDFILIAL FROM DFILIAL)", true);
    else {
        // Refused for the reader, with neither the other shard's address nor a user named.
        std::string error;
        EXPECT_EQ(ch.first("ADMIN", "SELECT SUM(VL) FROM FGRANDE WHERE CDFILIAL IN (SELECT CDFILIAL FROM DFILIAL)", &error), J("recusado"));
        EXPECT_EQ(error.find("127.0.0.1"), std::string::npos) << error;
        EXPECT_NE(error.find("DFILIAL"), std::string::npos) << error;
        for (const char* op : {"MARIA", "JOAO"})
            EXPECT_EQ(ch.first(op, "SELECT SUM(VL) FROM FGRANDE WHERE CDFILIAL IN (SELECT CDFILIAL FROM DFILIAL)"),
                      lite.first(op, "SELECT SUM(VL) FROM FGRANDE WHERE CDFILIAL IN (SELECT CDFILIAL FROM DFILIAL)")) << op;
    }
    same("SELECT count(*) FROM DFILIAL", true);
    // The rules themselves: a restricted operator reads their own, as on SQLite.
    for (const char* op : {"MARIA", "JOAO"})
        for (const char* sql : {"SELECT count(*) FROM FILDIMEOPER", "SELECT count(*) FROM FILDIMEGRUPOP", "SELECT count(*) FROM OPERGRUPOP"})
            EXPECT_EQ(ch.first(op, sql), lite.first(op, sql)) << op << ": " << sql << where;

    for (const std::string& sql : {"SELECT SUM(VL) FROM " + database + ".FCAIXA", std::string("SELECT count(*) FROM QELOPERADOR"),
                                   "SELECT count() FROM FCAIXA WHERE CDFILIAL IN (SELECT CDFILIAL FROM " + database + ".FCAIXA)",
                                   std::string("SELECT count(*) FROM file('x', 'CSV', 'a String')"),
                                   std::string("SELECT count(*) FROM system.query_log"), std::string("SELECT * FROM `system`.processes"),
                                   std::string("SELECT count() FROM \"system\" . \"tables\""), "SELECT count(*) FROM remote('127.0.0.1', " +
                                   database + ".FCAIXA)", std::string("INSERT INTO FCAIXA VALUES ('02', '2026-02', 'S', 5)")}) {
        std::string error;
        const J got = ch.first("MARIA", sql, &error);
        EXPECT_TRUE(got == J("recusado") || got.is_null()) << sql << ": " << got << where;
        EXPECT_EQ(error.find("qel_"), std::string::npos) << error;  // no user or database of ours named
        EXPECT_EQ(error.find(std::to_string(clickhouse.TcpPort())), std::string::npos) << error;
    }

    // The viewer's own statements through the server, as MARIA, give what they give on SQLite.
    setenv("QEL_PASSWORD", "senha", 1);
    for (auto& [name, script] : kViews) {
        HostRun a = sqlite.Run(script, {"--database", "", "--operator", "MARIA"}, onSqlite.Address());
        HostRun b = sqlite.Run(script, {"--database", "", "--operator", "MARIA"}, onClickHouse.Address());
        ASSERT_EQ(b.status, a.status) << name << where << b.err;  // a branch she may not see is no page of hers
        EXPECT_EQ(lastViewer(b)["lines"], lastViewer(a)["lines"]) << name << where << "\nClickHouse: " << lastViewer(b)
                                                                  << "\nSQLite: " << lastViewer(a);
    }
    unsetenv("QEL_PASSWORD");

    // Nor does an operator whom no rule restricts read the passwords, though the server's logins do.
    EXPECT_EQ(ch.first("ADMIN", "SELECT count(*) FROM QELOPERADOR"), J("recusado")) << where;
    // Nor the statements of others (the copies' among them, with their allowed keys).
    EXPECT_EQ(ch.first("ADMIN", "SELECT count() FROM system.processes"), J("recusado")) << where;

    // New rows of hers show at the next call; so does branch 03, once MARIA may see it.
    for (const char* change : {"INSERT INTO FCAIXA VALUES ('02', '2026-02', 'S', 5)", "INSERT INTO FILDIMEOPER VALUES ('3', 'MARIA', '03')"}) {
        OpenClickHouse(owner)->Execute(change);
        sqlite.Sql(change);
        same("SELECT SUM(VL) FROM FCAIXA", false);
    }
    EXPECT_EQ(ch.first("MARIA", "SELECT SUM(VL) FROM FCAIXA"), J(1305)) << where;
    sqlite.Sql("DELETE FROM FILDIMEOPER WHERE CDFILDIMEOPER = '03'; DELETE FROM FCAIXA WHERE VL = 5");

    // A product renamed, its (Log) table rewritten with as many rows: her copies see the new name at
    // the next call, and the old one again when it comes back.
    for (const std::string name : {"Café Especial", "Café"}) {
        OpenClickHouse(owner)->Execute("TRUNCATE TABLE DPRODUTO");
        OpenClickHouse(owner)->Execute("INSERT INTO DPRODUTO VALUES ('P01', '" + name + "'), ('P02', 'Açúcar'), ('P03', 'Óleo'), "
                                       "('P04', 'Pão d''Ouro')");
        EXPECT_EQ(ch.first("MARIA", "SELECT NMPRODUTO FROM DPRODUTO WHERE CDPRODUTO = 'P01'"), J(name)) << where;
    }

    // Stopped, the server leaves nothing of the operators' behind in ClickHouse.
    if (::testing::Test::HasFailure()) std::cerr << onClickHouse.Log();
    EXPECT_EQ(onClickHouse.Stop(), 0);
    EXPECT_EQ(OpenClickHouse(owner)->Query("SELECT count() FROM system.databases WHERE startsWith(name, 'qel_')").rows.at(0).at(0), "0");
}

}  // namespace

TEST(ClickHouse, ARestrictedOperatorReadsOnlyTheirRowsWhateverTheSqlOnOneNodeAndOnTwoShards) {
    E2E sqlite(catalogueSql());
    for (const char* op : kOperators) sqlite.SetPassword(op, "senha");
    {
        ClickHouseServer server;
        const std::string owner = server.CreateDatabase();
        CommandResult copied = RunCommand({QEL_BIN_DIR "/qelserver", "--db", owner, "--copy-from", sqlite.Db()}, "");
        ASSERT_EQ(copied.status, 0) << copied.err << copied.out;
        expectRulesHold(sqlite, owner, server, " (one node)");
    }
    auto [first, second] = ClickHouseServer::TwoShards();
    const std::string owner = first->CreateDatabase(), other = second->CreateDatabase();
    CommandResult copied = RunCommand(
        {QEL_BIN_DIR "/qelserver", "--db", owner, "--copy-from", sqlite.Db(), "--shards", "qel_shards", "--shard", other}, "");
    ASSERT_EQ(copied.status, 0) << copied.err << copied.out;
    expectRulesHold(sqlite, owner, *first, " (two shards)");
}
