// End to end: building a view opens the cube viewer, which computes it from the test warehouse
// (tests/warehouse.sql). Every expected figure below is worked out by hand from those rows:
//   FVENDA (Produto, Cliente, Filial, Período, VL, QT): P01 C01 01 2026-01 100 1 | P02 C02 02 2026-01 200 2 |
//                                                        P01 C'03 01 2026-02 50 5
//   FDEVOL (Produto, Cliente, VL): P01 C01 10 | P03 C02 7
// Labels: P01 Café, P02 Açúcar, P03 Óleo; C01 Mercado, C02 Padaria, C'03 Empório d'Ávila; 01 São Paulo,
// 02 Campinas. Período has no table of its own: its values are its labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;
const J null = nullptr;

J line(const std::string& kind, std::vector<std::string> labels, J values) {
    return {{"kind", kind}, {"labels", labels}, {"values", values}};
}

// Opens the screen, puts the facts in, runs the layout commands and builds.
std::string build(const std::vector<std::string>& facts, const std::string& layout) {
    std::string s = "open\npress trvFatos Vendas\n";
    for (auto& f : facts) s += "dblclick trvFatos Vendas '" + f + "'\n";
    return s + layout + "key Ctrl+F2\ndump\n";
}

J viewerOf(const HostRun& r, size_t state) { return r.states.at(state)["cube"]["viewer"]; }

}  // namespace

TEST(CubeViewer, SumsFactsByTheChosenDimensions) {
    E2E e;
    struct Case {
        const char* name;
        std::vector<std::string> facts;
        std::string layout;
        J columnKeys, lines;
    };
    const Case cases[] = {
        {"one fact by one row dimension", {"Faturamento"}, "dblclick trvDimensoes Produto\n", J::array(),
         J::array({line("detail", {"Café"}, {{150}}), line("detail", {"Açúcar"}, {{200}}), line("total", {}, {{350}})})},
        {"two facts of one table", {"Faturamento", "Quantidade"}, "dblclick trvDimensoes Produto\n", J::array(),
         J::array({line("detail", {"Café"}, {{150, 6}}), line("detail", {"Açúcar"}, {{200, 2}}), line("total", {}, {{350, 8}})})},
        {"two tables: a combination one of them lacks is empty, not zero", {"Faturamento", "Devoluções"},
         "dblclick trvDimensoes Produto\n", J::array(),
         J::array({line("detail", {"Café"}, {{150, 10}}), line("detail", {"Açúcar"}, {{200, null}}),
                   line("detail", {"Óleo"}, {{null, 7}}), line("total", {}, {{350, 17}})})},
        {"rows by columns, the columns a dimension without a table", {"Faturamento"},
         "dblclick trvDimensoes Produto\ndrag trvDimensoes Período --to trvCols\n", J::array({{"2026-01"}, {"2026-02"}}),
         J::array({line("detail", {"Café"}, {{100}, {50}, {150}}), line("detail", {"Açúcar"}, {{200}, {null}, {200}}),
                   line("total", {}, {{300}, {50}, {350}})})},
        {"two row dimensions with subtotals above their members", {"Faturamento"},
         "dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\n", J::array(),
         J::array({line("subtotal", {"Café"}, {{150}}), line("detail", {"Café", "Empório d'Ávila"}, {{50}}),
                   line("detail", {"Café", "Mercado"}, {{100}}), line("subtotal", {"Açúcar"}, {{200}}),
                   line("detail", {"Açúcar", "Padaria"}, {{200}}), line("total", {}, {{350}})})},
    };
    for (const Case& c : cases) {
        HostRun r = e.Run(build(c.facts, c.layout));
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        J v = viewerOf(r, 0);
        ASSERT_TRUE(v.is_object()) << c.name;
        EXPECT_EQ(v["facts"], J(c.facts)) << c.name;
        EXPECT_EQ(v["columnKeys"], c.columnKeys) << c.name;
        EXPECT_EQ(v["lines"], c.lines) << c.name;
        EXPECT_TRUE(v["message"].is_null()) << c.name;
        EXPECT_TRUE(EventsOf(r.states[0], "message").empty()) << c.name << r.states[0]["events"];
    }
}

TEST(CubeViewer, MemberFiltersRestrictEveryAxisAndKeysWithQuotesAreBound) {
    E2E e;
    HostRun r = e.Run(build({"Faturamento"},
                            "dblclick trvDimensoes Produto\ndrag trvDimensoes Cliente --to trvCols\n"
                            "answer confirm \"'C''03','C01'\"\ndblclick trvCols Cliente\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    J v = viewerOf(r, 0);
    EXPECT_EQ(v["filters"], (J{{"Cliente", "'C''03','C01'"}}));
    EXPECT_EQ(v["columnKeys"], J::array({{"Empório d'Ávila"}, {"Mercado"}}));
    EXPECT_EQ(v["lines"], J::array({line("detail", {"Café"}, {{50}, {100}, {150}}), line("total", {}, {{50}, {100}, {150}})}));
    // The keys travel as parameters, never inside the statement.
    auto queries = EventsOf(r.states[0], "query");
    ASSERT_FALSE(queries.empty());
    EXPECT_EQ(queries.back()["params"], (J{{"F0", "C'03"}, {"F1", "C01"}}));
    EXPECT_EQ(queries.back()["sql"].get<std::string>().find("C01"), std::string::npos);

    // A filter that leaves nothing: an empty grid with the message.
    r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\nanswer confirm \"'P04'\"\ndblclick trvRows Produto\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(viewerOf(r, 0)["lines"], J::array());
    EXPECT_EQ(viewerOf(r, 0)["message"], "Não há dados para esta visão.");
}

TEST(CubeViewer, PagesRestrictEveryMeasureUntilAllMembersAreChosenAgain) {
    E2E e;
    HostRun r = e.Run(build({"Faturamento", "Quantidade"}, "dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvPages\n") +
                      "page Filial 'São Paulo'\ndump\npage Filial --all\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    J v = viewerOf(r, 0);
    EXPECT_EQ(v["pages"], J::array({{{"dimension", "Filial"}, {"members", {"São Paulo", "Campinas"}}, {"current", "(Todos)"}}}));
    const J all = J::array({line("detail", {"Café"}, {{150, 6}}), line("detail", {"Açúcar"}, {{200, 2}}), line("total", {}, {{350, 8}})});
    EXPECT_EQ(v["lines"], all);
    EXPECT_EQ(viewerOf(r, 1)["pages"][0]["current"], "São Paulo");
    EXPECT_EQ(viewerOf(r, 1)["lines"], J::array({line("detail", {"Café"}, {{150, 6}}), line("total", {}, {{150, 6}})}));
    EXPECT_EQ(viewerOf(r, 2)["lines"], all);
    EXPECT_EQ(viewerOf(r, 2)["pages"][0]["current"], "(Todos)");

    HostRun bad = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvPages\n") +
                        "page Filial Recife\n");
    EXPECT_EQ(bad.status, 1);
}

TEST(CubeViewer, ExportsTheGridAsCsvAndCloses) {
    E2E e;
    TempDatabase scratch("");
    const std::string csv = scratch.Path() + ".csv";
    HostRun r = e.Run(build({"Faturamento", "Quantidade"},
                            "dblclick trvDimensoes Produto\ndrag trvDimensoes Período --to trvCols\n") +
                      "export '" + csv + "'\ncloseviewer\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(csv),
              "\xEF\xBB\xBF"                                                  // UTF-8, said so
              ";Período;2026-01;2026-01;2026-02;2026-02;Total;Total\r\n"  // each column dimension names its line
              "Tipo;Produto;Faturamento;Quantidade;Faturamento;Quantidade;Faturamento;Quantidade\r\n"
              "Detalhe;Café;100;1;50;5;150;6\r\n"
              "Detalhe;Açúcar;200;2;;;200;2\r\n"
              "Total;;300;3;50;5;350;8\r\n");
    std::remove(csv.c_str());
    EXPECT_TRUE(r.states[1]["cube"]["viewer"].is_null());

    // A label holding the separator or quotes is quoted, its quotes doubled; one a spreadsheet would
    // run as a formula gets an apostrophe; a measure with cents shows two decimals, with a comma; the
    // page and the filter in force head the file, by member label.
    E2E odd("INSERT INTO DPRODUTO VALUES ('P05', 'Farinha; \"fina\"'), ('P06', '=SOMA(A1)');"
            "INSERT INTO FVENDA VALUES ('P05', 'C01', '01', '2026-01', 5.5, 1), ('P06', 'C01', '01', '2026-01', 2, 1);");
    HostRun quoted = odd.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvPages\n"
                                                    "drag trvDimensoes Cliente --to trvCols\nanswer confirm \"'C01'\"\n"
                                                    "dblclick trvCols Cliente\n") +
                             "pivot Cliente pages\nexport '" + csv + "'\n");
    ASSERT_EQ(quoted.status, 0) << quoted.err;
    EXPECT_EQ(ReadFile(csv),
              "\xEF\xBB\xBF"
              "Página;Filial;(Todos)\r\n"
              "Página;Cliente;(Todos)\r\n"
              "Filtro;Cliente;Mercado\r\n"
              "Tipo;Produto;Faturamento\r\n"
              "Detalhe;Café;100,00\r\n"
              "Detalhe;\"Farinha; \"\"fina\"\"\";5,50\r\n"
              "Detalhe;'=SOMA(A1);2,00\r\n"
              "Total;;107,50\r\n");
    std::remove(csv.c_str());

    HostRun failed = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "export /nonexistent/folder/x.csv\ndump\n");
    ASSERT_EQ(failed.status, 0) << failed.err;
    EXPECT_EQ(EventsOf(failed.states[1], "message"),
              std::vector<J>{Message("error", "Não foi possível gravar o arquivo /nonexistent/folder/x.csv")});
}

TEST(CubeViewer, ABadCatalogueNameIsAClearErrorAndRunsNothing) {
    E2E e("UPDATE ITEMDW SET CDITEMDW = 'VL; DELETE FROM FVENDA' WHERE NMITEMDW = 'Faturamento';");
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "open\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = "O catálogo traz um nome de tabela ou coluna inválido para o fato: 'VL; DELETE FROM FVENDA'";
    EXPECT_EQ(EventsOf(r.states[0], "message"), std::vector<J>{Message("error", text)});
    EXPECT_TRUE(EventsOf(r.states[0], "query").empty());
    J v = viewerOf(r, 0);
    EXPECT_EQ(v["lines"], J::array());
    EXPECT_EQ(v["message"], text);
    // The view could not be computed: the screen stays open with its layout, and opens again as itself.
    EXPECT_EQ(r.states[1]["screen"]["instance"], 1);
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows: Produto | cols:  | facts: Faturamento | filters: ");
}

TEST(CubeViewer, TheServerComputesWhenTheClientDatabaseCannotAndASecondBuildReplacesTheFirst) {
    E2E e;
    TempDatabase client(ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql"));  // no warehouse tables
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") +
                          build({"Devoluções"}, "drag trvDimensoes Cliente --to trvCols\n"),
                      {"--database", client.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto calls = EventsOf(r.states[0], "call");
    // The screen's catalogue, the viewer's, the look for summary tables (this warehouse has none), and
    // the statement.
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_NE(calls[2]["args"][0].get<std::string>().find("QEL_AGREGADOS"), std::string::npos);
    EXPECT_EQ(calls[3]["method"], "getInfo");
    EXPECT_EQ(calls[3]["args"][1], "<packet>");
    EXPECT_EQ(viewerOf(r, 0)["lines"], J::array({line("detail", {"Café"}, {{150}}), line("detail", {"Açúcar"}, {{200}}),
                                                 line("total", {}, {{350}})}));

    J second = viewerOf(r, 1);
    EXPECT_EQ(second["facts"], J({"Devoluções"}));
    EXPECT_EQ(second["rows"], J::array());
    EXPECT_EQ(second["columnKeys"], J::array({{"Mercado"}, {"Padaria"}}));
    EXPECT_EQ(second["lines"], J::array({line("total", {}, {{10}, {7}, {17}})}));
    EXPECT_EQ(r.states[1]["cube"]["opened"], 2);
}

// Through the server, a view with more cells than the server sends says how to make it smaller, and
// why the client's own database could not compute it either.
TEST(CubeViewer, AViewPastTheServersRowCapSaysWhatToDo) {
    std::string more;  // 20 more products sold: 22 lines, past a cap of 15 that the catalogue's packets stay under
    for (int i = 10; i < 30; ++i) more += "INSERT INTO FVENDA VALUES ('X" + std::to_string(i) + "', 'C01', '01', '2026-01', 1, 1);";
    E2E e(more, true, E2E::Engine::Sqlite, {"--max-rows", "15"});
    TempDatabase client(ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql"));  // no warehouse tables
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n"), {"--database", client.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = "A consulta devolveu mais de 15 linhas, o limite do servidor; restrinja a consulta. "
                             "No banco de dados do cliente: Tabela inexistente: FVENDA. Para ver esta visão, "
                             "filtre membros, ponha uma dimensão em Páginas ou use menos dimensões";
    EXPECT_EQ(viewerOf(r, 0)["message"], text);
    EXPECT_EQ(viewerOf(r, 0)["lines"], J::array());
}

// The access rules restrict the data, not only the member lists: an operator's totals are those of
// the members the rules allow, on every dimension of the fact table, placed in the view or not.
// Two more sales at branches 03 and 04 (rules: MARIA 01 and 02; JOAO's groups 03, 04 and product P01):
//   MARIA: P01 150, P02 200 | JOAO: P01 at 03 only, 70 | ADMIN: P01 220, P02 230.
TEST(CubeViewer, RestrictedOperatorsSeeOnlyTheTotalsTheirRulesAllowOnEitherDatabase) {
    const std::string sales = "INSERT INTO FVENDA VALUES ('P01', 'C01', '03', '2026-03', 70, 1), ('P02', 'C01', '04', '2026-03', 30, 1);";
    const std::string caixa = "open\npress trvFatos Finanças\ndblclick trvFatos Finanças \"Caixa d'Água\"\n"
                              "dblclick trvDimensoes \"Região d'Oeste\"\nkey Ctrl+F2\ndump\n";
    struct Case {
        const char* name;
        std::string operatorCode, script;
        J lines;
    };
    const Case cases[] = {
        {"ruled per operator, the ruled dimension not placed", "MARIA", build({"Faturamento"}, "dblclick trvDimensoes Produto\n"),
         J::array({line("detail", {"Café"}, {{150}}), line("detail", {"Açúcar"}, {{200}}), line("total", {}, {{350}})})},
        {"ruled per operator, the ruled dimension placed", "MARIA", build({"Faturamento"}, "dblclick trvDimensoes Filial\n"),
         J::array({line("detail", {"São Paulo"}, {{150}}), line("detail", {"Campinas"}, {{200}}), line("total", {}, {{350}})})},
        {"ruled through groups on two dimensions", "JOAO", build({"Faturamento"}, "dblclick trvDimensoes Produto\n"),
         J::array({line("detail", {"Café"}, {{70}}), line("total", {}, {{70}})})},
        {"unruled", "ADMIN", build({"Faturamento"}, "dblclick trvDimensoes Produto\n"),
         J::array({line("detail", {"Café"}, {{220}}), line("detail", {"Açúcar"}, {{230}}), line("total", {}, {{450}})})},
        {"a rule on a dimension of another fact table", "JOAO", caixa,
         J::array({line("detail", {"Norte"}, {{300}}), line("total", {}, {{300}})})},
        {"the same fact table for another operator", "MARIA", caixa,
         J::array({line("detail", {"Sul"}, {{1000}}), line("total", {}, {{1000}})})},
    };
    for (E2E::Engine engine : {E2E::Engine::Sqlite, E2E::Engine::Postgres}) {
        E2E e(sales, true, engine);
        for (const Case& c : cases) {
            HostRun r = e.Run(c.script, {"--operator", c.operatorCode});
            ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
            EXPECT_EQ(viewerOf(r, 0)["lines"], c.lines) << c.name << (engine == E2E::Engine::Postgres ? " (PostgreSQL)" : "") << "\n"
                                                        << viewerOf(r, 0).dump();
        }
    }
}

// The desktop's toolkit sets the process's locale from the system: under a Brazilian one the decimal
// separator is a comma, and sums must still read as the database wrote them.
TEST(CubeViewer, SumsReadRightUnderACommaDecimalLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "pt_BR.UTF-8"), nullptr) << "the pt_BR.UTF-8 locale is missing: run scripts/setup.sh";
    std::setlocale(LC_ALL, "C");
    E2E e("INSERT INTO FVENDA VALUES ('P03', 'C01', '01', '2026-03', 150.75, 0.5);");
    setenv("LC_ALL", "pt_BR.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    HostRun r = e.Run(build({"Faturamento", "Quantidade"}, "dblclick trvDimensoes Produto\n"), {"--gui"});
    unsetenv("LC_ALL");
    unsetenv("QT_QPA_PLATFORM");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.states.empty()) << r.err;
    EXPECT_EQ(viewerOf(r, 0)["lines"], J::array({line("detail", {"Café"}, {{150, 6}}), line("detail", {"Açúcar"}, {{200, 2}}),
                                                 line("detail", {"Óleo"}, {{150.75, 0.5}}), line("total", {}, {{500.75, 8.5}})}))
        << viewerOf(r, 0).dump();
}

// The runner's reading commands change the grid from the cells the viewer holds: no statement, no call.
// Faturamento by Produto and Cliente: Café (P01): Empório d'Ávila 50, Mercado 100; Açúcar (P02): Padaria 200.
TEST(CubeViewer, OrderSortCollapseSubtotalsAndPercentagesComeFromMemory) {
    E2E e;
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\n") +
                      "order Produto label\ndump\norder Produto key\nsort Faturamento desc\ndump\nsort none\ncollapse Produto\ndump\n"
                      "expand Produto\ncollapse Produto Café\nsubtotals off\ndump\nexpand Produto Café\nshow percent-total\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 6u);
    const J cafe = line("subtotal", {"Café"}, {{150}}), acucar = line("subtotal", {"Açúcar"}, {{200}});
    const J emporio = line("detail", {"Café", "Empório d'Ávila"}, {{50}}), mercado = line("detail", {"Café", "Mercado"}, {{100}});
    const J padaria = line("detail", {"Açúcar", "Padaria"}, {{200}}), total = line("total", {}, {{350}});
    struct Expected {
        J lines, settings;
    };
    const J none = J::object();
    const Expected expected[] = {
        {J::array({acucar, padaria, cafe, emporio, mercado, total}),
         {{"order", {{"Produto", "label"}}}, {"sort", nullptr}, {"collapsed", none}, {"subtotals", true}, {"show", "values"}, {"chart", nullptr}}},
        {J::array({acucar, padaria, cafe, mercado, emporio, total}),
         {{"order", none}, {"sort", {{"fact", "Faturamento"}, {"direction", "desc"}}}, {"collapsed", none}, {"subtotals", true},
          {"show", "values"}, {"chart", nullptr}}},
        {J::array({cafe, acucar, total}),
         {{"order", none}, {"sort", nullptr}, {"collapsed", {{"Produto", true}}}, {"subtotals", true}, {"show", "values"}, {"chart", nullptr}}},
        {J::array({cafe, padaria, total}),
         {{"order", none}, {"sort", nullptr}, {"collapsed", {{"Produto", {"Café"}}}}, {"subtotals", false}, {"show", "values"}, {"chart", nullptr}}},
        {J::array({line("detail", {"Café", "Empório d'Ávila"}, {{50.0 / 350 * 100}}), line("detail", {"Café", "Mercado"}, {{100.0 / 350 * 100}}),
                   line("detail", {"Açúcar", "Padaria"}, {{200.0 / 350 * 100}}), line("total", {}, {{100}})}),
         {{"order", none}, {"sort", nullptr}, {"collapsed", none}, {"subtotals", false}, {"show", "percent-total"}, {"chart", nullptr}}},
    };
    for (size_t i = 0; i < 5; ++i) {
        J v = viewerOf(r, i + 1);
        EXPECT_EQ(v["lines"], expected[i].lines) << i << "\n" << v["lines"];
        EXPECT_EQ(v["settings"], expected[i].settings) << i << "\n" << v["settings"];
        EXPECT_TRUE(EventsOf(r.states[i + 1], "query").empty()) << i;
        EXPECT_TRUE(EventsOf(r.states[i + 1], "call").empty()) << i;
    }
    for (const char* bad : {"order Nada label\n", "sort Nada desc\n", "collapse Cliente Ninguém\n", "show metade\n", "subtotals talvez\n"})
        EXPECT_EQ(e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\n") + bad).status, 1) << bad;
}

// The chart beside the grid is a setting like the others: kept in the state, answered from memory.
TEST(CubeViewer, TheChartIsASettingChosenWithoutTheDatabase) {
    E2E e;
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "chart bar\ndump\nchart line\ndump\nchart off\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const J expected[] = {"bar", "line", nullptr};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(viewerOf(r, i + 1)["settings"]["chart"], expected[i]) << i;
        EXPECT_TRUE(EventsOf(r.states[i + 1], "query").empty()) << i;
        EXPECT_TRUE(EventsOf(r.states[i + 1], "call").empty()) << i;
    }
    EXPECT_EQ(e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "chart pizza\n").status, 1);
    EXPECT_EQ(e.Run("open\nchart bar\n").status, 1) << "no viewer open";
}

// Moving dimensions between the viewer's axes regroups the cells it holds; a page that leaves the
// pages takes its choice with it.
TEST(CubeViewer, PivotMovesDimensionsBetweenAxesFromMemory) {
    E2E e;
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\ndrag trvDimensoes Período --to trvCols\n") +
                      "pivot Período rows 0\ndump\npivot Produto pages\npage Produto Café\ndump\npivot Produto columns\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    J moved = viewerOf(r, 1);
    EXPECT_EQ(moved["rows"], J({"Período", "Produto"}));
    EXPECT_EQ(moved["columns"], J::array());
    EXPECT_EQ(moved["lines"], J::array({line("subtotal", {"2026-01"}, {{300}}), line("detail", {"2026-01", "Café"}, {{100}}),
                                        line("detail", {"2026-01", "Açúcar"}, {{200}}), line("subtotal", {"2026-02"}, {{50}}),
                                        line("detail", {"2026-02", "Café"}, {{50}}), line("total", {}, {{350}})}));
    J paged = viewerOf(r, 2);
    EXPECT_EQ(paged["rows"], J({"Período"}));
    EXPECT_EQ(paged["pages"], J::array({{{"dimension", "Produto"}, {"members", {"Café", "Açúcar"}}, {"current", "Café"}}}));
    EXPECT_EQ(paged["lines"], J::array({line("detail", {"2026-01"}, {{100}}), line("detail", {"2026-02"}, {{50}}), line("total", {}, {{150}})}));
    J columns = viewerOf(r, 3);
    EXPECT_EQ(columns["pages"], J::array());
    EXPECT_EQ(columns["columnKeys"], J::array({{"Café"}, {"Açúcar"}}));
    EXPECT_EQ(columns["lines"], J::array({line("detail", {"2026-01"}, {{100}, {200}, {300}}), line("detail", {"2026-02"}, {{50}, {null}, {50}}),
                                          line("total", {}, {{150}, {200}, {350}})}));
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_TRUE(EventsOf(r.states[i], "query").empty()) << i;
        EXPECT_TRUE(EventsOf(r.states[i], "call").empty()) << i;
    }
    EXPECT_EQ(e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "pivot Nada rows\n").status, 1);
    EXPECT_EQ(e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "pivot Produto lado\n").status, 1);
}

// The Excel workbook opens as a spreadsheet expects: numeric cells in the measure's format, bold
// summary lines, and a second sheet describing the view. Read back as the zip of XML it is.
TEST(CubeViewer, ExportsAnExcelWorkbookWithNumbersFormatsAndTheViewDescribed) {
    E2E e("INSERT INTO FVENDA VALUES ('P03', 'C01', '01', '2026-03', 0.25, 1);");
    TempDatabase scratch("");
    const std::string xlsx = scratch.Path() + ".xlsx";
    HostRun r = e.Run(build({"Faturamento", "Quantidade"}, "dblclick trvDimensoes Produto\ndblclick trvDimensoes Cliente\n") +
                      "export '" + xlsx + "'\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const char* reader = R"py(
import json, re, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
strings = re.findall(r'<t[^>]*>([^<]*)</t>', z.read('xl/sharedStrings.xml').decode())
sheet = z.read('xl/worksheets/sheet1.xml').decode()
numbers = [float(v) for v in re.findall(r'<c r="[A-Z]+\d+"(?: s="\d+")?><v>([^<]*)</v></c>', sheet)]
styles = z.read('xl/styles.xml').decode()
book = z.read('xl/workbook.xml').decode()
print(json.dumps({'sheets': re.findall(r'<sheet name="([^"]*)"', book), 'strings': strings, 'numbers': numbers,
                  'formats': re.findall(r'formatCode="([^"]*)"', styles), 'bold': '<b/>' in styles,
                  'partial': [n for n in names if 'parcial' in n]}))
)py";
    CommandResult read = RunCommand({"/usr/bin/python3", "-c", reader, xlsx});
    std::remove(xlsx.c_str());
    ASSERT_EQ(read.status, 0) << read.err;
    J book = J::parse(read.out);
    EXPECT_EQ(book["sheets"], J({"Visão", "Definição"}));
    for (const char* s : {"Tipo", "Detalhe", "Subtotal", "Total", "Café", "Empório d'Ávila", "Faturamento", "Quantidade", "Fatos", "Linhas"})
        EXPECT_NE(std::find(book["strings"].begin(), book["strings"].end(), J(s)), book["strings"].end()) << s;
    // Faturamento has cents now (0.25): two decimals; Quantidade stays whole.
    EXPECT_NE(std::find(book["formats"].begin(), book["formats"].end(), J("#,##0.00")), book["formats"].end()) << book["formats"];
    EXPECT_NE(std::find(book["formats"].begin(), book["formats"].end(), J("#,##0")), book["formats"].end()) << book["formats"];
    EXPECT_TRUE(book["bold"]);
    EXPECT_NE(std::find(book["numbers"].begin(), book["numbers"].end(), J(350.25)), book["numbers"].end()) << book["numbers"];
    EXPECT_NE(std::find(book["numbers"].begin(), book["numbers"].end(), J(9.0)), book["numbers"].end()) << book["numbers"];

    HostRun failed = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "export /nonexistent/folder/x.xlsx\ndump\n");
    ASSERT_EQ(failed.status, 0) << failed.err;
    EXPECT_EQ(EventsOf(failed.states[1], "message"),
              std::vector<J>{Message("error", "Não foi possível gravar o arquivo /nonexistent/folder/x.xlsx")});
}

// A view that takes long shows how far it has come, and "Cancelar" stops the statement in the
// database and leaves the view shown before as it was. FLENTA is a view that counts six million rows.
TEST(CubeViewer, ALongViewShowsProgressAndCancellingKeepsTheViewShownBefore) {
    E2E e("CREATE VIEW FLENTA AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000000) "
          "SELECT 'P0' || (i % 3 + 1) AS CDPRODUTO, i % 10 AS VL FROM n;"
          "INSERT INTO ITEMDW VALUES ('FLENTA', 'VL', 'Venda Lenta', '01', 'Valor', 'V', '');"
          "INSERT INTO DIMENSAODW VALUES ('1', 'FLENTA', 'CDPRODUTO');");
    HostRun r = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") +
                      "editview\ndblclick trvFatos Vendas 'Venda Lenta'\ncancelafter 0.6\nkey Ctrl+F2\ndump\n"
                      "key Ctrl+F2\ndump\n");  // the screen stayed open with the layout
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 3u);
    const J shown = viewerOf(r, 0);
    ASSERT_EQ(shown["facts"], J({"Faturamento"}));

    // Cancelled: the same view, with no error; the progress came before the cancel.
    const J kept = viewerOf(r, 1);
    for (const char* field : {"facts", "rows", "columns", "lines", "message", "filters"})
        EXPECT_EQ(kept[field], shown[field]) << field << "\nkept: " << kept[field] << "\nshown: " << shown[field];
    EXPECT_TRUE(EventsOf(r.states[1], "message").empty()) << r.states[1]["events"];
    std::vector<std::string> progress;
    for (const J& a : EventsOf(r.states[1], "animation"))
        if (a["text"].get<std::string>().rfind("Calculando… ", 0) == 0) progress.push_back(a["text"]);
    // The groups come only when the grouping ends: none yet, and the seconds it has run.
    const std::regex shownProgress("Calculando… [0-9]+ s, 0 grupos recebidos");
    ASSERT_EQ(progress.size(), 1u) << r.states[1]["events"];
    EXPECT_TRUE(std::regex_match(progress[0], shownProgress)) << progress[0];

    // Not cancelled: the new view, its sums over the six million rows.
    const J computed = viewerOf(r, 2);
    EXPECT_EQ(computed["facts"], J({"Faturamento", "Venda Lenta"}));
    EXPECT_EQ(computed["lines"].back(), line("total", {}, {{350, 27000000}}));
    const std::vector<J> animations = EventsOf(r.states[2], "animation");
    EXPECT_TRUE(std::any_of(animations.begin(), animations.end(), [&](const J& a) { return std::regex_match(a["text"].get<std::string>(), shownProgress); }))
        << r.states[2]["events"];
}

// A large SQLite fact table of the client's database is read in two halves at once, and the sums are
// the whole table's: FMEIA (2,000,100 rows, values in quarters, one row in five without a value and
// a product without any) beside FMEIAV, a view of the same rows, which is always read whole.
TEST(CubeViewer, ALargeTableReadInTwoHalvesGivesTheWholeTablesSums) {
    E2E e("CREATE TABLE FMEIA (CDPRODUTO, CDFILIAL, VL);"
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000100) "
          "INSERT INTO FMEIA SELECT CASE WHEN i % 1000 = 0 THEN 'P09' ELSE 'P0' || (i % 3 + 1) END, '0' || (i / 7 % 3 + 1), "
          "CASE WHEN i % 5 = 0 OR i % 1000 = 0 THEN NULL ELSE (i % 40) * 0.25 END FROM n;"
          "CREATE VIEW FMEIAV AS SELECT * FROM FMEIA;"
          "INSERT INTO ITEMDW VALUES ('FMEIA', 'VL', 'Venda Dividida', '01', '', 'V', ''), ('FMEIAV', 'VL', 'Venda Inteira', '01', '', 'V', '');"
          "INSERT INTO DIMENSAODW VALUES ('1', 'FMEIA', 'CDPRODUTO'), ('3', 'FMEIA', 'CDFILIAL'), ('1', 'FMEIAV', 'CDPRODUTO'),"
          " ('3', 'FMEIAV', 'CDFILIAL');");
    HostRun r = e.Run(build({"Venda Dividida", "Venda Inteira"}, "dblclick trvDimensoes Produto\ndrag trvDimensoes Filial --to trvCols\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    const J lines = viewerOf(r, 0)["lines"];
    ASSERT_EQ(lines.size(), 5u) << lines;  // three products with values, P09 only absent values, the total
    for (const J& l : lines)
        for (const J& column : l["values"]) EXPECT_EQ(column[0], column[1]) << l;
    EXPECT_EQ(lines.back()["values"].back()[0], 8000360.0) << lines.back();

    std::vector<J> halves;
    for (const J& q : EventsOf(r.states[0], "query"))
        if (q["sql"].get<std::string>().find("F.rowid > CAST(:DE AS INTEGER)") != std::string::npos) halves.push_back(q);
    ASSERT_EQ(halves.size(), 1u) << r.states[0]["events"];  // the first half; the second runs on a connection of its own
    EXPECT_NE(halves[0]["sql"].get<std::string>().find(" FROM FMEIA F WHERE "), std::string::npos) << halves[0];
    EXPECT_EQ(halves[0]["params"]["DE"], "0") << halves[0];
    EXPECT_EQ(halves[0]["params"]["ATE"], "1000050") << halves[0];
}

namespace {

// FLENTA counts a billion rows: no view over it ends within a second.
const char* kEndlessFact =
    "CREATE VIEW FLENTA AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000000) "
    "SELECT 'P0' || (i % 3 + 1) AS CDPRODUTO, i % 10 AS VL FROM n;"
    "INSERT INTO ITEMDW VALUES ('FLENTA', 'VL', 'Venda Lenta', '01', 'Valor', 'V', '');"
    "INSERT INTO DIMENSAODW VALUES ('1', 'FLENTA', 'CDPRODUTO');";

}  // namespace

// A view that runs out of time leaves the screen open with its layout, says what the operator can do,
// and cannot be saved; a cancelled one leaves the screen open too, and the view shown before keeps
// its name.
TEST(CubeViewer, AViewOutOfTimeOrCancelledKeepsTheScreenOpenWithItsLayout) {
    E2E e(kEndlessFact);
    char folder[] = "/tmp/qeltimeXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string saved = std::string(folder) + "/base.qelv";
    HostRun r = e.Run("open\npress trvFatos Vendas\ndblclick trvFatos Vendas 'Venda Lenta'\ndblclick trvDimensoes Produto\n"
                      "key Ctrl+F2\ndump\nsaveview " + saved + "\ndump\n",
                      {"--view-timeout", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    const J& out = r.states.at(0);
    ASSERT_FALSE(out["screen"].is_null()) << "the screen was closed";
    EXPECT_EQ(Layout(out), "pages:  | rows: Produto | cols:  | facts: Venda Lenta | filters: ");
    const std::string expected =
        "A consulta excedeu o tempo limite de 1 s e foi interrompida: restrinja a visão com um filtro ou uma página, use "
        "menos dimensões, peça ao administrador as tabelas de resumo, ou aumente o tempo limite (\"Tempo limite…\" no "
        "visualizador)";
    EXPECT_EQ(EventsOf(out, "message"), std::vector<J>{Message("error", expected)}) << out["events"];
    EXPECT_EQ(viewerOf(r, 0)["message"], expected);
    // Nothing computed, nothing to save.
    EXPECT_EQ(EventsOf(r.states.at(1), "message"),
              std::vector<J>{Message("error", "A visão não pode ser salva: ela não foi calculada. Calcule-a de novo e "
                                              "salve quando a grade aparecer.")});
    EXPECT_FALSE(std::filesystem::exists(saved));
    EXPECT_TRUE(viewerOf(r, 1)["name"].is_null());

    // A saved view, edited, and its new computation cancelled: the screen stays, and so does the name.
    HostRun c = e.Run(build({"Faturamento"}, "dblclick trvDimensoes Produto\n") + "saveview " + saved +
                      "\neditview\ndblclick trvFatos Vendas 'Venda Lenta'\ncancelafter 0.6\nkey Ctrl+F2\ndump\n");
    std::filesystem::remove_all(folder);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_TRUE(c.states.at(0)["screen"].is_null()) << "a computed view closes the screen";
    const J& cancelled = c.states.at(1);
    ASSERT_FALSE(cancelled["screen"].is_null()) << "the screen was closed";
    EXPECT_EQ(Layout(cancelled), "pages:  | rows: Produto | cols:  | facts: Faturamento, Venda Lenta | filters: ");
    EXPECT_EQ(viewerOf(c, 1)["facts"], J({"Faturamento"}));
    EXPECT_EQ(viewerOf(c, 1)["name"], "base");
}
