// End to end: facts and dimensions entering the zones, moving between them and reordering, the
// command state, and the view build.
#include <gtest/gtest.h>

#include "support/e2e.hpp"

namespace {

using Strings = std::vector<std::string>;

const char* kEmpty = "pages:  | rows:  | cols:  | facts:  | filters: ";

// Dimensions named A to F, columns of the table of Faturamento and Quantidade.
const std::string kLetters =
    "INSERT INTO DIMENSAODIME VALUES ('11','A','','','',''),('12','B','','','',''),('13','C','','','',''),"
    "('14','D','','','',''),('15','E','','','',''),('16','F','','','','');"
    "INSERT INTO DIMENSAODW VALUES ('11','FVENDA','A'),('12','FVENDA','B'),('13','FVENDA','C'),('14','FVENDA','D'),"
    "('15','FVENDA','E'),('16','FVENDA','F');"
    "ALTER TABLE FVENDA ADD COLUMN A; ALTER TABLE FVENDA ADD COLUMN B; ALTER TABLE FVENDA ADD COLUMN C;"
    "ALTER TABLE FVENDA ADD COLUMN D; ALTER TABLE FVENDA ADD COLUMN E; ALTER TABLE FVENDA ADD COLUMN F;";

nlohmann::json enabled(bool remove, bool build) {
    return {{"sbtExcluir", remove}, {"sbtCancelar", remove}, {"sbtConfirmar", build}, {"sbtVerificar", true},
            {"mnuExcluirItem", remove}, {"mnuExcluirTodos", remove}, {"mnuConfirmar", build}, {"mnuAtualizar", true}};
}

nlohmann::json view(Strings facts, Strings rows, Strings rowCodes, Strings cols, Strings colCodes, Strings pages,
                    Strings pageCodes) {
    return {{"Fatos", facts}, {"Linhas", rows},      {"treeLinhas", rowCodes}, {"Colunas", cols},
            {"treeColunas", colCodes}, {"Paginas", pages}, {"treePaginas", pageCodes}};
}

}  // namespace

TEST(Transfer, DoubleClickAndEnterBringItemsToTheirDefaultZones) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\nkey Enter\ndump\n"                                     // an area: nothing
        "press trvFatos Vendas Faturamento\nkey Enter\ndblclick trvFatos Vendas Devoluções\ndump\n"
        "dblclick trvDimensoes Filial\n"                                                       // not usable: nothing
        "press trvDimensoes Produto\nkey Enter\ndblclick trvDimensoes Cliente\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), kEmpty);
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows:  | cols:  | facts: Faturamento, Devoluções | filters: ");
    EXPECT_EQ(Marks(r.states[1], "trvDimensoes"), (Strings{"Cliente:1", "Filial:0", "Período:0", "Produto:1"}));
    EXPECT_EQ(Layout(r.states[2]), "pages:  | rows: Produto, Cliente | cols:  | facts: Faturamento, Devoluções | filters: ");
    EXPECT_EQ(r.states[2]["focus"], "trvDimensoes");
    EXPECT_TRUE(r.states[2]["current"].is_null());  // no zone was entered
    EXPECT_EQ(r.states[2]["enabled"], enabled(true, true));
}

TEST(Transfer, DropsFollowTheAcceptanceRulesAndCatalogueItemsAlwaysGoLast) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\n"
        "drag trvFatos Vendas Faturamento --to trvRows\n"  // a fact into a dimension zone
        "drag trvDimensoes Produto --to trvFacts\n"        // a dimension into the facts zone
        "drag trvDimensoes Produto --to trvFatos\ndrag trvDimensoes Produto --to trvDimensoes\n"
        "drag trvDimensoes Produto --to scrOpcoesDW\ndump\n"
        "drag trvFatos Vendas Faturamento --to trvFacts\ndrag trvFatos Vendas --to trvFacts\n"
        "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
        "drag trvDimensoes Filial --to trvRows --at Produto\n"  // onto the middle: still appended
        "drag trvDimensoes Período --to trvPages\n"
        "drag trvDimensoes Produto --to trvCols\ndrag trvDimensoes Produto --to trvRows\n"  // duplicates
        "drag trvRows Cliente --to trvFacts\ndrag trvRows Cliente --to trvFatos\ndrag trvRows Cliente --to trvDimensoes\n"
        "drag trvRows Cliente --to scrOpcoesDW\ndrag trvFacts Faturamento --to trvRows\n"
        "drag trvFacts Faturamento --to scrOpcoesDW\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), kEmpty);
    EXPECT_EQ(Layout(r.states[1]), "pages: Período | rows: Produto, Cliente, Filial | cols:  | facts: Faturamento | filters: ");
    EXPECT_EQ(r.states[1]["current"], "trvFacts");  // the last drag began with a press there
}

TEST(Transfer, DuplicatesAreRefusedAcrossZonesGroupsAndKinds) {
    E2E e("INSERT INTO DIMENSAODIME VALUES ('7','Quantidade','','','','');"
          "INSERT INTO DIMENSAODW VALUES ('7','FVENDA','QT');");
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\n"
        "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
        "popup trvRows Cliente\nchoose Agrupar Produto\n"
        "drag trvDimensoes Cliente --to trvCols\ndblclick trvDimensoes Cliente\n"  // a group member counts
        "drag trvDimensoes Quantidade --to trvPages\ndblclick trvFatos Vendas Quantidade\ndump\n"
        "click sbtCancelar\ndblclick trvFatos Vendas Quantidade\ndrag trvDimensoes Quantidade --to trvRows\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // A dimension and a fact of one name: whichever comes second is refused.
    EXPECT_EQ(Layout(r.states[0]), "pages: Quantidade | rows: Produto{Cliente} | cols:  | facts:  | filters: ");
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows:  | cols:  | facts: Quantidade | filters: ");
}

TEST(Transfer, MovesBetweenZonesCarryMarksAndMembers) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
        "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
        "drag trvDimensoes Filial --to trvRows\ndrag trvDimensoes Período --to trvPages\n"
        "popup trvRows Cliente\nchoose Agrupar Produto\n"
        "answer confirm \"'P01'\"\npress trvRows Produto\nkey F9\n"
        "expand trvRows Produto\nanswer confirm \"'C01'\"\ndblclick trvRows Produto Cliente\ndump\n"
        "drag trvRows Produto --to trvPages\ndump\n"
        "expand trvPages Produto\ndrag trvPages Produto Cliente --to trvCols\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string filters = "filters: Produto='P01' Cliente='C01'";
    EXPECT_EQ(Layout(r.states[0]), "pages: Período | rows: Produto*{Cliente*}, Filial | cols:  | facts: Faturamento | " + filters);
    // The head arrives last with its members in order; the filter entries stay valid.
    EXPECT_EQ(Layout(r.states[1]), "pages: Período, Produto*{Cliente*} | rows: Filial | cols:  | facts: Faturamento | " + filters);
    // A member dragged out of its group arrives at the top level; its head stays.
    EXPECT_EQ(Layout(r.states[2]), "pages: Período, Produto* | rows: Filial | cols: Cliente* | facts: Faturamento | " + filters);
}

TEST(Reorder, WithinAZoneBeforeTheItemDroppedOnAndNeverDeeperThanOneLevel) {
    E2E e("INSERT INTO DIMENSAODIME VALUES ('7','Canal','','','','');"
          "INSERT INTO DIMENSAODW VALUES ('7','FVENDA','CDCANAL');");
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Quantidade\n"
        "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\ndrag trvDimensoes Filial --to trvRows\n"
        "dump\n"
        "drag trvRows Filial --to trvRows --at Produto\n"   // onto the first item: becomes first
        "drag trvRows Cliente --to trvRows\n"               // onto empty space: keeps its place
        "drag trvRows Produto --to trvRows --at Produto\n"  // onto itself: nothing
        "dump\n"
        "drag trvFacts Quantidade --to trvFacts --at Faturamento\ndump\n"
        "popup trvRows Cliente\nchoose Agrupar Filial\nexpand trvRows Filial\n"
        "drag trvRows Filial --to trvRows --at Filial Cliente\n"   // into its own group: nothing
        "drag trvRows Produto --to trvRows --at Filial Cliente\n"  // onto a member: joins before it
        "dump\n"
        "drag trvDimensoes Período --to trvRows\ndrag trvDimensoes Canal --to trvRows\n"
        "popup trvRows Canal\nchoose Agrupar Período\n"
        "drag trvRows Período --to trvRows --at Filial Produto\n"  // a head with members onto a member
        "dump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Zone(r.states[0], "trvRows"), "Produto, Cliente, Filial");
    EXPECT_EQ(Zone(r.states[1], "trvRows"), "Filial, Produto, Cliente");
    EXPECT_EQ(r.states[1]["enabled"], r.states[0]["enabled"]);
    EXPECT_EQ(Zone(r.states[2], "trvFacts"), "Quantidade, Faturamento");
    EXPECT_EQ(Zone(r.states[3], "trvRows"), "Filial{Produto, Cliente}");
    // The head and its members join the target's group in order: nothing is two levels deep.
    EXPECT_EQ(Zone(r.states[4], "trvRows"), "Filial{Período, Canal, Produto, Cliente}");
}

TEST(CommandState, FollowsTheZoneContentsAndTheCurrentZoneFollowsTheFocus) {
    E2E e;
    HostRun r = e.Run(
        "open\ndump\n"
        "press trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndump\n"
        "click sbtCancelar\ndrag trvDimensoes Produto --to trvRows\ndump\n"
        "dblclick trvFatos Vendas Faturamento\ndump\n"
        "drag trvDimensoes Cliente --to trvRows\nfocus trvCols\ndump\n"
        "press trvRows Cliente\nfocus trvFatos\nkey Del\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["enabled"], enabled(false, false));
    EXPECT_EQ(r.states[1]["enabled"], enabled(true, false));  // facts only
    EXPECT_EQ(r.states[2]["enabled"], enabled(true, false));  // dimensions only
    EXPECT_EQ(r.states[3]["enabled"], enabled(true, true));
    EXPECT_EQ(r.states[4]["current"], "trvCols");  // reached with the keyboard
    // The focus on a catalogue keeps the zone used last current: Del removes its selected item.
    EXPECT_EQ(r.states[5]["current"], "trvRows");
    EXPECT_EQ(r.states[5]["focus"], "trvFatos");
    EXPECT_EQ(Zone(r.states[5], "trvRows"), "Produto");
}

TEST(Build, WritesTheDefinitionZoneByZoneAndClosesTheScreen) {
    E2E e(kLetters);
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
        "drag trvDimensoes A --to trvCols\ndrag trvDimensoes B --to trvCols\ndrag trvDimensoes C --to trvCols\n"
        "popup trvCols B\nchoose Agrupar A\n"
        "drag trvDimensoes D --to trvRows\ndrag trvDimensoes E --to trvRows\ndrag trvDimensoes F --to trvRows\n"
        "popup trvRows E\nchoose Agrupar D\n"
        "drag trvDimensoes Produto --to trvPages\n"
        "answer confirm \"'P01'\"\npress trvPages Produto\nkey F9\n"
        "key Ctrl+F2\ndump\n"
        // A new screen with fewer items: nothing of the first build stays.
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Quantidade\ndrag trvDimensoes A --to trvCols\n"
        "menu Manutenção 'Construir Visão de DW'\ndump\n"
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Quantidade\ndblclick trvDimensoes B\n"
        "click sbtConfirmar\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json& first = r.states[0];
    EXPECT_EQ(first["view"], view({"Faturamento"}, {"D", "E", "F"}, {"0", "0.1", "2"}, {"A", "B", "C"}, {"0_A", "0.1_B", "2_C"},
                                  {"Produto"}, {"0_Produto"}));
    EXPECT_TRUE(first["screen"].is_null());
    EXPECT_EQ(first["module"]["bostcriado"], false);
    EXPECT_EQ(first["cube"]["opened"], 1);
    EXPECT_TRUE(EventsOf(first, "message").empty()) << first["events"];
    // The build hands the filters over as they were left.
    EXPECT_EQ(first["filters"], (nlohmann::json{{"stlDSfiltro", {"Produto"}}, {"stlCDfiltro", {"'P01'"}}}));

    EXPECT_EQ(r.states[1]["view"], view({"Quantidade"}, {}, {}, {"A"}, {"0_A"}, {}, {}));
    EXPECT_EQ(r.states[1]["filters"], (nlohmann::json{{"stlDSfiltro", Strings{}}, {"stlCDfiltro", Strings{}}}));
    EXPECT_EQ(r.states[2]["view"], view({"Quantidade"}, {"B"}, {"0"}, {}, {}, {}, {}));
    EXPECT_EQ(r.states[2]["cube"]["opened"], 3);
}

TEST(Build, AllowsThirtyOneItemsNestedIncludedAndRefusesThirtyTwo) {
    std::string sql, dims;
    for (int i = 1; i <= 30; ++i) {
        std::string n = std::to_string(i);
        if (i < 10) n.insert(n.begin(), '0');
        sql += "INSERT INTO DIMENSAODIME VALUES ('" + std::to_string(100 + i) + "','D" + n + "','','','','');";
        sql += "INSERT INTO DIMENSAODW VALUES ('" + std::to_string(100 + i) + "','FVENDA','C" + n + "');";
        dims += "dblclick trvDimensoes D" + n + "\n";
    }
    E2E e(sql);
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Quantidade\n" + dims +
        "popup trvRows D02\nchoose Agrupar D01\npopup trvRows D04\nchoose Agrupar D03\n"
        "key Ctrl+F2\ndump\n"
        "press trvFacts Quantidade\nkey Del\nkey Ctrl+F2\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json& refused = r.states[0];
    EXPECT_EQ(EventsOf(refused, "message"),
              (std::vector<nlohmann::json>{Message("error",
                                                   "Não é permitido construir visões com mais de 31 ítens. Para continuar com a "
                                                   "construção da visão do DW, é necessário excluir ítens.")}));
    EXPECT_EQ(refused["view"], view({}, {}, {}, {}, {}, {}, {}));
    EXPECT_EQ(refused["cube"]["opened"], 0);
    EXPECT_EQ(refused["screen"]["instance"], 1);
    EXPECT_EQ(Zone(refused, "trvFacts"), "Faturamento, Quantidade");

    const nlohmann::json& built = r.states[1];
    EXPECT_EQ(built["cube"]["opened"], 1);
    // FVENDA has none of D01..D30's columns: the view cannot be computed, and the screen stays open
    // with its layout to be changed.
    EXPECT_FALSE(built["cube"]["viewer"]["message"].is_null());
    EXPECT_EQ(built["screen"]["instance"], 1);
    EXPECT_EQ(Zone(built, "trvFacts"), "Faturamento");
    ASSERT_EQ(built["view"]["treeLinhas"].size(), 30u);
    EXPECT_EQ(built["view"]["treeLinhas"][0], "0");
    EXPECT_EQ(built["view"]["treeLinhas"][1], "0.1");
    EXPECT_EQ(built["view"]["treeLinhas"][2], "2");
    EXPECT_EQ(built["view"]["treeLinhas"][3], "2.3");
    EXPECT_EQ(built["view"]["treeLinhas"][29], "29");
}

TEST(Build, CtrlF2DoesNothingWhileTheBuildIsDisabled) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndrag trvDimensoes Produto --to trvRows\nkey Ctrl+F2\n"
        "focus trvRows\nkey Ctrl+F2\nclick sbtConfirmar\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["cube"]["opened"], 0);
    EXPECT_EQ(r.states[0]["screen"]["instance"], 1);
    EXPECT_EQ(r.states[0]["view"], view({}, {}, {}, {}, {}, {}, {}));
    EXPECT_TRUE(EventsOf(r.states[0], "message").empty());
}
