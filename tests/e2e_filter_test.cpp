// End to end: the member filter of a dimension. The exact statements the screen runs (own table under
// the operator's access rules, or the fact tables of the view), where the members come from (the
// client's database, else the application server), the dialog, and the selections it stores.
#include <gtest/gtest.h>

#include <chrono>

#include "support/e2e.hpp"

namespace {

using Strings = std::vector<std::string>;
using Rows = std::vector<Strings>;

nlohmann::json query(const std::string& sql, nlohmann::json params = nlohmann::json::object()) {
    return {{"kind", "query"}, {"sql", sql}, {"params", params}};
}

nlohmann::json animation(bool on) { return {{"kind", "animation"}, {"on", on}, {"text", "Recebendo dados do Servidor"}}; }

const std::string kTpAces = "SELECT CDOPERADOR\nFROM  DIMEODWOPER\nWHERE  CDOPERADOR = :P_CDOPERADOR";
const std::string kFilDimeOper =
    "SELECT COUNT(*) AS CONTA\nFROM  FILDIMEOPER\nWHERE  NRSEQUEDIME = :P_NRSEQUEDIME\n  AND  CDOPERADOR  = :P_CDOPERADOR\n \n ";
const std::string kFilDimeGrupOp =
    "SELECT COUNT(*) AS CONTA\nFROM   FILDIMEGRUPOP\nWHERE  NRSEQUEDIME = :P_NRSEQUEDIME\n  AND  CDGRUPOPER IN (SELECT CDGRUPOPER\n"
    "                      FROM   OPERGRUPOP\n                      WHERE CDOPERADOR = :P_CDOPERADOR)\n ";

nlohmann::json access(const std::string& op, const std::string& seq, bool perOperator) {
    return nlohmann::json::array({query(kTpAces, {{"P_CDOPERADOR", op}}),
                                  query(perOperator ? kFilDimeOper : kFilDimeGrupOp, {{"P_CDOPERADOR", op}, {"P_NRSEQUEDIME", seq}})});
}

// The events of one filter command that reads its members locally and is answered with `answer`.
nlohmann::json localEvents(nlohmann::json accessQueries, const std::string& sql, nlohmann::json dialog) {
    nlohmann::json events = std::move(accessQueries);
    events.push_back(animation(true));
    events.push_back(query(sql));
    events.push_back(animation(false));
    events.push_back(std::move(dialog));
    return events;
}

nlohmann::json dialog(const std::string& caption, const std::string& key, Strings columns, Strings labels, Rows rows,
                      const std::string& given, const std::string& answer, const std::string& result) {
    return {{"kind", "dialog"}, {"caption", caption}, {"keyField", key},    {"columns", columns}, {"labels", labels},
            {"rows", rows},     {"given", given},     {"answer", answer}, {"result", result}};
}

const std::string kProdutos = "Select DISTINCT ' ' as IDMARCADO, CDPRODUTO, NMPRODUTO from DPRODUTO";
// In the database's own order by description (bytes: "Ó" after "P").
const Rows kAllProducts{{" ", "P02", "Açúcar"}, {" ", "P01", "Café"}, {" ", "P04", "Pão d'Ouro"}, {" ", "P03", "Óleo"}};
const Strings kProductColumns{"IDMARCADO", "CDPRODUTO", "NMPRODUTO"};
const Strings kProductLabels{"IDMARCADO", "Código", "Produto"};

// Faturamento in the view, and a dimension dragged into the rows zone, pressed there and filtered with F9.
std::string filterScript(const std::string& dimension, const std::string& answer) {
    return "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndrag trvDimensoes '" + dimension +
           "' --to trvRows\npress trvRows '" + dimension + "'\n" + answer + "\nkey F9\ndump\n";
}

}  // namespace

TEST(MemberFilter, OwnTableStatementsUnderEachAccessRule) {
    E2E e("INSERT INTO OPERGRUPOP VALUES ('MARIA', 'SUL');"  // MARIA's per-operator rule outranks her group
          "INSERT INTO DIMENSAODIME VALUES ('8','Centro','DCENTRO','CDCENTRO','CDCENTRO','');"
          "INSERT INTO DIMENSAODW VALUES ('8','FVENDA','CDCENTRO');"
          "CREATE TABLE DCENTRO (CDCENTRO VARCHAR(10)); INSERT INTO DCENTRO VALUES ('CC2'), ('CC1');");
    struct Case {
        const char* name;
        std::string op, dimension, seq;
        bool perOperator;
        std::string sql;
        nlohmann::json dialog;
    };
    const Rows filiais{{" ", "02", "Campinas"}, {" ", "01", "São Paulo"}};
    const Case cases[] = {
        {"no rule for ADMIN", "ADMIN", "Produto", "1", false, kProdutos + " Order by NMPRODUTO",
         dialog("Produto", "CDPRODUTO", kProductColumns, kProductLabels, kAllProducts, "", "confirm", "'P01'")},
        {"key column equal to the description", "ADMIN", "Centro", "8", false,
         "Select DISTINCT ' ' as IDMARCADO, CDCENTRO from DCENTRO Order by CDCENTRO",
         dialog("Centro", "CDCENTRO", {"IDMARCADO", "CDCENTRO"}, {"IDMARCADO", "Centro"}, {{" ", "CC1"}, {" ", "CC2"}}, "", "confirm",
                "'P01'")},
        {"the operator's own allow-list", "MARIA", "Filial", "3", true,
         "Select DISTINCT ' ' as IDMARCADO, CDFILIAL, NMFILIAL from DFILIAL WHERE CDFILIAL in (SELECT CDFILDIMEOPER FROM "
         "FILDIMEOPER WHERE NRSEQUEDIME = '3' AND CDOPERADOR = 'MARIA') Order by NMFILIAL",
         dialog("Filial", "CDFILIAL", {"IDMARCADO", "CDFILIAL", "NMFILIAL"}, {"IDMARCADO", "Código", "Filial"}, filiais, "", "confirm",
                "'P01'")},
        {"listed operator without a row for the dimension: no restriction, groups ignored", "MARIA", "Produto", "1", true,
         kProdutos + " Order by NMPRODUTO",
         dialog("Produto", "CDPRODUTO", kProductColumns, kProductLabels, kAllProducts, "", "confirm", "'P01'")},
        {"the allow-lists of both of JOAO's groups", "JOAO", "Filial", "3", false,
         "Select DISTINCT ' ' as IDMARCADO, CDFILIAL, NMFILIAL from DFILIAL WHERE CDFILIAL in (SELECT CDFILDIMEGRUPOP FROM "
         "FILDIMEGRUPOP WHERE NRSEQUEDIME = '3' AND CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = "
         "'JOAO')) Order by NMFILIAL",
         dialog("Filial", "CDFILIAL", {"IDMARCADO", "CDFILIAL", "NMFILIAL"}, {"IDMARCADO", "Código", "Filial"},
                {{" ", "04", "Curitiba"}, {" ", "03", "Porto Alegre"}}, "", "confirm", "'P01'")},
        {"no group of JOAO has rows for the dimension", "JOAO", "Cliente", "2", false,
         "Select DISTINCT ' ' as IDMARCADO, CDCLIENTE, NMCLIENTE from DCLIENTE Order by NMCLIENTE",
         dialog("Cliente", "CDCLIENTE", {"IDMARCADO", "CDCLIENTE", "NMCLIENTE"}, {"IDMARCADO", "Código", "Cliente"},
                {{" ", "C'03", "Empório d'Ávila"}, {" ", "C01", "Mercado"}, {" ", "C02", "Padaria"}}, "", "confirm", "'P01'")},
    };
    for (const Case& c : cases) {
        HostRun r = e.Run(filterScript(c.dimension, "answer confirm \"'P01'\""), {"--operator", c.op});
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        const nlohmann::json& st = r.states[0];
        auto filterEvents = nlohmann::json::array();
        bool after = false;  // the events after the loads of the transfers
        for (auto& ev : st["events"]) {
            if (ev["kind"] == "query" && ev["sql"] == kTpAces) after = true;
            if (after) filterEvents.push_back(ev);
        }
        EXPECT_EQ(filterEvents, localEvents(access(c.op, c.seq, c.perOperator), c.sql, c.dialog)) << c.name;
        EXPECT_EQ(Zone(st, "trvRows"), c.dimension + "*") << c.name;
    }
}

TEST(MemberFilter, FactTableStatementsReadEachFactTableOnce) {
    // Item lives in the fact tables only; Estoque Atual's table names it CDITEM.
    E2E e("INSERT INTO DIMENSAODIME VALUES ('9','Item','','','','');"
          "INSERT INTO ITEMDW VALUES ('ESTOQ','QT','Estoque Atual','01','','Q','');"
          "INSERT INTO DIMENSAODW VALUES ('9','FVENDA','CDPRODUTO'), ('9','ESTOQ','CDITEM'), ('9','FDEVOL','CDPRODUTO');"
          "CREATE TABLE ESTOQ (CDITEM, QT); INSERT INTO ESTOQ VALUES ('P09', 2), ('P01', 1);");
    struct Case {
        const char* name;
        Strings facts;
        std::string sql;
        Rows rows;
    };
    const Case cases[] = {
        {"one fact", {"Faturamento"}, "Select DISTINCT ' ' as IDMARCADO, A.CDPRODUTO from FVENDA A Order by A.CDPRODUTO",
         {{" ", "P01"}, {" ", "P02"}}},
        {"two facts: the base table sorts first, whatever its letter", {"Faturamento", "Estoque Atual"},
         "Select DISTINCT ' ' as IDMARCADO, B.CDITEM from ESTOQ B Where B.CDITEM IN (SELECT A.CDPRODUTO FROM FVENDA A) Order by B.CDITEM",
         {{" ", "P01"}}},
        {"three facts", {"Faturamento", "Estoque Atual", "Devoluções"},
         "Select DISTINCT ' ' as IDMARCADO, B.CDITEM from ESTOQ B Where B.CDITEM IN (SELECT C.CDPRODUTO FROM FDEVOL C) AND "
         "B.CDITEM IN (SELECT A.CDPRODUTO FROM FVENDA A) Order by B.CDITEM",
         {{" ", "P01"}}},
        {"two facts of one table: the table is read once", {"Faturamento", "Quantidade"},
         "Select DISTINCT ' ' as IDMARCADO, A.CDPRODUTO from FVENDA A Order by A.CDPRODUTO",
         {{" ", "P01"}, {" ", "P02"}}},
        {"three facts, two of one table", {"Quantidade", "Estoque Atual", "Faturamento"},
         "Select DISTINCT ' ' as IDMARCADO, B.CDITEM from ESTOQ B Where B.CDITEM IN (SELECT A.CDPRODUTO FROM FVENDA A) Order by B.CDITEM",
         {{" ", "P01"}}},
    };
    for (const Case& c : cases) {
        std::string script = "open\npress trvFatos Vendas\n";
        for (auto& f : c.facts) script += "dblclick trvFatos Vendas '" + f + "'\n";
        script += "drag trvDimensoes Item --to trvCols\npress trvCols Item\nanswer cancel\nkey F9\ndump\n";
        HostRun r = e.Run(script);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        nlohmann::json events = r.states[0]["events"];
        auto tail = nlohmann::json::array();
        for (size_t i = events.size() - 4; i < events.size(); ++i) tail.push_back(events[i]);
        std::string key = c.sql.substr(std::string("Select DISTINCT ' ' as IDMARCADO, A.").size(),
                                       c.sql.find(" from") - std::string("Select DISTINCT ' ' as IDMARCADO, A.").size());
        EXPECT_EQ(tail, localEvents(nlohmann::json::array(), c.sql,
                                    dialog("Item", key, {"IDMARCADO", key}, {"IDMARCADO", "Item"}, c.rows, "", "cancel", "")))
            << c.name;
        EXPECT_EQ(Zone(r.states[0], "trvCols"), "Item") << c.name;  // cancelled: no mark
    }

    // Without facts in the view the dimension cannot be filtered.
    HostRun r = e.Run("open\npress trvFatos Vendas\ndrag trvDimensoes Item --to trvRows\npress trvRows Item\ndump\nkey F9\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[1]["events"],
              nlohmann::json::array({Message("error", "Não é possivel filtrar esta dimensão antes de incluir fatos na visão do DW")}));
    EXPECT_EQ(Layout(r.states[1]), Layout(r.states[0]));
}

TEST(MemberFilter, TheServerReadsTheMembersWhenTheClientDatabaseCannot) {
    E2E e("INSERT INTO DIMENSAODIME VALUES ('8','Canal','DCANAL','CDCANAL','NMCANAL','');"
          "INSERT INTO DIMENSAODW VALUES ('8','FVENDA','CDCANAL');");
    // The client's database holds the access rules but no dimension tables.
    TempDatabase client(ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql"));
    HostRun r = e.Run(filterScript("Produto", "answer confirm \"'P02'\""), {"--database", client.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    nlohmann::json expected = access("ADMIN", "1", false);
    const std::string sql = kProdutos + " Order by NMPRODUTO";
    for (auto ev : {animation(true), query(sql),
                    nlohmann::json{{"kind", "call"}, {"method", "getInfo"}, {"args", {sql}}}, animation(false),
                    dialog("Produto", "CDPRODUTO", kProductColumns, kProductLabels, kAllProducts, "", "confirm", "'P02'")})
        expected.push_back(ev);
    nlohmann::json events = r.states[0]["events"];
    EXPECT_EQ(nlohmann::json(std::vector<nlohmann::json>(events.end() - 7, events.end())), expected);
    EXPECT_EQ(Layout(r.states[0]), "pages:  | rows: Produto* | cols:  | facts: Faturamento | filters: Produto='P02'");

    // Neither has the table: one error, nothing stored, no animation left on.
    r = e.Run(filterScript("Canal", "") + "key F9\ndump\n", {"--database", client.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto messages = EventsOf(r.states[0], "message");
    ASSERT_EQ(messages.size(), 1u) << r.states[0]["events"];
    EXPECT_EQ(messages[0]["type"], "error");
    EXPECT_NE(messages[0]["text"].get<std::string>().find("DCANAL"), std::string::npos) << messages[0];
    EXPECT_EQ(r.states[0]["events"].back(), messages[0]);
    EXPECT_EQ(EventsOf(r.states[0], "animation").back(), animation(false));
    EXPECT_TRUE(EventsOf(r.states[0], "dialog").empty());
    EXPECT_EQ(Layout(r.states[0]), "pages:  | rows: Canal | cols:  | facts: Faturamento | filters: ");
    EXPECT_EQ(Layout(r.states[1]), Layout(r.states[0]));
}

TEST(MemberFilter, SelectionsAreHandedBackReplacedAtTheEndRemovedAndKeptOnCancel) {
    E2E e;
    E2E::Session s(e);
    s.Send("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
           "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Filial --to trvCols\n"
           "answer confirm \"'P01','P04'\"\ndblclick trvRows Produto\n"
           "answer confirm \"'01'\"\npress trvCols Filial\nkey F9\n"
           "answer confirm \"'P02'\"\npopup trvRows Produto\nchoose Filtrar\n");
    nlohmann::json st = s.Dump();
    // Filtering Produto, Filial, then Produto again: Produto's new selection moves to the end.
    EXPECT_EQ(Layout(st), "pages:  | rows: Produto* | cols: Filial* | facts: Faturamento | filters: Filial='01' Produto='P02'");
    auto dialogs = EventsOf(st, "dialog");
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[0]["given"], "");
    EXPECT_EQ(dialogs[2]["given"], "'P01','P04'");  // the stored selection is handed back

    s.Send("answer cancel\npress trvCols Filial\nkey F9");
    st = s.Dump();
    EXPECT_EQ(Layout(st), "pages:  | rows: Produto* | cols: Filial* | facts: Faturamento | filters: Filial='01' Produto='P02'");
    EXPECT_EQ(EventsOf(st, "dialog")[0]["given"], "'01'");

    s.Send("answer confirm ''\ndblclick trvRows Produto");  // confirmed with nothing marked
    EXPECT_EQ(Layout(s.Dump()), "pages:  | rows: Produto | cols: Filial* | facts: Faturamento | filters: Filial='01'");
    s.Send("answer confirm \"'P03'\"\ndblclick trvRows");  // empty space: the selected node
    EXPECT_EQ(Layout(s.Dump()), "pages:  | rows: Produto* | cols: Filial* | facts: Faturamento | filters: Filial='01' Produto='P03'");
    s.Send("press trvFacts Faturamento\nkey F9");  // the facts zone has no filter
    EXPECT_TRUE(EventsOf(s.Dump(), "dialog").empty());
    EXPECT_EQ(s.Close(), 0);
}

TEST(MemberFilter, QuotesInNamesCodesAndOperatorsAreSafeAndBadCatalogueNamesRunNothing) {
    E2E e("INSERT INTO OPERGRUPOP VALUES ('D''ÁVILA', 'SUL');"
          "INSERT INTO DIMENSAODIME VALUES ('8','Canal','DCANAL; DROP TABLE DPRODUTO','CDCANAL','NMCANAL','');"
          "INSERT INTO DIMENSAODW VALUES ('8','FCAIXA','CDCANAL');");
    HostRun r = e.Run(
        "open\npress trvFatos Finanças\ndblclick trvFatos Finanças \"Caixa d'Água\"\n"
        "drag trvDimensoes \"Região d'Oeste\" --to trvRows\ndrag trvDimensoes Filial --to trvRows\n"
        "drag trvDimensoes Canal --to trvRows\ndump\n"
        "answer confirm \"'S'\"\ndblclick trvRows \"Região d'Oeste\"\n"
        "answer confirm \"'C''03'\"\ndblclick trvRows Filial\ndump\n"
        "dblclick trvRows Canal\ndump\n",
        {"--operator", "D'ÁVILA"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json& st = r.states[1];
    auto queries = EventsOf(st, "query");
    ASSERT_FALSE(queries.empty());
    EXPECT_EQ(queries.back()["sql"],
              "Select DISTINCT ' ' as IDMARCADO, CDFILIAL, NMFILIAL from DFILIAL WHERE CDFILIAL in (SELECT CDFILDIMEGRUPOP FROM "
              "FILDIMEGRUPOP WHERE NRSEQUEDIME = '3' AND CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = "
              "'D''ÁVILA')) Order by NMFILIAL");
    EXPECT_EQ(EventsOf(st, "dialog").back()["rows"], (Rows{{" ", "03", "Porto Alegre"}}));
    EXPECT_EQ(Layout(st), "pages:  | rows: Região d'Oeste*, Filial*, Canal | cols:  | facts: Caixa d'Água | "
                          "filters: Região d'Oeste='S' Filial='C''03'");
    EXPECT_TRUE(EventsOf(st, "message").empty()) << st["events"];

    // A table name that is not an identifier: a clear error, and not one statement runs.
    const nlohmann::json& bad = r.states[2];
    EXPECT_EQ(bad["events"], nlohmann::json::array({Message(
                                 "error", "O catálogo traz um nome de tabela ou coluna inválido para a dimensão Canal: "
                                          "'DCANAL; DROP TABLE DPRODUTO'")}));
    EXPECT_EQ(Layout(bad), Layout(st));
}

// A member statement that outlives the call deadline is stopped on the client's database with a
// clear message, and is not handed to the server to make the operator wait as long again.
TEST(MemberFilter, AStatementPastTheDeadlineStopsWithAMessageAndIsNotRetriedOnTheServer) {
    E2E e("INSERT INTO DIMENSAODIME VALUES ('7','Lenta','DLENTA','CDLENTA','NMLENTA','');"
          "INSERT INTO DIMENSAODW VALUES ('7','FVENDA','CDLENTA');"
          "CREATE VIEW DLENTA AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000000)"
          " SELECT i AS CDLENTA, 'x' || i AS NMLENTA FROM n;");
    auto started = std::chrono::steady_clock::now();
    HostRun r = e.Run(filterScript("Lenta", ""), {"--call-timeout", "1"});  // no dialog opens
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json& events = r.states[0]["events"];
    std::vector<std::string> messages, calls;
    for (auto& ev : events) {
        if (ev["kind"] == "message") messages.push_back(ev["text"]);
        if (ev["kind"] == "call" && ev["method"] == "getInfo") calls.push_back(ev["args"][0]);
    }
    EXPECT_EQ(messages, std::vector<std::string>{"A consulta excedeu o tempo limite de 1 s e foi interrompida"}) << events.dump();
    EXPECT_TRUE(calls.empty()) << events.dump();
    EXPECT_EQ(Zone(r.states[0], "trvRows"), "Lenta") << "no filter";
    EXPECT_LT(seconds, 60) << "the statement was stopped";
}
