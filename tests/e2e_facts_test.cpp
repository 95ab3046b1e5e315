// End to end: the facts tree by business area and the dimension list of the selected area.
#include <gtest/gtest.h>

#include "support/e2e.hpp"

namespace {

using Names = std::vector<std::string>;

const Names kVendas{"Cliente:1", "Filial:1", "Período:1", "Produto:1"};
const Names kEstoque{"Filial:1", "Fornecedor:1", "Produto:1"};

}  // namespace

TEST(FactsTree, FolderImagesFollowEveryExpansionAndCollapseAndARefreshCollapsesAll) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndump\n"
        "press trvFatos Vendas Quantidade\npress trvFatos Estoque\ndump\n"
        "collapse trvFatos Estoque\ndump\nexpand trvFatos Finanças\nkey F5\ndump\n"
        "press trvFatos Vendas\nopen\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json vendasOpen =
        N("Vendas", 1, true, {N("Faturamento", -1), N("Quantidade", -1), N("Devoluções", -1)});
    const nlohmann::json vendasClosed =
        N("Vendas", 0, false, {N("Faturamento", -1), N("Quantidade", -1), N("Devoluções", -1)});
    auto estoque = [](int image, bool open) { return N("Estoque", image, open, {N("Saldo", -1), N("Sem Ligações", -1)}); };
    auto financas = [](int image, bool open) { return N("Finanças", image, open, {N("Caixa d'Água", -1)}); };

    EXPECT_EQ(r.states[0]["trees"]["trvFatos"], nlohmann::json::array({vendasOpen, estoque(0, false), financas(0, false)}));
    EXPECT_EQ(r.states[0]["selection"]["trvFatos"], nlohmann::json::array({"Vendas"}));
    // Selecting another area opens it and closes the area of the item selected before.
    EXPECT_EQ(r.states[1]["trees"]["trvFatos"], nlohmann::json::array({vendasClosed, estoque(1, true), financas(0, false)}));
    EXPECT_EQ(r.states[2]["trees"]["trvFatos"], nlohmann::json::array({vendasClosed, estoque(0, false), financas(0, false)}));
    // The refresh rebuilds the tree fully collapsed, with no selection.
    EXPECT_EQ(r.states[3]["trees"]["trvFatos"], nlohmann::json::array({vendasClosed, estoque(0, false), financas(0, false)}));
    EXPECT_TRUE(r.states[3]["selection"]["trvFatos"].is_null());
    // Opening the screen again collapses the tree once more.
    EXPECT_EQ(r.states[4]["trees"]["trvFatos"], nlohmann::json::array({vendasClosed, estoque(0, false), financas(0, false)}));
}

TEST(DimensionList, ShowsTheUnionOfTheAreaAndIsRebuiltOnlyForAnotherArea) {
    E2E e;
    E2E::Session host(e);
    host.Send("open");
    EXPECT_EQ(Marks(host.Dump(), "trvDimensoes"), Names{});  // empty until an area is chosen
    host.Send("press trvFatos Vendas Faturamento");  // hidden under a collapsed area: not pressable
    EXPECT_EQ(host.Close(), 1);

    E2E::Session s(e);
    s.Send("open\npress trvFatos Vendas\npress trvFatos Vendas Faturamento");
    nlohmann::json st = s.Dump();
    EXPECT_EQ(Marks(st, "trvDimensoes"), kVendas);  // Faturamento's and Devoluções' tables together
    EXPECT_EQ(st["selection"]["trvFatos"], nlohmann::json::array({"Vendas", "Faturamento"}));

    // The catalogue changes; the list follows only when a different area is chosen.
    e.Sql("INSERT INTO DIMENSAODW VALUES ('6','FVENDA','CDFORNEC');");
    s.Send("key F5\npress trvFatos Vendas\npress trvFatos Vendas Devoluções");
    EXPECT_EQ(Marks(s.Dump(), "trvDimensoes"), kVendas);  // same area again after a refresh: no rebuild
    s.Send("press trvFatos Estoque");
    EXPECT_EQ(Marks(s.Dump(), "trvDimensoes"), kEstoque);
    s.Send("press trvFatos Vendas");
    EXPECT_EQ(Marks(s.Dump(), "trvDimensoes"), (Names{"Cliente:1", "Filial:1", "Fornecedor:1", "Período:1", "Produto:1"}));
    s.Send("press trvFatos Vendas Quantidade");
    e.Sql("DELETE FROM DIMENSAODW WHERE NRSEQUEDIME = '6';");
    s.Send("press trvFatos Vendas Faturamento");  // another item of the same area: no rebuild
    EXPECT_EQ(Marks(s.Dump(), "trvDimensoes"), (Names{"Cliente:1", "Filial:1", "Fornecedor:1", "Período:1", "Produto:1"}));
    EXPECT_EQ(s.Close(), 0);
}

TEST(DimensionList, NamesWithApostrophesAndAccentsAreLookedUpSafely) {
    E2E e;
    HostRun r = e.Run("open\npress trvFatos Finanças\npress trvFatos Finanças \"Caixa d'Água\"\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Marks(r.states[0], "trvDimensoes"), (Names{"Filial:1", "Período:1", "Região d'Oeste:1"}));
    EXPECT_TRUE(EventsOf(r.states[0], "message").empty()) << r.states[0]["events"];
}

TEST(DimensionList, CatalogueOddities) {
    struct Case {
        const char* name;
        std::string sql;
        std::string script;
        Names expected;
    };
    const Case cases[] = {
        {"two dimension records with one name give two nodes",
         "INSERT INTO DIMENSAODIME VALUES ('7','Filial','DFILIAL2','CD','NM','');"
         "INSERT INTO DIMENSAODW VALUES ('7','FDEVOL','CDFILIAL');",
         "press trvFatos Vendas", {"Cliente:1", "Filial:1", "Filial:1", "Período:1", "Produto:1"}},
        {"a link to a missing dimension gives an empty unusable node",
         "INSERT INTO DIMENSAODW VALUES ('99','FESTOQ','CDNADA');",
         "press trvFatos Estoque", {":0", "Filial:1", "Fornecedor:1", "Produto:1"}},
        {"an area with an empty name never shows its dimensions",
         "INSERT INTO AREANEGDW VALUES ('','05'); INSERT INTO ITEMDW VALUES ('FVENDA','X','Vazia','05','','V','');",
         "press trvFatos ''\npress trvFatos '' Vazia", {}},
        {"an item name under two areas stands for its first record",
         "INSERT INTO ITEMDW VALUES ('FCAIXA','X','Faturamento','02','','V','');",
         "press trvFatos Estoque", {"Cliente:1", "Filial:1", "Fornecedor:1", "Período:1", "Produto:1"}},
    };
    for (const Case& c : cases) {
        E2E e(c.sql);
        HostRun r = e.Run("open\n" + c.script + "\ndump\n");
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(Marks(r.states[0], "trvDimensoes"), c.expected) << c.name;
    }
    // The item under two areas is shown under each.
    E2E dup("INSERT INTO ITEMDW VALUES ('FCAIXA','X','Faturamento','02','','V','');");
    HostRun r = dup.Run("open\ndump\n");
    EXPECT_EQ(r.states[0]["trees"]["trvFatos"][1]["children"].back()["text"], "Faturamento");
    EXPECT_EQ(r.states[0]["trees"]["trvFatos"][0]["children"][0]["text"], "Faturamento");
}
