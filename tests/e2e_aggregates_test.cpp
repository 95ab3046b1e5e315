// End to end: the viewer reads a fact table's summary tables when one covers the view, and the totals
// are the fact table's to the last digit, on SQLite and on PostgreSQL (tests/aggregates.sql: 2,400
// sales with null values, a product without any value and sales without a customer). A change to the
// fact table makes the summaries stale: from then on the fact table answers, until they are rebuilt.
// So does a reload that replaces the table (dropped and created again, renamed away, restored from a
// dump) and a write the change number's trigger did not see (dropped, disabled, a replica session).
#include <gtest/gtest.h>

#include <httplib.h>

#include "data/sql_connection.hpp"
#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;

std::string view(const std::string& layout) {
    return "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas 'Qtde Grande'\n" + layout +
           "key Ctrl+F2\ndump\n";
}

struct ViewCase {
    const char* name;
    std::string script;
    const char* operatorCode;
};

// Every way a view's columns reach the statement: placed on rows, columns or pages, filtered,
// restricted by the operator's rules, and a second fact table without summaries beside one with.
const ViewCase kLayouts[] = {
    {"rows", view("dblclick trvDimensoes Produto\n"), "ADMIN"},
    {"rows by columns", view("dblclick trvDimensoes Produto\ndrag trvDimensoes Período --to trvCols\n"), "ADMIN"},
    {"a page chosen", view("dblclick trvDimensoes Cliente\ndrag trvDimensoes Filial --to trvPages\n") + "page Filial Campinas\ndump\n",
     "ADMIN"},
    {"members filtered", view("dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvCols\nanswer confirm \"'01','03'\"\n"
                              "dblclick trvCols Filial\n"),
     "ADMIN"},
    {"every dimension", view("dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\ndrag trvDimensoes Filial --to trvCols\n"
                             "drag trvDimensoes Período --to trvPages\n"),
     "ADMIN"},
    {"restricted by the operator's branches", view("dblclick trvDimensoes Produto\n"), "MARIA"},
    {"restricted by groups on branch and product", view("dblclick trvDimensoes Período\n"), "JOAO"},
    {"beside a fact table without summaries",
     "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas Faturamento\n"
     "dblclick trvDimensoes Produto\nkey Ctrl+F2\ndump\n",
     "ADMIN"},
};

struct Seen {
    J viewer;
    std::string statement;  // the statement that read FGRANDE or its summary
};

Seen run(const E2E& e, const ViewCase& l) {
    HostRun r = e.Run(l.script, {"--operator", l.operatorCode});
    EXPECT_EQ(r.status, 0) << l.name << ": " << r.err;
    if (r.states.empty()) return {};
    Seen s{r.states.back()["cube"]["viewer"], ""};
    for (const J& st : r.states)
        for (const J& q : EventsOf(st, "query")) {
            std::string sql = q["sql"];
            if (sql.find("FGRANDE F ") != std::string::npos || sql.find("QEL_AGR_FGRANDE_") != std::string::npos) s.statement = sql;
        }
    EXPECT_TRUE(EventsOf(r.states.back(), "message").empty()) << l.name << r.states.back()["events"];
    return s;
}

void buildAggregates(const E2E& e, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv{QEL_BIN_DIR "/qelserver", "--db", e.OwnerDb(), "--build-aggregates"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    CommandResult r = RunCommand(argv, "");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
}

bool readsSummary(const Seen& s) { return s.statement.find("FROM QEL_AGR_FGRANDE_") != std::string::npos; }

}  // namespace

TEST(Aggregates, EveryRouteGivesTheFactTablesTotalsAndAStaleSummaryIsNeverRead) {
    const std::string extra = ReadFile(QEL_TEST_DIR "/aggregates.sql");
    for (E2E::Engine engine : {E2E::Engine::Sqlite, E2E::Engine::Postgres}) {
        const char* on = engine == E2E::Engine::Postgres ? " (PostgreSQL)" : " (SQLite)";
        E2E e(extra, true, engine);
        std::vector<Seen> base;
        for (const ViewCase& l : kLayouts) {
            base.push_back(run(e, l));
            ASSERT_TRUE(base.back().viewer.is_object()) << l.name << on;
            EXPECT_FALSE(readsSummary(base.back())) << l.name << on << ": " << base.back().statement;
            EXPECT_FALSE(base.back().viewer["lines"].empty()) << l.name << on;
        }
        buildAggregates(e);
        for (size_t i = 0; i < std::size(kLayouts); ++i) {
            Seen s = run(e, kLayouts[i]);
            EXPECT_TRUE(readsSummary(s)) << kLayouts[i].name << on << ": " << s.statement;
            EXPECT_EQ(s.viewer["lines"], base[i].viewer["lines"]) << kLayouts[i].name << on << "\nsummary: " << s.viewer["lines"]
                                                                  << "\nfact table: " << base[i].viewer["lines"];
        }

        // One sale changes: the summaries are stale and the fact table answers with the new total.
        e.Sql("UPDATE FGRANDE SET VL = VL + 1000 WHERE CDPRODUTO = 'P01' AND QT = 3 AND VL IS NOT NULL");
        Seen changed = run(e, kLayouts[0]);
        EXPECT_FALSE(readsSummary(changed)) << on << changed.statement;
        const J& before = base[0].viewer["lines"];
        ASSERT_FALSE(before.empty());
        EXPECT_NE(changed.viewer["lines"], before) << on;
        const double grown = changed.viewer["lines"].back()["values"][0][0].get<double>() - before.back()["values"][0][0].get<double>();
        EXPECT_GT(grown, 0) << on;
        EXPECT_EQ(static_cast<long long>(grown) % 1000, 0) << on << grown;

        // Rebuilt: read again, with the change in.
        buildAggregates(e, {"--budget", "40"});
        Seen rebuilt = run(e, kLayouts[0]);
        EXPECT_TRUE(readsSummary(rebuilt)) << on << rebuilt.statement;
        EXPECT_EQ(rebuilt.viewer["lines"], changed.viewer["lines"]) << on;
    }
}

// Whatever SQL a restricted operator sends, a summary shows the rows of its fact table the rules
// allow, and one that lacks the restricted column shows none: MARIA may see branches 01 and 02.
TEST(Aggregates, ARestrictedSessionReadsOnlyAllowedRowsOfTheSummaries) {
    const std::string extra = ReadFile(QEL_TEST_DIR "/aggregates.sql") + ReadFile(QEL_DEMO_DIR "/operators_schema.sql");
    for (E2E::Engine engine : {E2E::Engine::Sqlite, E2E::Engine::Postgres}) {
        const char* on = engine == E2E::Engine::Postgres ? " (PostgreSQL)" : " (SQLite)";
        E2E e(extra, true, engine, {"--auth", "password"});
        e.SetPassword("MARIA", "senha");
        buildAggregates(e);
        const std::string server = e.Server();
        httplib::Client c(server.substr(0, server.rfind(':')), std::stoi(server.substr(server.rfind(':') + 1)));
        auto res = c.Post("/QEL00100.rdmOpcoesDW/Login", J{{"args", {"MARIA", "senha"}}}.dump(), "application/json");
        ASSERT_TRUE(res) << on;
        const std::string token = J::parse(res->body)["result"]["data"];
        auto first = [&](const std::string& sql) {
            auto a = c.Post("/QEL00100.rdmOpcoesDW/getInfo", {{"Authorization", "Bearer " + token}}, J{{"args", {sql}}}.dump(), "application/json");
            J answer = J::parse(a->body);
            EXPECT_TRUE(answer["result"]["ok"] == true) << sql << on << answer.dump();
            return answer["result"]["data"]["rows"][0][0];
        };
        const J allowed = first("SELECT SUM(QT) FROM FGRANDE");
        const std::string sql = "SELECT CDTABELAAGR, DSCOLUNAS FROM QEL_AGREGADOS";
        auto listed = c.Post("/QEL00100.rdmOpcoesDW/getInfo", {{"Authorization", "Bearer " + token}}, J{{"args", {sql}}}.dump(), "application/json");
        const J summaries = J::parse(listed->body)["result"]["data"]["rows"];
        ASSERT_GE(summaries.size(), 4u) << on << summaries;
        for (const J& s : summaries) {
            const std::string table = s[0], columns = s[1];
            const J sum = first("SELECT SUM(QT) FROM " + table);
            if (columns.find("CDFILIAL") != std::string::npos)
                EXPECT_EQ(sum, allowed) << table << " (" << columns << ")" << on;
            else
                EXPECT_TRUE(sum.is_null() || sum == "") << table << " (" << columns << ") shows " << sum << on;
        }
    }
}

// A member list that reads the fact table reads its smallest covering summary instead, with the same
// members; for a restricted operator the summary holds the restricted column too, so the server's
// rules keep her members on it. The client's database has the rules but not the warehouse, so the
// members come through the server, as the session's operator. A month sold only in branch 03 is
// ADMIN's and not MARIA's (she may see branches 01 and 02).
TEST(Aggregates, MemberListsReadACoveringSummaryWithTheSameMembers) {
    const std::string extra = ReadFile(QEL_TEST_DIR "/aggregates.sql") + ReadFile(QEL_DEMO_DIR "/operators_schema.sql") +
                              "INSERT INTO DIMENSAODIME VALUES ('12', 'Mês Grande', '', '', '', '');"
                              "INSERT INTO DIMENSAODW VALUES ('12', 'FGRANDE', 'CDPERIODO');"
                              "INSERT INTO FGRANDE VALUES ('P01', 'C01', '03', '2026-09', 1, 1);";
    TempDatabase client(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
                        ReadFile(QEL_TEST_DIR "/catalogue.sql") + ReadFile(QEL_TEST_DIR "/warehouse.sql"));
    const std::string script =
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Grande'\ndblclick trvFatos Vendas 'Qtde Grande'\n"
        "drag trvDimensoes 'Mês Grande' --to trvRows\npress trvRows 'Mês Grande'\nanswer cancel\nkey F9\ndump\n";
    struct Members {
        std::string sql;
        J rows;
    };
    setenv("QEL_PASSWORD", "senha", 1);
    for (E2E::Engine engine : {E2E::Engine::Sqlite, E2E::Engine::Postgres}) {
        const char* on = engine == E2E::Engine::Postgres ? " (PostgreSQL)" : " (SQLite)";
        E2E e(extra, true, engine, {"--auth", "password"});
        for (const char* op : {"ADMIN", "MARIA"}) e.SetPassword(op, "senha");
        auto members = [&](const char* op) {
            HostRun r = e.Run(script, {"--operator", op, "--database", client.Path()});
            EXPECT_EQ(r.status, 0) << op << on << r.err;
            Members m;
            if (r.states.empty()) return m;
            for (const J& q : EventsOf(r.states[0], "query"))
                if (q["sql"].get<std::string>().find("IDMARCADO") != std::string::npos) m.sql = q["sql"];
            const auto dialogs = EventsOf(r.states[0], "dialog");
            EXPECT_EQ(dialogs.size(), 1u) << op << on << r.states[0]["events"];
            if (!dialogs.empty()) m.rows = dialogs[0]["rows"];
            return m;
        };
        J months;
        for (int i = 1; i <= 6; ++i) months.push_back({" ", "2026-0" + std::to_string(i)});
        J withSeptember = months;
        withSeptember.push_back({" ", "2026-09"});
        const Members admin = members("ADMIN"), maria = members("MARIA");
        EXPECT_EQ(admin.sql, "Select DISTINCT ' ' as IDMARCADO, A.CDPERIODO from FGRANDE A Order by A.CDPERIODO") << on;
        EXPECT_EQ(admin.rows, withSeptember) << on;
        EXPECT_EQ(maria.rows, months) << on;

        buildAggregates(e);
        for (const auto& [op, before] : {std::pair{"ADMIN", admin}, std::pair{"MARIA", maria}}) {
            const Members after = members(op);
            EXPECT_NE(after.sql.find(" from QEL_AGR_FGRANDE_"), std::string::npos) << op << on << ": " << after.sql;
            EXPECT_NE(after.sql.find(" A Order by A.CDPERIODO"), std::string::npos) << op << on << ": " << after.sql;
            EXPECT_EQ(after.rows, before.rows) << op << on << "\nsummary: " << after.rows << "\nfact table: " << before.rows;
        }
    }
    unsetenv("QEL_PASSWORD");
}

namespace {

// Word for word as tests/aggregates.sql creates it: SQLite keeps the same text, and gives the new
// table the old one's root page again.
const char* const kFactTable =
    "CREATE TABLE FGRANDE (CDPRODUTO VARCHAR(10), CDCLIENTE VARCHAR(10), CDFILIAL VARCHAR(10), CDPERIODO VARCHAR(10),\n"
    "                      VL NUMERIC(12, 2), QT INTEGER)";
const char* const kCopyGrown =
    "SELECT CDPRODUTO, CDCLIENTE, CDFILIAL, CDPERIODO, CASE WHEN CDPRODUTO = 'P01' AND VL IS NOT NULL THEN VL + 1000 ELSE VL END, QT FROM ";
const char* const kGrow = "UPDATE FGRANDE SET VL = VL + 1000 WHERE CDPRODUTO = 'P01' AND VL IS NOT NULL";

const std::string kBump = " ON FGRANDE BEGIN UPDATE QEL_VERSAODW SET NRVERSAO = NRVERSAO + 1 WHERE CDTABELADW = 'FGRANDE'; END;";
const std::string kSqliteTriggers = "CREATE TRIGGER QEL_VERSAO_FGRANDE_I AFTER INSERT" + kBump + "CREATE TRIGGER QEL_VERSAO_FGRANDE_U AFTER UPDATE" +
                                    kBump + "CREATE TRIGGER QEL_VERSAO_FGRANDE_D AFTER DELETE" + kBump;
const char* const kPostgresTrigger =
    "CREATE TRIGGER qel_versao AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON FGRANDE FOR EACH STATEMENT EXECUTE PROCEDURE "
    "qel_versao_avancar(); ALTER TABLE FGRANDE ENABLE ALWAYS TRIGGER qel_versao";

// A change after the build that the summaries must not hide, as run by the table's owner; a case
// without a statement for an engine does not apply to it. On PostgreSQL a new table needs the
// reading role's grant again.
struct Reload {
    const char* name;
    std::string sqlite, postgres;
};

const Reload kReloads[] = {
    {"dropped and created again with other values",
     std::string("CREATE TABLE QEL_COPIA AS SELECT * FROM FGRANDE; DROP TABLE FGRANDE; ") + kFactTable + "; INSERT INTO FGRANDE " +
         kCopyGrown + "QEL_COPIA; DROP TABLE QEL_COPIA",
     std::string("CREATE TABLE QEL_COPIA AS SELECT * FROM FGRANDE; DROP TABLE FGRANDE; ") + kFactTable + "; INSERT INTO FGRANDE " +
         kCopyGrown + "QEL_COPIA; DROP TABLE QEL_COPIA; GRANT SELECT ON FGRANDE TO qel_leitor"},
    {"renamed away and replaced by another",
     std::string("ALTER TABLE FGRANDE RENAME TO FANTIGA; ") + kFactTable + "; INSERT INTO FGRANDE " + kCopyGrown + "FANTIGA",
     std::string("ALTER TABLE FGRANDE RENAME TO FANTIGA; ") + kFactTable + "; INSERT INTO FGRANDE " + kCopyGrown +
         "FANTIGA; GRANT SELECT ON FGRANDE TO qel_leitor"},
    // As a dump restores a table: its rows go in before its triggers are made again.
    {"restored from a dump, its triggers made again after its rows",
     std::string("CREATE TABLE QEL_COPIA AS SELECT * FROM FGRANDE; DROP TABLE FGRANDE; ") + kFactTable + "; INSERT INTO FGRANDE " +
         kCopyGrown + "QEL_COPIA; DROP TABLE QEL_COPIA; " + kSqliteTriggers,
     std::string("CREATE TABLE QEL_COPIA AS SELECT * FROM FGRANDE; DROP TABLE FGRANDE; ") + kFactTable + "; INSERT INTO FGRANDE " +
         kCopyGrown + "QEL_COPIA; DROP TABLE QEL_COPIA; GRANT SELECT ON FGRANDE TO qel_leitor; " + kPostgresTrigger},
    // SQLite's own switch (enable_trigger off) leaves no mark short of reading the table (README).
    {"written in a replica session, where ordinary triggers do not fire", "",
     std::string("SET session_replication_role = replica; ") + kGrow + "; RESET session_replication_role"},
    {"written after the change number's trigger was dropped",
     std::string("DROP TRIGGER QEL_VERSAO_FGRANDE_U; ") + kGrow,
     std::string("DROP TRIGGER qel_versao ON FGRANDE; ") + kGrow},
    {"written with the change number's trigger disabled", "",
     std::string("ALTER TABLE FGRANDE DISABLE TRIGGER qel_versao; ") + kGrow},
    {"rows deleted", "DELETE FROM FGRANDE WHERE CDPRODUTO = 'P01'", "DELETE FROM FGRANDE WHERE CDPRODUTO = 'P01'"},
};

double total(const Seen& s) {
    if (!s.viewer.is_object() || s.viewer["lines"].empty()) return -1;
    return s.viewer["lines"].back()["values"][0][0].get<double>();
}

}  // namespace

// A fact table reloaded, or written past its change number, after the summaries were built: the
// next view reads the fact table and shows its new totals.
TEST(Aggregates, ASummaryOfAReloadedOrUnseenWrittenFactTableIsNeverRead) {
    const std::string extra = ReadFile(QEL_TEST_DIR "/aggregates.sql");
    for (E2E::Engine engine : {E2E::Engine::Sqlite, E2E::Engine::Postgres}) {
        const bool pg = engine == E2E::Engine::Postgres;
        for (const Reload& reload : kReloads) {
            const std::string& change = pg ? reload.postgres : reload.sqlite;
            if (change.empty()) continue;
            const std::string on = std::string(reload.name) + (pg ? " (PostgreSQL)" : " (SQLite)");
            E2E e(extra, true, engine);
            buildAggregates(e);
            const Seen before = run(e, kLayouts[0]);
            ASSERT_TRUE(readsSummary(before)) << on << ": " << before.statement;
            e.Sql(change);
            const std::string sum = OpenSqlConnection(e.OwnerDb())->Query("SELECT SUM(VL) FROM FGRANDE").rows.at(0).at(0);
            const Seen after = run(e, kLayouts[0]);
            EXPECT_FALSE(readsSummary(after)) << on << ": " << after.statement;
            EXPECT_NE(total(after), total(before)) << on;
            EXPECT_DOUBLE_EQ(total(after), std::stod(sum)) << on << "\n" << after.viewer["lines"];
        }
    }
}
