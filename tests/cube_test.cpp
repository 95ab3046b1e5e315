// The cube module's pieces without the host: selection strings, the aggregate statement (run on an
// in-memory database) and the pivot grid.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "cube/csv_field.hpp"
#include "cube/cube_statement.hpp"
#include "cube/pivot.hpp"
#include "cube/saved_view.hpp"
#include "cube/selection.hpp"
#include "cube/whole_file.hpp"
#include "data/sql_connection.hpp"

TEST(Selection, ParsesQuotedKeysAndRefusesAnythingElse) {
    using Keys = std::vector<std::string>;
    EXPECT_EQ(ParseSelection("'01','07'"), (Keys{"01", "07"}));
    EXPECT_EQ(ParseSelection(""), Keys{});
    EXPECT_EQ(ParseSelection("'C''03'"), Keys{"C'03"});
    EXPECT_EQ(ParseSelection(" 'a' , 'b,c' "), (Keys{"a", "b,c"}));
    EXPECT_EQ(ParseSelection("''"), Keys{""});
    for (const char* bad : {"'01", "01", "'01',", "'01' '02'", "'01',,'02'", ",'01'"})
        EXPECT_THROW(ParseSelection(bad), ESelectionError) << bad;
}

TEST(CubeStatement, SumsOnceWhateverTheDimensionTableRepeatsAndBindsEveryKey) {
    auto db = OpenSqlite(":memory:");
    db->Execute(
        "CREATE TABLE F (CDP, CDR, VL, QT);"
        "INSERT INTO F VALUES ('P1','N',10,1),('P1','S',5,NULL),('P1','S',2,4),('P1','S',1,3),('P2','S',7,2),('P''3','S',1,1),"
        "(NULL,'N',3,3);"
        "CREATE TABLE DP (CD, NM); INSERT INTO DP VALUES ('P1','Um'),('P1','Uno'),('P2','Dois');");
    std::vector<CubeDimensionColumn> dims{{"Produto", "CDP", "DP", "CD", "NM", true, {}, false},
                                          {"Região", "CDR", "", "", "", false, {"S"}, true}};
    CubeStatement st = ComposeCubeStatement("F", {"VL", "QT"}, dims);
    EXPECT_EQ(st.params, (SqlParams{{"F0", "S"}}));
    SqlResult r = db->Query(st.sql + " ORDER BY G.K0", st.params);
    // Key, its label (the smallest description, or nothing without a row), then the two sums: P1's
    // three rows of S add up (not their largest, not counted twice for its two labels).
    EXPECT_EQ(r.rows, (std::vector<std::vector<std::string>>{{"P'3", "", "1", "1"}, {"P1", "Um", "8", "7"}, {"P2", "Dois", "7", "2"}}));

    // An access rule on the same column does what the filter did, its keys from its own subquery.
    std::vector<CubeDimensionColumn> unfiltered{dims[0]};
    st = ComposeCubeStatement("F", {"VL"}, unfiltered, {{"CDR", "SELECT :R0 UNION ALL SELECT :R1", {{"R0", "S"}, {"R1", "X"}}}});
    EXPECT_EQ(db->Query(st.sql + " ORDER BY G.K0", st.params).rows,
              (std::vector<std::vector<std::string>>{{"P'3", "", "1"}, {"P1", "Um", "8"}, {"P2", "Dois", "7"}}));

    dims[1].filterKeys.clear();  // a filter that selects nothing lets nothing through
    st = ComposeCubeStatement("F", {"VL"}, dims);
    EXPECT_TRUE(db->Query(st.sql, st.params).rows.empty());

    struct Bad {
        const char* what;
        std::string table, measure;
        CubeDimensionColumn dim;
    };
    const Bad bad[] = {
        {"table", "F; DROP TABLE F", "VL", dims[0]},
        {"measure", "F", "VL)--", dims[0]},
        {"column", "F", "VL", {"Produto", "CDP P", "DP", "CD", "NM", true, {}, false}},
        {"own table", "F", "VL", {"Produto", "CDP", "DP x", "CD", "NM", true, {}, false}},
        {"key", "F", "VL", {"Produto", "CDP", "DP", "", "NM", true, {}, false}},
        {"description", "F", "VL", {"Produto", "CDP", "DP", "CD", "NM'", true, {}, false}},
    };
    for (const Bad& b : bad) EXPECT_THROW(ComposeCubeStatement(b.table, {b.measure}, {b.dim}), ECubeDefinition) << b.what;
}

namespace {

std::string render(const PivotGrid& g) {
    std::string out;
    for (size_t l = 0; l < g.Lines(); ++l) {
        out += std::string(g.Kind(l)) + ":";
        for (auto& s : g.Labels(l)) out += s + "/";
        for (size_t c = 0; c <= g.columnKeys.size(); ++c) {
            out += " [";
            for (size_t m = 0; m < g.Measures(); ++m) {
                const std::optional<double> v = g.Value(l, c, m);
                out += (v ? std::to_string(static_cast<int>(*v)) : std::string("-")) + ";";
            }
            out += "]";
        }
        out += "\n";
    }
    return out;
}

}  // namespace

TEST(Pivot, OutlinesEveryOuterLevelWithMembersInKeyOrder) {
    PivotInput in;
    in.rowDims = 3;
    in.measures = 2;
    in.labels = {{{"a", "A"}, {"b", "B"}}, {{"x", "Xis"}, {"y", "Ípsilon"}}, {{"1", "Um"}, {"2", "Um"}}};
    in.cells = {{{"a", "x", "1"}, {1, std::nullopt}}, {{"a", "x", "2"}, {2, std::nullopt}}, {{"a", "y", "1"}, {4, 1}},
                {{"b", "x", "2"}, {8, std::nullopt}}};
    EXPECT_EQ(render(BuildPivot(in)),
              "subtotal:A/ [7;1;]\n"
              "subtotal:A/Xis/ [3;-;]\n"  // by key: x before y, whatever the labels say
              "detail:A/Xis/Um/ [1;-;]\n"
              "detail:A/Xis/Um/ [2;-;]\n"
              "subtotal:A/Ípsilon/ [4;1;]\n"
              "detail:A/Ípsilon/Um/ [4;1;]\n"
              "subtotal:B/ [8;-;]\n"
              "subtotal:B/Xis/ [8;-;]\n"
              "detail:B/Xis/Um/ [8;-;]\n"
              "total: [15;1;]\n");
}

TEST(Pivot, MembersSortByKeyNumbersAsNumbersOrByLabelIgnoringCaseAndAccents) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> labels;
        MemberOrder order;
        std::vector<std::string> keys;  // expected, in display order
    };
    const Case cases[] = {
        {"months as periods, never alphabetically by their names",
         {{"202602", "Fevereiro de 2026"}, {"202601", "Janeiro de 2026"}, {"202512", "Dezembro de 2025"}, {"202604", "Abril de 2026"}},
         MemberOrder::Key, {"202512", "202601", "202602", "202604"}},
        {"whole numbers by value, zeros in front kept apart",
         {{"166", "a"}, {"9", "b"}, {"21", "c"}, {"168", "d"}, {"-3", "e"}, {"009", "f"}, {"-10", "g"}, {"-2", "h"}}, MemberOrder::Key,
         {"-10", "-3", "-2", "009", "9", "21", "166", "168"}},
        {"codes as text", {{"P10", "x"}, {"P02", "y"}, {"A9", "z"}}, MemberOrder::Key, {"A9", "P02", "P10"}},
        {"numbers first, then codes: one order however they mix", {{"10", "x"}, {"1A", "y"}, {"2", "z"}, {"9A", "w"}},
         MemberOrder::Key, {"2", "10", "1A", "9A"}},
        {"labels ignoring case and accents, then keys",
         {{"P03", "Óleo"}, {"P02", "açúcar"}, {"P01", "Café"}, {"P05", "oleo"}, {"P04", "Abacate"}}, MemberOrder::Label,
         {"P04", "P02", "P01", "P05", "P03"}},  // equal but for the accent: the plain one first
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const CubeMember& m : SortedMembers(c.labels, c.order)) got.push_back(m.key);
        EXPECT_EQ(got, c.keys) << c.name;
    }
}

TEST(Pivot, PagesChooseCellsAndColumnsCarryTheirOwnTotals) {
    PivotInput in;
    in.rowDims = 1;
    in.colDims = 1;
    in.pageDims = 1;
    in.measures = 1;
    in.labels = {{{"r1", "R1"}, {"r2", "R2"}}, {{"c1", "C1"}, {"c2", "C2"}}, {{"p1", "P1"}, {"p2", "P2"}}};
    in.cells = {{{"r1", "c1", "p1"}, {1}}, {{"r1", "c2", "p2"}, {2}}, {{"r2", "c2", "p1"}, {4}}, {{"r2", "c2", "p2"}, {8}}};
    in.pageChoice = {std::nullopt};
    PivotGrid all = BuildPivot(in);
    EXPECT_EQ(all.columnKeys, (std::vector<std::vector<std::string>>{{"C1"}, {"C2"}}));
    EXPECT_EQ(render(all), "detail:R1/ [1;] [2;] [3;]\ndetail:R2/ [-;] [12;] [12;]\ntotal: [1;] [14;] [15;]\n");
    in.pageChoice = {std::string("p2")};
    PivotGrid p2 = BuildPivot(in);
    EXPECT_EQ(p2.columnKeys, (std::vector<std::vector<std::string>>{{"C2"}}));
    EXPECT_EQ(render(p2), "detail:R1/ [2;] [2;]\ndetail:R2/ [8;] [8;]\ntotal: [10;] [10;]\n");
    in.pageChoice = {std::string("p9")};  // a member no cell has: nothing, not every page
    EXPECT_TRUE(BuildPivot(in).Empty()) << render(BuildPivot(in));
    in.cells.clear();
    EXPECT_TRUE(BuildPivot(in).Empty());
}

// Reading the grid differently, from the same cells: order by label, sort by a measure's total,
// collapse one group or a whole level, subtotals off, each percentage (null and zero bases).
TEST(Pivot, OrdersSortsCollapsesAndShowsPercentagesFromTheSameCells) {
    PivotInput base;
    base.rowDims = 2;
    base.colDims = 1;
    base.measures = 1;
    base.labels = {{{"a", "Zeta"}, {"b", "Alfa"}, {"c", "Meio"}}, {{"1", "Um"}, {"2", "Dois"}}, {{"x", "X"}, {"y", "Y"}}};
    base.cells = {{{"a", "1", "x"}, {10}}, {{"a", "2", "y"}, {30}}, {{"b", "1", "x"}, {5}}, {{"b", "2", "x"}, {5}},
                  {{"c", "1", "y"}, {0}}, {{"c", "2", "x"}, {std::nullopt}}};
    struct Case {
        const char* name;
        std::function<void(PivotView&)> set;
        std::string grid;
    };
    const Case cases[] = {
        {"by key, every subtotal", [](PivotView&) {},
         "subtotal:Zeta/ [10;] [30;] [40;]\ndetail:Zeta/Um/ [10;] [-;] [10;]\ndetail:Zeta/Dois/ [-;] [30;] [30;]\n"
         "subtotal:Alfa/ [10;] [-;] [10;]\ndetail:Alfa/Um/ [5;] [-;] [5;]\ndetail:Alfa/Dois/ [5;] [-;] [5;]\n"
         "subtotal:Meio/ [-;] [0;] [0;]\ndetail:Meio/Um/ [-;] [0;] [0;]\ndetail:Meio/Dois/ [-;] [-;] [-;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"the outer level by label, subtotals off",
         [](PivotView& v) {
             v.order = {MemberOrder::Label};
             v.subtotals = false;
         },
         "detail:Alfa/Um/ [5;] [-;] [5;]\ndetail:Alfa/Dois/ [5;] [-;] [5;]\ndetail:Meio/Um/ [-;] [0;] [0;]\n"
         "detail:Meio/Dois/ [-;] [-;] [-;]\ndetail:Zeta/Um/ [10;] [-;] [10;]\ndetail:Zeta/Dois/ [-;] [30;] [30;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"ascending by the total within each level, ties in member order, no value last",
         [](PivotView& v) {
             v.sortMeasure = 0;
             v.sortDescending = false;
             v.subtotals = false;
         },
         "detail:Meio/Um/ [-;] [0;] [0;]\ndetail:Meio/Dois/ [-;] [-;] [-;]\ndetail:Alfa/Um/ [5;] [-;] [5;]\n"
         "detail:Alfa/Dois/ [5;] [-;] [5;]\ndetail:Zeta/Um/ [10;] [-;] [10;]\ndetail:Zeta/Dois/ [-;] [30;] [30;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"descending", [](PivotView& v) { v.sortMeasure = 0; },
         "subtotal:Zeta/ [10;] [30;] [40;]\ndetail:Zeta/Dois/ [-;] [30;] [30;]\ndetail:Zeta/Um/ [10;] [-;] [10;]\n"
         "subtotal:Alfa/ [10;] [-;] [10;]\ndetail:Alfa/Um/ [5;] [-;] [5;]\ndetail:Alfa/Dois/ [5;] [-;] [5;]\n"
         "subtotal:Meio/ [-;] [0;] [0;]\ndetail:Meio/Um/ [-;] [0;] [0;]\ndetail:Meio/Dois/ [-;] [-;] [-;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"descending by one column's value, not the total's",
         [](PivotView& v) {
             v.sortMeasure = 0;
             v.sortColumn = std::vector<std::string>{"X"};
             v.subtotals = false;
         },
         "detail:Zeta/Um/ [10;] [-;] [10;]\ndetail:Zeta/Dois/ [-;] [30;] [30;]\ndetail:Alfa/Um/ [5;] [-;] [5;]\n"
         "detail:Alfa/Dois/ [5;] [-;] [5;]\ndetail:Meio/Um/ [-;] [0;] [0;]\ndetail:Meio/Dois/ [-;] [-;] [-;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"a column no longer there sorts by the total",
         [](PivotView& v) {
             v.sortMeasure = 0;
             v.sortColumn = std::vector<std::string>{"gone"};
             v.collapsed = {PivotView::Collapse{true, {}}};
             v.sortDescending = false;
         },
         "subtotal:Meio/ [-;] [0;] [0;]\nsubtotal:Alfa/ [10;] [-;] [10;]\nsubtotal:Zeta/ [10;] [30;] [40;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"one group collapsed, even with subtotals off",
         [](PivotView& v) {
             v.collapsed = {PivotView::Collapse{false, {"a"}}};
             v.subtotals = false;
         },
         "subtotal:Zeta/ [10;] [30;] [40;]\ndetail:Alfa/Um/ [5;] [-;] [5;]\ndetail:Alfa/Dois/ [5;] [-;] [5;]\n"
         "detail:Meio/Um/ [-;] [0;] [0;]\ndetail:Meio/Dois/ [-;] [-;] [-;]\ntotal: [20;] [30;] [50;]\n"},
        {"the whole level collapsed", [](PivotView& v) { v.collapsed = {PivotView::Collapse{true, {}}}; },
         "subtotal:Zeta/ [10;] [30;] [40;]\nsubtotal:Alfa/ [10;] [-;] [10;]\nsubtotal:Meio/ [-;] [0;] [0;]\n"
         "total: [20;] [30;] [50;]\n"},
        {"percent of the grand total",
         [](PivotView& v) {
             v.collapsed = {PivotView::Collapse{true, {}}};
             v.show = ShowAs::PercentTotal;
         },
         "subtotal:Zeta/ [20;] [60;] [80;]\nsubtotal:Alfa/ [20;] [-;] [20;]\nsubtotal:Meio/ [-;] [0;] [0;]\n"
         "total: [40;] [60;] [100;]\n"},
        {"percent of the line's total: a zero base gives no value",
         [](PivotView& v) {
             v.collapsed = {PivotView::Collapse{true, {}}};
             v.show = ShowAs::PercentRow;
         },
         "subtotal:Zeta/ [25;] [75;] [100;]\nsubtotal:Alfa/ [100;] [-;] [100;]\nsubtotal:Meio/ [-;] [-;] [-;]\n"
         "total: [40;] [60;] [100;]\n"},
        {"percent of the column's total",
         [](PivotView& v) {
             v.collapsed = {PivotView::Collapse{true, {}}};
             v.show = ShowAs::PercentColumn;
         },
         "subtotal:Zeta/ [50;] [100;] [80;]\nsubtotal:Alfa/ [50;] [-;] [20;]\nsubtotal:Meio/ [-;] [0;] [0;]\n"
         "total: [100;] [100;] [100;]\n"},
    };
    for (const Case& c : cases) {
        PivotInput in = base;
        c.set(in.view);
        std::string got = render(BuildPivot(in));
        EXPECT_EQ(got, c.grid) << c.name << "\ngot:\n" << got << "expected:\n" << c.grid;
    }
}

// The chart reads the lines shown at the deepest level as categories and the columns × measures as
// series; past the limits the rest is summed as "Outros", absent values staying absent.
TEST(Pivot, ChartsTheDeepestLinesShownAndSumsTheRestAsOutros) {
    PivotGrid g;
    g.columnKeys = {{"Jan"}, {"Fev"}, {"Mar"}};
    g.AddLine("subtotal", {"A"}, {{1, 10}, {2, 20}, {3, 30}, {6, 60}});
    g.AddLine("detail", {"A", "x"}, {{1, 10}, {2, 20}, {3, 30}, {6, 60}});
    g.AddLine("subtotal", {"B"}, {{4, std::nullopt}, {std::nullopt, std::nullopt}, {5, 50}, {9, 50}});  // collapsed
    g.AddLine("detail", {"C", "y"}, {{7, 70}, {std::nullopt, std::nullopt}, {std::nullopt, 1}, {7, 71}});
    g.AddLine("total", {}, {{12, 80}, {2, 20}, {8, 81}, {22, 181}});
    auto render = [](const PivotChart& c) {
        std::string out;
        for (auto& cat : c.categories) out += cat + "|";
        out += "\n";
        for (auto& s : c.series) {
            out += s.name + ":";
            for (auto& v : s.values) out += (v ? std::to_string(static_cast<int>(*v)) : std::string("-")) + ",";
            out += "\n";
        }
        return out;
    };
    struct Case {
        const char* name;
        PivotChart chart;
        std::string expected;
    };
    const Case cases[] = {
        {"every series and category", BuildChart(g, {"Vl", "Qt"}),
         "A / x|B|C / y|\nJan - Vl:1,4,7,\nJan - Qt:10,-,70,\nFev - Vl:2,-,-,\nFev - Qt:20,-,-,\nMar - Vl:3,5,-,\n"
         "Mar - Qt:30,50,1,\n"},
        {"four series at most, two categories", BuildChart(g, {"Vl", "Qt"}, 4, 2),
         "A / x|Outros|\nJan - Vl:1,11,\nJan - Qt:10,70,\nFev - Vl:2,-,\nOutros:53,56,\n"},
    };
    for (const Case& c : cases) {
        std::string got = render(c.chart);
        EXPECT_EQ(got, c.expected) << c.name << "\ngot:\n" << got;
    }
    PivotGrid rowsOnly;  // no column dimension: the grand-total column, one series per measure
    rowsOnly.AddLine("detail", {"A"}, {{5}});
    rowsOnly.AddLine("total", {}, {{5}});
    EXPECT_EQ(render(BuildChart(rowsOnly, {"Vl"})), "A|\nVl:5,\n");
    PivotGrid noRows;
    noRows.AddLine("total", {}, {{5}});
    EXPECT_EQ(render(BuildChart(noRows, {"Vl"})), "Total|\nVl:5,\n");
}

// A saved view reads back as it was written, whatever its settings hold; the reader refuses what a
// careless edit or another program could leave in the file, naming the field.
TEST(SavedViewFile, ReadsBackWhatItWroteAndRefusesWhatIsNotAView) {
    SavedView v;
    v.lists = {{{"Faturamento", "Devoluções"}, {"Produto", "Cliente"}, {"0", "0.1"}, {"Período"}, {"0_Período"}, {"Filial", "Região d'Oeste"}, {"0_Filial", "1_Região d'Oeste"}}};
    v.filters = {{"Produto", "'P01','P''03'"}};
    v.rows = {"Cliente", "Produto"};
    v.columns = {"Período"};
    v.pages = {{"Filial", std::string("São Paulo")}, {"Região d'Oeste", std::nullopt}};
    v.settings.order = {{"Produto", MemberOrder::Label}};
    v.settings.sortFact = "Devoluções";
    v.settings.sortDescending = false;
    v.settings.sortColumn = std::vector<std::string>{"2026-01"};
    v.settings.collapsed = {{"Cliente", {true, {}}}, {"Produto", {false, {"Café", "Pão d'Ouro"}}}};
    v.settings.subtotals = false;
    v.settings.show = ShowAs::PercentColumn;
    v.settings.chart = "bar";
    SavedView back = ParseSavedView(SavedViewText(v));
    EXPECT_TRUE(back == v) << SavedViewText(back) << "\nwritten:\n" << SavedViewText(v);

    const std::string good = SavedViewText(v);
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    struct Bad {
        std::string text, message;
    };
    const Bad bad[] = {
        {"", "O arquivo não é uma visão salva do QEL, ou está incompleto."},
        {"[1, 2]", "O arquivo não é uma visão salva do QEL, ou está incompleto."},
        {with("\"format\": 1", "\"format\": \"1\""), "O arquivo não é uma visão salva do QEL: versão de formato inválida."},
        {with("\"format\": 1", "\"format\": 2"),
         "A visão foi salva num formato mais novo (2) do que este programa lê (1); atualize o QEL para abri-la."},
        {with("\"0.1\"", "1"), "O arquivo não é uma visão salva válida: \"treeLinhas\" tem um item que não é texto."},
        {with("\"0_Período\"", ""), "O arquivo não é uma visão salva válida: \"treeColunas\" não acompanha \"Colunas\"."},
        {with("\"show\": \"percent-column\"", "\"show\": \"metade\""), "O arquivo não é uma visão salva válida: \"show\" desconhecido."},
        {with("\"subtotals\": false", "\"subtotals\": 0"), "O arquivo não é uma visão salva válida: \"subtotals\" não é verdadeiro nem falso."},
        {with("\"direction\": \"asc\"", "\"direction\": \"up\""), "O arquivo não é uma visão salva válida: \"sort\" inválido."},
        {with("\"format\": 1", "\"format\": 0"), "O arquivo não é uma visão salva do QEL: versão de formato inválida."},
        {with("\"stlCDfiltro\": [\n      \"'P01','P''03'\"\n    ]", "\"stlCDfiltro\": []"),
         "O arquivo não é uma visão salva válida: \"stlCDfiltro\" não acompanha \"stlDSfiltro\"."},
        {with("\"current\": \"São Paulo\"", "\"current\": 7"), "O arquivo não é uma visão salva válida: \"pages\" tem uma página inválida."},
        {with("\"chart\": \"bar\"", "\"chart\": \"pizza\""), "O arquivo não é uma visão salva válida: \"chart\" desconhecido."},
        // An axis may only place a dimension of the view: one it does not have is refused, not skipped.
        {with("\"rows\": [\n      \"Cliente\"", "\"rows\": [\n      \"Vendedor\""),
         "O arquivo não é uma visão salva válida: \"rows\" nomeia a dimensão Vendedor, que a visão não tem."},
        {with("\"columns\": [\n      \"Período\"", "\"columns\": [\n      \"Ano\""),
         "O arquivo não é uma visão salva válida: \"columns\" nomeia a dimensão Ano, que a visão não tem."},
        {with("\"dimension\": \"Filial\"", "\"dimension\": \"Faturamento\""),
         "O arquivo não é uma visão salva válida: \"pages\" nomeia a dimensão Faturamento, que a visão não tem."},
    };
    for (const Bad& b : bad) {
        try {
            ParseSavedView(b.text);
            ADD_FAILURE() << "accepted: " << b.text.substr(0, 80);
        } catch (const ESavedView& e) {
            EXPECT_EQ(std::string(e.what()), b.message);
        }
    }
    // As many items as the screen builds (31) are a view; one more is not.
    SavedView full;
    full.lists[0] = {"Faturamento"};
    for (int i = 0; i < 30; ++i) {
        full.lists[1].push_back("Dimensão " + std::to_string(i));
        full.lists[2].push_back(std::to_string(i));
    }
    full.rows = full.lists[1];
    EXPECT_TRUE(ParseSavedView(SavedViewText(full)) == full);
    full.lists[5] = {"Filial"};
    full.lists[6] = {"0_Filial"};
    full.pages = {{"Filial", std::nullopt}};
    try {
        ParseSavedView(SavedViewText(full));
        ADD_FAILURE() << "a view of 32 items accepted";
    } catch (const ESavedView& e) {
        EXPECT_EQ(std::string(e.what()), "O arquivo não é uma visão salva válida: a visão tem 32 itens, mais que os 31 que a tela permite.");
    }
    EXPECT_EQ(ViewNameOf("/home/op/Documentos/Vendas d'Ávila.2026.qelv"), "Vendas d'Ávila.2026");
    EXPECT_EQ(ViewNameOf("visao"), "visao");
}

// The grid comes out the same whether the cells' keys are coded by the caller or by BuildPivot, and
// whether the row tuples fit one number or are so wide (many dimensions of many members) that they
// are kept as lists.
TEST(Pivot, CodedCellsAndWideRowTuplesGiveTheSameGrid) {
    PivotInput narrow;
    const size_t rowDims = 26;
    narrow.rowDims = rowDims;
    narrow.colDims = 1;
    narrow.measures = 1;
    narrow.labels.resize(rowDims + 1);
    std::vector<std::vector<std::string>> rows = {std::vector<std::string>(rowDims, "b"), std::vector<std::string>(rowDims, "a"),
                                                  std::vector<std::string>(rowDims, "a")};
    rows[2].back() = "b";
    for (size_t d = 0; d < rowDims; ++d) narrow.labels[d] = {{"a", "A"}, {"b", "B"}};
    narrow.labels[rowDims] = {{"x", "X"}, {"y", "Y"}};
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> keys = rows[i];
        keys.push_back(i == 1 ? "y" : "x");
        narrow.cells.push_back({keys, {static_cast<double>(i + 1)}});
    }
    PivotInput wide = narrow;  // 16 members in every dimension: 16^26 row tuples do not fit one number
    for (size_t d = 0; d < rowDims; ++d)
        for (char c = 'c'; c < 'c' + 14; ++c) wide.labels[d][std::string(1, c)] = std::string(1, static_cast<char>(c - 32));
    PivotInput coded = narrow;
    coded.coded = MakeCells(coded.cells, rowDims + 1, 1);
    coded.cells.clear();  // the coded cells alone make the grid
    for (PivotView v : {PivotView{}, [] {
                            PivotView s;
                            s.sortMeasure = 0;
                            s.subtotals = false;
                            return s;
                        }()}) {
        narrow.view = wide.view = coded.view = v;
        const std::string expected = render(BuildPivot(narrow));
        EXPECT_EQ(render(BuildPivot(wide)), expected);
        EXPECT_EQ(render(BuildPivot(coded)), expected);
    }
    // The detail lines by member order: A…A/B before B…B; the column totals run down every level.
    PivotGrid g = BuildPivot(narrow);
    EXPECT_EQ(g.columnKeys, (std::vector<std::vector<std::string>>{{"X"}, {"Y"}}));
    EXPECT_EQ(render(g).substr(render(g).rfind("total:")), "total: [4;] [2;] [6;]\n");
}

// Rows are put in display order by reading the tuple slots through when most are used, and by
// sorting the few used when the members could make millions: both give the same lines.
TEST(Pivot, FewRowsAmongManyPossibleComeInTheSameOrderAsAmongFew) {
    auto input = [](size_t members) {
        PivotInput in;
        in.rowDims = 2;
        in.measures = 1;
        in.labels.resize(2);
        for (size_t d = 0; d < 2; ++d)
            for (size_t k = 0; k < members; ++k) in.labels[d][std::to_string(k)] = "M" + std::to_string(k);
        in.cells = {{{"2", "0"}, {1}}, {{"0", "2"}, {2}}, {{"0", "1"}, {std::nullopt}}, {{"1", "2"}, {4}}};
        return in;
    };
    const std::string few = render(BuildPivot(input(3)));
    EXPECT_EQ(few, "subtotal:M0/ [2;]\ndetail:M0/M1/ [-;]\ndetail:M0/M2/ [2;]\nsubtotal:M1/ [4;]\ndetail:M1/M2/ [4;]\n"
                   "subtotal:M2/ [1;]\ndetail:M2/M0/ [1;]\ntotal: [7;]\n");
    EXPECT_EQ(render(BuildPivot(input(3000))), few);  // 9,000,000 possible rows, 4 used
}

// What a spreadsheet would take for a formula is shown as text, whichever sign starts it; a field
// holding the separator, a quote or a line break stays one field; a sum that rounds to nothing is 0,
// never -0.
TEST(CsvField, GuardsFormulasQuotesWhatWouldSplitAndNeverWritesMinusZero) {
    struct Text {
        std::string label, field;
    };
    const Text texts[] = {
        {"Café", "Café"},
        {"-1+2", "'-1+2"},
        {"=SOMA(A1:A9)", "'=SOMA(A1:A9)"},
        {"+55 11", "'+55 11"},
        {"@hoje", "'@hoje"},
        {"\tx", "'\tx"},
        {"a-b", "a-b"},
        {"Pão; leite", "\"Pão; leite\""},
        {"Caixa \"A\"", "\"Caixa \"\"A\"\"\""},
        {"duas\nlinhas", "\"duas\nlinhas\""},
        {"-a;b", "\"'-a;b\""},
        {"", ""},
    };
    for (const Text& t : texts) EXPECT_EQ(CsvTextField(t.label), t.field) << t.label;

    struct Number {
        std::optional<double> value;
        int decimals;
        std::string field;
    };
    const Number numbers[] = {
        {-0.0, 0, "0"},      {-0.0, 2, "0,00"},   {-0.004, 2, "0,00"}, {-0.4, 0, "0"},        {-0.04, 1, "0,0"},
        {-0.006, 2, "-0,01"}, {-1.5, 1, "-1,5"},  {0.1 + 0.2, 2, "0,30"}, {1234567.891, 2, "1234567,89"},
        {std::nullopt, 2, ""}, {-10, 0, "-10"},
    };
    for (const Number& n : numbers)
        EXPECT_EQ(CsvNumberField(n.value, n.decimals), n.field) << (n.value ? std::to_string(*n.value) : "none") << " with " << n.decimals;
}

// A file is written beside its name and renamed over it: a name (or the temporary beside it) that is a
// pipe, a device or a folder would be replaced, or would hold the write forever. Both are refused;
// a regular file, or a link to one, is written.
TEST(WholeFile, NeverReplacesNorWritesThroughASpecialFile) {
    char name[] = "/tmp/qelwholeXXXXXX";
    const std::filesystem::path dir = mkdtemp(name);
    auto refusal = [](const std::string& path) { return "'" + path + "' não é um arquivo comum; escolha outro nome"; };
    auto written = [](const std::string& path, const std::string& text) -> std::string {
        try {
            WriteWholeFile(path, text);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    };
    const std::string pipe = (dir / "alvo.csv").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(written(pipe, "x"), refusal(pipe));
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));

    // A pipe where the temporary goes: held open for reading here, so that a write through it ends.
    const std::string beside = (dir / "b.csv").string();
    ASSERT_EQ(mkfifo((beside + ".parcial").c_str(), 0600), 0);
    const int reader = open((beside + ".parcial").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(written(beside, "x"), refusal(beside + ".parcial"));
    EXPECT_FALSE(std::filesystem::exists(beside));
    close(reader);

    const std::string folder = (dir / "pasta.csv").string();
    std::filesystem::create_directory(folder);
    EXPECT_EQ(written(folder, "x"), refusal(folder));

    const std::string plain = (dir / "c.csv").string(), link = (dir / "d.csv").string();
    EXPECT_EQ(written(plain, "abc"), "");
    std::filesystem::create_symlink(plain, link);
    EXPECT_EQ(written(link, "def"), "");
    std::ifstream in(link);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "def");
    std::filesystem::remove_all(dir);
}
