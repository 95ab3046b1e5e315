// End to end on PostgreSQL: the application server and the client's database on a real PostgreSQL
// server, with the same scenarios and figures as on SQLite. The test catalogue and warehouse are the
// same SQL files; PostgreSQL folds their unquoted names to lower case.
#include <gtest/gtest.h>

#include <cctype>
#include <httplib.h>

#include "support/e2e.hpp"
#include "data/sql_connection.hpp"
#include "support/postgres.hpp"
#include "support/server_call.hpp"

namespace {

using J = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

constexpr auto kPg = E2E::Engine::Postgres;

std::vector<std::string> lower(const J& names) {
    std::vector<std::string> out;
    for (auto& n : names) {
        std::string s = n.get<std::string>();
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.push_back(s);
    }
    return out;
}

J line(const std::string& kind, std::vector<std::string> labels, J values) {
    return {{"kind", kind}, {"labels", labels}, {"values", values}};
}

J call(const std::string& server, const std::string& method, const J& args) { return CallServer(server, method, args); }

}  // namespace

TEST(Postgres, TheCatalogueLoadsAndMemberListsFollowTheAccessRules) {
    E2E e("", true, kPg);
    HostRun r = e.Run(
        "open\ndump\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
        "drag trvDimensoes Filial --to trvRows\npress trvRows Filial\nanswer confirm \"'02'\"\nkey F9\ndump\n",
        {"--operator", "MARIA"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["trees"]["trvFatos"][0]["children"][2]["text"], "Devoluções");  // rows in insertion order
    EXPECT_EQ(Marks(r.states[1], "trvDimensoes"), (std::vector<std::string>{"Cliente:1", "Filial:1", "Período:1", "Produto:1"}));
    auto dialogs = EventsOf(r.states[1], "dialog");
    ASSERT_EQ(dialogs.size(), 1u) << r.states[1]["events"];
    // Field names come back in lower case; the screen finds them without regard to case.
    EXPECT_EQ(lower(dialogs[0]["columns"]), (std::vector<std::string>{"idmarcado", "cdfilial", "nmfilial"}));
    EXPECT_EQ(dialogs[0]["labels"][1], "Código");
    EXPECT_EQ(dialogs[0]["labels"][2], "Filial");
    EXPECT_EQ(dialogs[0]["rows"], (Rows{{" ", "02", "Campinas"}, {" ", "01", "São Paulo"}}));
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows: Filial* | cols:  | facts: Faturamento | filters: Filial='02'");

    // JOAO through his groups; the fact-table form; a name with an apostrophe.
    r = e.Run(
        "open\npress trvFatos Finanças\ndblclick trvFatos Finanças \"Caixa d'Água\"\n"
        "drag trvDimensoes Filial --to trvRows\ndrag trvDimensoes Período --to trvRows\n"
        "drag trvDimensoes \"Região d'Oeste\" --to trvCols\n"
        "press trvRows Filial\nanswer cancel\nkey F9\npress trvRows Período\nanswer cancel\nkey F9\n"
        "press trvCols \"Região d'Oeste\"\nanswer confirm \"'S'\"\nkey F9\ndump\n",
        {"--operator", "JOAO"});
    ASSERT_EQ(r.status, 0) << r.err;
    dialogs = EventsOf(r.states[0], "dialog");
    ASSERT_EQ(dialogs.size(), 3u) << r.states[0]["events"];
    EXPECT_EQ(dialogs[0]["rows"], (Rows{{" ", "04", "Curitiba"}, {" ", "03", "Porto Alegre"}}));
    // Período has no table of its own: its members come from the fact table, whose rows the database's
    // policies restrict to JOAO's branches (03), so only the period his data holds is listed.
    EXPECT_EQ(dialogs[1]["rows"], (Rows{{" ", "2026-03"}}));
    EXPECT_EQ(dialogs[2]["rows"], (Rows{{" ", "N", "Norte"}, {" ", "S", "Sul"}}));
    EXPECT_TRUE(EventsOf(r.states[0], "message").empty()) << r.states[0]["events"];
    EXPECT_EQ(r.states[0]["filters"]["stlDSfiltro"], J({"Região d'Oeste"}));
}

TEST(Postgres, TheServerReadsTheMembersWhenTheClientDatabaseCannot) {
    E2E e("", true, kPg);
    std::string client = SharedPostgres().ReaderUri(SharedPostgres().CreateDatabase(ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql")));
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndrag trvDimensoes Produto --to trvRows\n"
        "press trvRows Produto\nanswer confirm \"'P01'\"\nkey F9\ndump\n",
        {"--database", client});
    ASSERT_EQ(r.status, 0) << r.err;
    auto calls = EventsOf(r.states[0], "call");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back()["method"], "getInfo");
    auto dialogs = EventsOf(r.states[0], "dialog");
    ASSERT_EQ(dialogs.size(), 1u) << r.states[0]["events"];
    EXPECT_EQ(dialogs[0]["rows"], (Rows{{" ", "P02", "Açúcar"}, {" ", "P01", "Café"}, {" ", "P04", "Pão d'Ouro"}, {" ", "P03", "Óleo"}}));
}

TEST(Postgres, TheCubeViewerComputesTheSameTotals) {
    E2E e("", true, kPg);
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Devoluções\n"
        "dblclick trvDimensoes Produto\ndrag trvDimensoes Cliente --to trvCols\n"
        "answer confirm \"'C''03','C01','C02'\"\ndblclick trvCols Cliente\nkey Ctrl+F2\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    J v = r.states[0]["cube"]["viewer"];
    ASSERT_TRUE(v.is_object()) << r.states[0]["events"];
    EXPECT_EQ(v["columnKeys"], J::array({{"Empório d'Ávila"}, {"Mercado"}, {"Padaria"}}));
    EXPECT_EQ(v["lines"], J::array({line("detail", {"Café"}, {{50, nullptr}, {100, 10}, {nullptr, nullptr}, {150, 10}}),
                                    line("detail", {"Açúcar"}, {{nullptr, nullptr}, {nullptr, nullptr}, {200, nullptr}, {200, nullptr}}),
                                    line("detail", {"Óleo"}, {{nullptr, nullptr}, {nullptr, nullptr}, {nullptr, 7}, {nullptr, 7}}),
                                    line("total", {}, {{50, nullptr}, {100, 10}, {200, 7}, {350, 17}})}));
    EXPECT_TRUE(EventsOf(r.states[0], "message").empty()) << r.states[0]["events"];
}

// The demo warehouse is too small for any summary to pay: the build still succeeds (as
// scripts/load_postgres.sh runs it), builds none, and leaves the change number's trigger on every
// fact table, firing always.
TEST(Postgres, BuildingSummariesOnTheDemoWarehouseSucceedsWithNoneToBuild) {
    const std::string owner = SharedPostgres().CreateDatabase(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") +
                                                              ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
                                                              ReadFile(QEL_DEMO_DIR "/operators_schema.sql") +
                                                              ReadFile(QEL_DEMO_DIR "/warehouse.sql"));
    SharedPostgres().ReaderUri(owner);  // the reading role and the row policies, as the script installs them
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", owner, "--build-aggregates"}, "");
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    auto db = OpenSqlConnection(owner);
    auto first = [&](const std::string& sql) -> std::string { return db->Query(sql).rows.at(0).at(0); };
    EXPECT_EQ(first("SELECT count(*) FROM qel_agregados"), "0");
    const std::string facts = first("SELECT count(DISTINCT lower(cdtabeladw)) FROM itemdw");
    EXPECT_EQ(first("SELECT count(*) FROM pg_trigger WHERE tgname = 'qel_versao' AND tgenabled = 'A'"), facts);
    EXPECT_NE(facts, "0");
}

TEST(Postgres, GetInfoRunsOneReadOnlySelectWithinItsLimits) {
    std::string uri = SharedPostgres().CreateDatabase(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"));
    ServerProcess server(SharedPostgres().ReaderUri(uri), {"--statement-timeout", "1", "--max-rows", "100"});
    auto ok = call(server.Address(), "getInfo", {"SELECT NMAREANEGDW, 42 AS N, 1.5 AS X FROM AREANEGDW WHERE CDAREANEGDW = '03'"});
    ASSERT_TRUE(ok["result"]["ok"]) << ok.dump();
    EXPECT_EQ(ok["result"]["data"]["rows"], J::array({{"Finanças", 42, 1.5}}));  // numbers as numbers
    EXPECT_EQ(ok["result"]["data"]["fields"][1]["type"], "number");
    EXPECT_EQ(ok["result"]["data"]["fields"][0]["name"], "nmareanegdw");

    struct Refused {
        const char* sql;
        const char* part;  // of the message
    };
    const Refused refused[] = {
        {"DELETE FROM AREANEGDW", "SELECT"},
        {"SELECT 1; DELETE FROM AREANEGDW", "multiple commands"},
        {"WITH d AS (DELETE FROM AREANEGDW RETURNING 1) SELECT count(*) FROM d", "read-only"},
        {"SELECT pg_sleep(5)", "tempo limite"},
        {"SELECT generate_series(1, 1000)", "mais de 100 linhas"},
    };
    for (const Refused& c : refused) {
        auto a = call(server.Address(), "getInfo", {c.sql});
        EXPECT_FALSE(a["result"]["ok"]) << c.sql;
        EXPECT_NE(a["result"]["error"].get<std::string>().find(c.part), std::string::npos) << c.sql << ": " << a.dump();
    }
    auto after = call(server.Address(), "getInfo", {"SELECT count(*) FROM AREANEGDW"});
    EXPECT_EQ(after["result"]["data"]["rows"][0][0], 3);  // nothing was deleted

    // The catalogue cache follows changes on PostgreSQL too.
    auto first = call(server.Address(), "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"});
    OpenSqlConnection(uri)->Execute("UPDATE AREANEGDW SET NMAREANEGDW = 'Vendas Sul' WHERE CDAREANEGDW = '01'");
    auto second = call(server.Address(), "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"});
    EXPECT_EQ(first["args"][1]["rows"][0][0], "Vendas");
    // An updated row is a new row version on PostgreSQL: it comes after the others.
    EXPECT_EQ(second["args"][1]["rows"], J::array({{"Estoque", "02"}, {"Finanças", "03"}, {"Vendas Sul", "01"}}));
}

TEST(Postgres, ADatabaseThatGoesAwayIsAClearFailureAndTheServerRecovers) {
    PostgresServer own;
    std::string uri = own.CreateDatabase(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"));
    ServerProcess server(own.ReaderUri(uri), {"--pool", "2"});
    const J areas = {"SELECT count(*) FROM AREANEGDW"};
    EXPECT_TRUE(call(server.Address(), "getInfo", areas)["result"]["ok"]);
    own.Stop();
    auto gone = call(server.Address(), "getInfo", areas);
    EXPECT_FALSE(gone["result"]["ok"]);
    EXPECT_FALSE(gone["result"]["error"].get<std::string>().empty());
    EXPECT_EQ(gone.dump().find("postgresql://"), std::string::npos) << gone.dump();
    own.Start();
    for (int i = 0; i < 3; ++i) {  // every pooled connection is opened again
        auto back = call(server.Address(), "getInfo", areas);
        EXPECT_TRUE(back["result"]["ok"]) << back.dump();
    }
}

TEST(Postgres, TwoServersOnOneDatabaseServeTheSameSessionInTurn) {
    E2E e("", true, kPg);
    ServerProcess second(e.Db());
    E2E::Session s(e);
    s.Send("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento");
    J before = s.Dump();
    s.Send("server " + second.Address() + "\nkey F5");  // the screen connects to the other server
    J after = s.Dump();
    auto calls = EventsOf(after, "call");
    ASSERT_EQ(calls.size(), 1u);
    auto texts = [](const J& state) {
        std::vector<std::string> out;
        for (auto& area : state["trees"]["trvFatos"])
            for (auto& fact : area["children"]) out.push_back(area["text"].get<std::string>() + "/" + fact["text"].get<std::string>());
        return out;
    };
    EXPECT_EQ(texts(after), texts(before));  // the same catalogue, from the other server
    EXPECT_EQ(Zone(after, "trvFacts"), "Faturamento");
    EXPECT_TRUE(EventsOf(after, "message").empty()) << after["events"];
    EXPECT_EQ(s.Close(), 0);
}
