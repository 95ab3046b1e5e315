// End to end: items leaving the zones one at a time, all at once, and by the recomputation when they
// stop being usable, with the filter entries of every marked item that leaves.
#include <gtest/gtest.h>

#include "support/e2e.hpp"

namespace {

// Faturamento in the facts zone; rows: Produto* heading Cliente* and Filial; pages: Período*; each
// filter set through the member dialog.
const char* kFilteredLayout =
    "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
    "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
    "drag trvDimensoes Filial --to trvRows\ndrag trvDimensoes Período --to trvPages\n"
    "popup trvRows Cliente\nchoose Agrupar Produto\npopup trvRows Filial\nchoose Agrupar Produto\n"
    "answer confirm \"'P01'\"\ndblclick trvRows Produto\n"
    "expand trvRows Produto\nanswer confirm \"'C01'\"\ndblclick trvRows Produto Cliente\n"
    "answer confirm \"'2026-01'\"\ndblclick trvPages Período\n";

const std::string kFilters = "filters: Produto='P01' Cliente='C01' Período='2026-01'";

}  // namespace

TEST(Removal, AGroupHeadTakesItsMembersAndTheirFilterEntriesWithIt) {
    E2E e;
    HostRun r = e.Run(std::string(kFilteredLayout) +
                      "dump\n"
                      "press trvRows Produto\nclick sbtExcluir\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages: Período* | rows: Produto*{Cliente*, Filial} | cols:  | facts: Faturamento | " + kFilters);
    EXPECT_EQ(Layout(r.states[1]), "pages: Período* | rows:  | cols:  | facts: Faturamento | filters: Período='2026-01'");
}

TEST(Removal, AMemberLeavesAloneByEveryWayIn) {
    E2E e;
    HostRun r = e.Run(std::string(kFilteredLayout) +
                      "press trvRows Produto Cliente\nkey Del\ndump\n"
                      "press trvRows Produto Filial\nmenu Manutenção 'Excluir Item de Configuração'\ndump\n"
                      "popup trvPages Período\nchoose Excluir\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]),
              "pages: Período* | rows: Produto*{Filial} | cols:  | facts: Faturamento | filters: Produto='P01' Período='2026-01'");
    EXPECT_EQ(Layout(r.states[1]), "pages: Período* | rows: Produto* | cols:  | facts: Faturamento | filters: Produto='P01' Período='2026-01'");
    EXPECT_EQ(Layout(r.states[2]), "pages:  | rows: Produto* | cols:  | facts: Faturamento | filters: Produto='P01'");
}

TEST(Removal, FactsLeaveByDoubleClickAndByDraggingThemBackAndTheLastOneFreesEveryDimension) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Devoluções\n"
        "dblclick trvFatos Vendas Quantidade\ndrag trvDimensoes Produto --to trvRows\ndump\n"
        "press trvFacts Devoluções\ndblclick trvFacts\ndump\n"  // empty space: the selected fact goes
        "drag trvFacts Quantidade --to trvFatos\ndump\n"
        "press trvFacts Faturamento\nkey Del\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Marks(r.states[0], "trvDimensoes"), (std::vector<std::string>{"Cliente:1", "Filial:0", "Período:0", "Produto:1"}));
    EXPECT_EQ(Zone(r.states[1], "trvFacts"), "Faturamento, Quantidade");
    EXPECT_EQ(Marks(r.states[1], "trvDimensoes"), (std::vector<std::string>{"Cliente:1", "Filial:1", "Período:1", "Produto:1"}));
    EXPECT_EQ(Zone(r.states[2], "trvFacts"), "Faturamento");
    // Without facts every dimension is usable again, and no dimension item leaves.
    EXPECT_EQ(Layout(r.states[3]), "pages:  | rows: Produto | cols:  | facts:  | filters: ");
    EXPECT_EQ(Marks(r.states[3], "trvDimensoes"), (std::vector<std::string>{"Cliente:1", "Filial:1", "Período:1", "Produto:1"}));
    EXPECT_EQ(r.states[3]["enabled"]["sbtConfirmar"], false);
}

TEST(Removal, AFactThatDoesNotShareADimensionEvictsItWithItsMembersAndTheirEntries) {
    E2E e;
    // Saldo shares Produto and Filial: the member Cliente and Período leave with their entries.
    HostRun r = e.Run(std::string(kFilteredLayout) + "press trvFatos Estoque\ndblclick trvFatos Estoque Saldo\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages:  | rows: Produto*{Filial} | cols:  | facts: Faturamento, Saldo | filters: Produto='P01'");

    // Caixa d'Água lacks Produto: the whole group leaves, its usable member Filial included.
    r = e.Run(std::string(kFilteredLayout) + "press trvFatos Finanças\ndblclick trvFatos Finanças \"Caixa d'Água\"\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages: Período* | rows:  | cols:  | facts: Faturamento, Caixa d'Água | filters: Período='2026-01'");
}

// A filtered member that is still usable leaves with its evicted head, and its filter entry with it.
TEST(Removal, AnEvictedHeadTakesTheFilterEntryOfAMemberThatWasStillUsable) {
    E2E e;
    HostRun r = e.Run(std::string(kFilteredLayout) +
                      "expand trvRows Produto\nanswer confirm \"'01'\"\ndblclick trvRows Produto Filial\ndump\n"
                      "press trvFatos Finanças\ndblclick trvFatos Finanças \"Caixa d'Água\"\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages: Período* | rows: Produto*{Cliente*, Filial*} | cols:  | facts: Faturamento | " + kFilters +
                                       " Filial='01'");
    // Filial is linked to Caixa d'Água's table, but its head Produto is not: both leave, and so do their entries.
    EXPECT_EQ(Layout(r.states[1]), "pages: Período* | rows:  | cols:  | facts: Faturamento, Caixa d'Água | filters: Período='2026-01'");
}

TEST(Removal, ClearAllEmptiesEveryZoneAndEveryFilterEntry) {
    E2E e;
    HostRun r = e.Run(
        "open\nclick sbtCancelar\nmenu Manutenção 'Excluir Todos os Itens de Configuração'\ndump\n" + std::string(kFilteredLayout) +
        "key Ctrl+Del\ndump\n"
        "drag trvDimensoes Produto --to trvCols\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages:  | rows:  | cols:  | facts:  | filters: ");  // the disabled button ignores the click
    EXPECT_EQ(Layout(r.states[1]), "pages:  | rows:  | cols:  | facts:  | filters: ");
    EXPECT_EQ(r.states[1]["current"], "trvPages");  // the current zone stays
    EXPECT_EQ(r.states[1]["enabled"]["sbtExcluir"], false);
    // A dimension that had a filter comes back without one.
    EXPECT_EQ(Layout(r.states[2]), "pages:  | rows:  | cols: Produto | facts:  | filters: ");
}

TEST(Removal, DeleteRemovesAtMostOneItemAndOnlyWithASelection) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Quantidade\n"
        "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
        "drag trvDimensoes Filial --to trvCols\ndrag trvDimensoes Período --to trvPages\n"
        "focus trvFatos\nkey Del\ndump\n");  // no zone has been current yet: only the recomputation
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Layout(r.states[0]), "pages: Período | rows: Produto, Cliente | cols: Filial | facts: Faturamento, Quantidade | filters: ");

    // One Delete in each zone removes one item there, whichever handler takes the key.
    E2E::Session s(e);
    s.Send("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvFatos Vendas Quantidade\n"
           "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
           "drag trvDimensoes Filial --to trvCols\ndrag trvDimensoes Período --to trvPages\n");
    s.Send("press trvRows Cliente\nkey Del");
    EXPECT_EQ(Zone(s.Dump(), "trvRows"), "Produto");
    s.Send("popup trvCols Filial\nkey Del");  // the rebuilt context menu's "Excluir" takes it
    EXPECT_EQ(Zone(s.Dump(), "trvCols"), "");
    s.Send("press trvPages Período\nkey Del");
    EXPECT_EQ(Zone(s.Dump(), "trvPages"), "");
    s.Send("press trvFacts Quantidade\nkey Del");
    nlohmann::json st = s.Dump();
    EXPECT_EQ(Layout(st), "pages:  | rows: Produto | cols:  | facts: Faturamento | filters: ");
    s.Send("focus trvCols\nkey Del");  // an empty zone: nothing but the recomputation
    EXPECT_EQ(Layout(s.Dump()), Layout(st));
    EXPECT_EQ(s.Close(), 0);
}

namespace {

// The four zones, whole (marks, groups, expansion), and the filter lists.
nlohmann::json wholeLayout(const nlohmann::json& state) {
    nlohmann::json out = nlohmann::json::object();
    for (const char* zone : {"trvPages", "trvRows", "trvCols", "trvFacts"}) out[zone] = state["trees"][zone];
    out["filters"] = state["filters"];
    return out;
}

}  // namespace

// Clearing everything is asked first: "no" keeps the layout, "yes" (or no answer queued, the
// question's default) clears it.
TEST(Removal, ClearingEverythingIsAskedFirst) {
    E2E e;
    HostRun r = e.Run(std::string(kFilteredLayout) + "dump\nanswer no\nkey Ctrl+Del\ndump\nanswer yes\nclick sbtCancelar\ndump\nclick sbtFechar\n" +
                      kFilteredLayout + "key Ctrl+Del\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string question = "Excluir todos os itens da visão, com os seus filtros? (Ctrl+Z desfaz)";
    EXPECT_EQ(EventsOf(r.states[1], "confirmation"),
              (std::vector<nlohmann::json>{{{"kind", "confirmation"}, {"text", question}, {"answer", "no"}}}));
    EXPECT_EQ(wholeLayout(r.states[1]), wholeLayout(r.states[0]));
    EXPECT_EQ(EventsOf(r.states[2], "confirmation"),
              (std::vector<nlohmann::json>{{{"kind", "confirmation"}, {"text", question}, {"answer", "yes"}}}));
    EXPECT_EQ(Layout(r.states[2]), "pages:  | rows:  | cols:  | facts:  | filters: ");
    EXPECT_EQ(EventsOf(r.states[3], "confirmation").size(), 1u);
    EXPECT_EQ(Layout(r.states[3]), "pages:  | rows:  | cols:  | facts:  | filters: ");

    // An answer never used is a script that did not run as written.
    HostRun unused = e.Run("open\nanswer yes\ndump\n");
    EXPECT_EQ(unused.status, 1);
}

// Every layout change is a step: undone one by one, each layout before comes back whole (zones,
// marks, groups, filters); redone, each one after.
TEST(Removal, EveryLayoutChangeIsUndoneAndRedoneStepByStep) {
    E2E e;
    const std::vector<std::string> changes = {
        "dblclick trvFatos Vendas Faturamento",                           // transfer a fact
        "drag trvDimensoes Produto --to trvRows",                         // transfer a dimension
        "drag trvDimensoes Cliente --to trvRows",
        "drag trvDimensoes Filial --to trvCols",
        "drag trvDimensoes Período --to trvPages",
        "popup trvRows Cliente\nchoose Agrupar Produto",                  // group
        "answer confirm \"'P01'\"\ndblclick trvRows Produto",             // filter
        "answer confirm \"'2026-01'\"\ndblclick trvPages Período",
        "drag trvCols Filial --to trvRows --at Produto",                  // move between zones
        "press trvRows Filial\nkey Del",                                  // remove one
        "drag trvRows Produto --to trvCols",                              // move a filtered group
        "key Ctrl+Del",                                                   // clear
    };
    std::string script = "open\npress trvFatos Vendas\ndump\n";
    for (const std::string& c : changes) script += c + "\ndump\n";
    for (size_t i = 0; i < changes.size(); ++i) script += "key Ctrl+Z\ndump\n";
    script += "key Ctrl+Z\ndump\n";  // nothing more to undo
    for (size_t i = 0; i < changes.size(); ++i) script += "key Ctrl+Y\ndump\n";
    script += "key Ctrl+Y\ndump\n";  // nothing more to redo
    HostRun r = e.Run(script);
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t n = changes.size();
    ASSERT_EQ(r.states.size(), 3 * n + 3);
    for (size_t i = 0; i < n; ++i)
        ASSERT_NE(wholeLayout(r.states[i + 1]), wholeLayout(r.states[i])) << "change " << i << " changed nothing: " << changes[i];
    EXPECT_EQ(Layout(r.states[n - 1]), "pages: Período* | rows:  | cols: Produto*{Cliente} | facts: Faturamento | "
                                       "filters: Produto='P01' Período='2026-01'");
    EXPECT_EQ(r.states[0]["history"], nlohmann::json({{"undo", false}, {"redo", false}}));
    EXPECT_EQ(r.states[n]["history"], nlohmann::json({{"undo", true}, {"redo", false}}));
    for (size_t k = 1; k <= n; ++k)  // after k undos: the layout before the last k changes
        EXPECT_EQ(wholeLayout(r.states[n + k]), wholeLayout(r.states[n - k])) << "undo " << k;
    EXPECT_EQ(wholeLayout(r.states[2 * n + 1]), wholeLayout(r.states[0]));
    EXPECT_EQ(r.states[2 * n + 1]["history"], nlohmann::json({{"undo", false}, {"redo", true}}));
    for (size_t k = 1; k <= n; ++k)  // after k redos: the layout after the first k changes
        EXPECT_EQ(wholeLayout(r.states[2 * n + 1 + k]), wholeLayout(r.states[k])) << "redo " << k;
    EXPECT_EQ(wholeLayout(r.states[3 * n + 2]), wholeLayout(r.states[n]));
    EXPECT_EQ(r.states[3 * n + 2]["history"], nlohmann::json({{"undo", true}, {"redo", false}}));

    // A new change after an undo forgets what could be redone.
    HostRun fork = e.Run("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
                         "drag trvDimensoes Produto --to trvRows\nkey Ctrl+Z\ndrag trvDimensoes Filial --to trvCols\n"
                         "key Ctrl+Y\ndump\n");
    ASSERT_EQ(fork.status, 0) << fork.err;
    EXPECT_EQ(Layout(fork.states[0]), "pages:  | rows:  | cols: Filial | facts: Faturamento | filters: ");
    EXPECT_EQ(fork.states[0]["history"]["redo"], false);
}
