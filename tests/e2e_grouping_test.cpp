// End to end: the dimension zones' context menu, rebuilt at each opening, and grouping.
#include <gtest/gtest.h>

#include "support/e2e.hpp"

namespace {

// Dimensions A, B, C, D and "P&D", linked to Faturamento's table.
const std::string kLetters =
    "INSERT INTO DIMENSAODIME VALUES ('11','A','','','',''),('12','B','','','',''),('13','C','','','',''),"
    "('14','D','','','',''),('15','P&D','','','','');"
    "INSERT INTO DIMENSAODW VALUES ('11','FVENDA','A'),('12','FVENDA','B'),('13','FVENDA','C'),('14','FVENDA','D'),"
    "('15','FVENDA','PD');";

const char* kOpen = "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n";

// The popup's entries as one line: caption, then (name) when it has one; submenus in brackets.
std::string entries(const nlohmann::json& items) {
    std::string out;
    for (auto& m : items) {
        if (!out.empty()) out += " ";
        out += m["caption"].get<std::string>();
        if (!m["name"].get<std::string>().empty()) {
            out += '(';
            out += m["name"].get<std::string>();
            out += ')';
        }
        if (!m["items"].empty()) {
            out += '[';
            out += entries(m["items"]);
            out += ']';
        }
    }
    return out;
}

nlohmann::json item(const std::string& caption, const std::string& shortcut, int tag, const std::string& name,
                    std::vector<nlohmann::json> items = {}) {
    return {{"caption", caption}, {"shortcut", shortcut}, {"tag", tag}, {"name", name}, {"items", items}};
}

}  // namespace

TEST(ContextMenu, OffersGroupingOnlyWhereItCanAct) {
    E2E e(kLetters);
    HostRun r = e.Run(std::string(kOpen) +
                      "dump\n"
                      "popup trvCols\ndump\n"  // an empty zone
                      "drag trvDimensoes A --to trvRows\npopup trvRows\ndump\n"  // nodes, none selected
                      "popup trvRows A\ndump\n"                                    // the only top-level node
                      "drag trvDimensoes B --to trvRows\ndrag trvDimensoes C --to trvRows\npopup trvRows B\ndump\n"
                      "popup trvRows B\ndump\n"  // opened twice: each entry once
                      "choose Agrupar A\nexpand trvRows A\npopup trvRows A B\ndump\n"
                      "popup trvRows A\ndump\n"  // a head whose member is never offered
                      "popup trvRows C\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.states[0]["popup"].is_null());
    const std::string basic = "Filtrar Excluir";
    EXPECT_EQ(entries(r.states[1]["popup"]), basic);
    EXPECT_EQ(entries(r.states[2]["popup"]), basic);
    EXPECT_EQ(entries(r.states[3]["popup"]), basic);
    const nlohmann::json abc = nlohmann::json::array(
        {item("Filtrar", "F9", 1, ""), item("Excluir", "Del", 2, ""), item("-", "", 3, ""),
         item("Agrupar", "", 0, "mnuGroup", {item("A", "", 0, "mnuPopup0"), item("C", "", 0, "mnuPopup2")})});
    EXPECT_EQ(r.states[4]["popup"], abc);
    EXPECT_EQ(r.states[5]["popup"], abc);
    EXPECT_EQ(entries(r.states[6]["popup"]), "Filtrar Excluir - Desagrupar");
    EXPECT_EQ(entries(r.states[7]["popup"]), "Filtrar Excluir - Agrupar(mnuGroup)[C(mnuPopup2)]");
    EXPECT_EQ(entries(r.states[8]["popup"]), "Filtrar Excluir - Agrupar(mnuGroup)[A(mnuPopup0)]");
}

TEST(Grouping, MakesOneFlatGroupAndUngroupingGoesToTheTop) {
    E2E e(kLetters);
    HostRun r = e.Run(std::string(kOpen) +
                      "drag trvDimensoes A --to trvRows\ndrag trvDimensoes B --to trvRows\ndrag trvDimensoes C --to trvRows\n"
                      "drag trvDimensoes D --to trvRows\n"
                      "popup trvRows D\nchoose Agrupar B\ndump\n"   // B heads D
                      "popup trvRows B\nchoose Agrupar A\ndump\n"   // B and its member D under A, all at one level
                      "popup trvRows C\nchoose Agrupar A\ndump\n"   // appended after A's members
                      "expand trvRows A\npress trvRows A C\npopup trvRows A C\nchoose Desagrupar\ndump\n"
                      "popup trvRows A D\nchoose Desagrupar\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Zone(r.states[0], "trvRows"), "A, B{D}, C");
    EXPECT_EQ(Zone(r.states[1], "trvRows"), "A{B, D}, C");
    EXPECT_EQ(Zone(r.states[2], "trvRows"), "A{B, D, C}");
    EXPECT_EQ(Zone(r.states[3], "trvRows"), "C, A{B, D}");  // the very top, not beside its group
    EXPECT_EQ(Zone(r.states[4], "trvRows"), "D, C, A{B}");
    // Grouping keeps the marks and touches neither the filters nor the command state.
    EXPECT_EQ(r.states[4]["enabled"], r.states[0]["enabled"]);
}

TEST(Grouping, KeepsFilterMarksAndFindsAHeadWhoseNameHasAnAmpersand) {
    E2E e(kLetters);
    HostRun r = e.Run(std::string(kOpen) +
                      "drag trvDimensoes 'P&D' --to trvCols\ndrag trvDimensoes Produto --to trvCols\n"
                      "answer confirm \"'P01'\"\npress trvCols Produto\nkey F9\n"
                      "popup trvCols Produto\ndump\nchoose Agrupar 'P&D'\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entries(r.states[0]["popup"]), "Filtrar Excluir - Agrupar(mnuGroup)[P&D(mnuPopup0)]");
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows:  | cols: P&D{Produto*} | facts: Faturamento | filters: Produto='P01'");
}

TEST(Grouping, KeysReachThePopupsEntriesAndTheDesignTimeOnesTakeNone) {
    E2E e(kLetters);
    HostRun r = e.Run(std::string(kOpen) +
                      "drag trvDimensoes Produto --to trvPages\ndrag trvDimensoes Cliente --to trvPages\n"
                      "press trvPages Produto\nanswer cancel\nkey F9\ndump\n"  // before any popup: "Filtrar" of the design
                      "key Del\ndump\n");                                // its "Excluir" has no action: the menu's takes Del
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(EventsOf(r.states[0], "dialog").size(), 1u);
    EXPECT_EQ(Zone(r.states[1], "trvPages"), "Cliente");
}

TEST(Grouping, NestedPositionCodesReachTheViewInEveryZone) {
    E2E e(kLetters);
    HostRun r = e.Run(std::string(kOpen) +
                      "drag trvDimensoes A --to trvRows\ndrag trvDimensoes B --to trvRows\n"
                      "drag trvDimensoes C --to trvCols\ndrag trvDimensoes D --to trvCols\n"
                      "drag trvDimensoes Produto --to trvPages\ndrag trvDimensoes Cliente --to trvPages\n"
                      "drag trvDimensoes Filial --to trvPages\n"
                      "popup trvRows A\nchoose Agrupar B\n"
                      "popup trvCols D\nchoose Agrupar C\n"
                      "popup trvPages Filial\nchoose Agrupar Cliente\n"
                      "key Ctrl+F2\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["view"],
              (nlohmann::json{{"Fatos", {"Faturamento"}},
                              {"Linhas", {"B", "A"}},
                              {"treeLinhas", {"0", "0.1"}},
                              {"Colunas", {"C", "D"}},
                              {"treeColunas", {"0_C", "0.1_D"}},
                              {"Paginas", {"Produto", "Cliente", "Filial"}},
                              {"treePaginas", {"0_Produto", "1_Cliente", "1.2_Filial"}}}));
}
