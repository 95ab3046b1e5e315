// End to end: views that last. A view is saved to a .qelv file and opened again, computed anew, with
// the viewer's settings; "Editar visão" hands it back to the screen; bad files open nothing.
// The warehouse and its figures are those of tests/warehouse.sql (see e2e_viewer_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;

// Faturamento by Produto with Cliente grouped under it, Período in columns, Filial in pages, Produto
// filtered to Café and Óleo: the layout as the screen holds it just before the build, then built.
const std::string kLayout =
    "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\n"
    "drag trvDimensoes Produto --to trvRows\ndrag trvDimensoes Cliente --to trvRows\n"
    "drag trvDimensoes Período --to trvCols\ndrag trvDimensoes Filial --to trvPages\n"
    "popup trvRows Cliente\nchoose Agrupar Produto\n"
    "answer confirm \"'P01','P03'\"\npress trvRows Produto\nkey F9\n";

// A folder of its own for a test's files, removed with everything in it.
struct Folder {
    std::filesystem::path path;
    Folder() {
        char name[] = "/tmp/qelviewsXXXXXX";
        path = mkdtemp(name);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& file) const { return (path / file).string(); }
};

J viewerOf(const HostRun& r, size_t state) { return r.states.at(state)["cube"]["viewer"]; }

std::vector<std::string> messages(const J& state) {
    std::vector<std::string> out;
    for (const J& e : EventsOf(state, "message")) out.push_back(e["type"].get<std::string>() + ": " + e["text"].get<std::string>());
    return out;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

// Saved with the viewer worked on (pivoted, a page chosen, sorted, collapsed, by label, percentages,
// a chart), closed and opened again: the same viewer state, settings and name included. The name
// keeps its accents, spaces and quote; the file is JSON that says its format first.
TEST(SavedView, ARoundTripGivesTheSameViewerComputedAnew) {
    E2E e;
    Folder folder;
    const std::string file = folder / "Visão d'Ávila 2026.qelv";
    HostRun r = e.Run(kLayout + "key Ctrl+F2\npivot Período rows 0\npage Filial 'São Paulo'\nsort Faturamento asc\n"
                                "collapse Período 2026-02\norder Produto label\nshow percent-total\nchart line\n"
                                "saveview " + quoted(file) + "\ndump\ncloseviewer\ndump\nopenview " + quoted(file) + "\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 3u);
    J saved = viewerOf(r, 0), reopened = viewerOf(r, 2);
    EXPECT_EQ(saved["name"], "Visão d'Ávila 2026");
    EXPECT_EQ(saved["rows"], J({"Período", "Produto", "Cliente"}));
    EXPECT_EQ(saved["pages"][0]["current"], "São Paulo");
    EXPECT_EQ(saved["settings"]["chart"], "line");
    EXPECT_EQ(viewerOf(r, 1), nullptr);
    EXPECT_EQ(reopened, saved) << "saved:\n" << saved.dump() << "\nreopened:\n" << reopened.dump();
    EXPECT_FALSE(EventsOf(r.states[2], "query").empty()) << "computed anew from the warehouse";
    EXPECT_TRUE(messages(r.states[2]).empty()) << r.states[2]["events"].dump();

    std::ifstream in(file);
    std::string first;
    std::getline(in, first);
    std::getline(in, first);
    EXPECT_EQ(first, "  \"format\": 1,");
    EXPECT_FALSE(std::filesystem::exists(file + ".parcial"));

    // From the command line, before the first command.
    HostRun opened = e.Run("dump\n", {"--view", file});
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(viewerOf(opened, 0), saved);
}

// "Editar visão" puts the built view back into the screen's zones, groups and filter marks included,
// with the filter lists as they were; building again gives the same view. A screen already open with
// other items has them replaced.
TEST(SavedView, EditViewRestoresTheZonesAndBuildingAgainGivesTheSameView) {
    E2E e;
    HostRun r = e.Run(kLayout + "dump\nkey Ctrl+F2\ndump\neditview\ndump\nkey Ctrl+F2\ndump\n"
                                "open\npress trvFatos Vendas\ndblclick trvFatos Vendas Quantidade\ndump\neditview\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 6u);
    const J& before = r.states[0];
    for (size_t edited : {2u, 5u}) {
        const J& state = r.states[edited];
        ASSERT_NE(state["screen"], nullptr) << edited;
        for (const char* zone : {"trvFacts", "trvRows", "trvCols", "trvPages"}) {
            J expected = before["trees"][zone], got = state["trees"][zone];
            EXPECT_EQ(got, expected) << edited << " " << zone << "\nexpected: " << expected.dump() << "\ngot: " << got.dump();
        }
        EXPECT_EQ(state["filters"], before["filters"]) << edited;
        EXPECT_EQ(state["selection"]["trvFatos"], J({"Vendas"})) << "the area of the first fact";
        EXPECT_TRUE(messages(state).empty()) << state["events"].dump();
    }
    EXPECT_EQ(r.states[4]["trees"]["trvFacts"][0]["text"], "Quantidade") << "the open screen had other items";
    J built = viewerOf(r, 1), rebuilt = viewerOf(r, 3);
    EXPECT_EQ(rebuilt, built) << "built:\n" << built.dump() << "\nrebuilt:\n" << rebuilt.dump();
    EXPECT_EQ(r.states[3]["screen"], nullptr) << "the build closes the screen again";
}

// A layout entry the catalogue no longer has is left out of the zones and named in one warning.
TEST(SavedView, EditViewLeavesOutWhatTheCatalogueLostAndSaysWhat) {
    E2E e;
    Folder folder;
    const std::string file = folder / "vendas.qelv";
    ASSERT_EQ(e.Run(kLayout + "key Ctrl+F2\nsaveview " + quoted(file) + "\n").status, 0);
    // The view opens while Cliente is still there; then Cliente leaves the catalogue and the view is edited.
    E2E::Session s(e, {"--view", file});
    ASSERT_NE(s.Dump()["cube"]["viewer"], nullptr);
    e.Sql("DELETE FROM DIMENSAODIME WHERE NMITEMDIME = 'Cliente'");
    s.Send("editview\n");
    J state = s.Dump();
    EXPECT_EQ(s.Close(), 0);
    EXPECT_EQ(messages(state), std::vector<std::string>{"warning: Itens da visão que não estão mais no catálogo foram deixados de fora: "
                                                        "dimensão Cliente."});
    J rows = state["trees"]["trvRows"];
    ASSERT_EQ(rows.size(), 1u) << rows.dump();
    EXPECT_EQ(rows[0]["text"], "Produto");
    EXPECT_EQ(rows[0]["children"], J::array());
    EXPECT_EQ(state["trees"]["trvCols"][0]["text"], "Período");
}

// Files that are not views, of a newer format, cut short, missing, or naming what the catalogue lost:
// each gives its message and opens nothing; a viewer already open keeps its view. Saving where no
// file can be written says so and leaves nothing behind.
TEST(SavedView, BadFilesOpenNothingAndSayWhy) {
    E2E e;
    Folder folder;
    const std::string good = folder / "boa.qelv";
    ASSERT_EQ(e.Run(kLayout + "key Ctrl+F2\nsaveview " + quoted(good) + "\n").status, 0);
    std::ifstream in(good);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(folder / name) << content;
        return folder / name;
    };
    std::string future = text;
    future.replace(future.find("\"format\": 1"), 11, "\"format\": 7");
    std::string devolucoes = text;
    devolucoes.replace(devolucoes.find("\"Faturamento\""), 13, "\"Devoluções\"");
    struct Case {
        const char* name;
        std::string path, setup, message;
    };
    const Case cases[] = {
        {"not a view", write("planilha.qelv", "Tipo;Produto;Faturamento\r\n"), "",
         "error: O arquivo não é uma visão salva do QEL, ou está incompleto."},
        {"cut short", write("cortada.qelv", text.substr(0, text.size() / 2)), "",
         "error: O arquivo não é uma visão salva do QEL, ou está incompleto."},
        {"a newer format", write("futura.qelv", future), "",
         "error: A visão foi salva num formato mais novo (7) do que este programa lê (1); atualize o QEL para abri-la."},
        {"a list missing", write("sem.qelv", R"({"format": 1, "view": {"Fatos": []}})"), "",
         "error: O arquivo não é uma visão salva válida: falta o campo \"Linhas\"."},
        {"no such file", folder / "nenhuma.qelv", "", "error: Não foi possível abrir o arquivo " + folder / "nenhuma.qelv"},
        {"a fact the catalogue lost", write("devolucoes.qelv", devolucoes), "DELETE FROM ITEMDW WHERE NMITEMDW = 'Devoluções'",
         "error: A visão devolucoes não pode ser aberta: o catálogo não tem mais fato Devoluções."},
    };
    for (const Case& c : cases) {
        E2E fresh;
        if (!c.setup.empty()) fresh.Sql(c.setup);
        HostRun r = fresh.Run("openview " + quoted(good) + "\ndump\nopenview " + quoted(c.path) + "\ndump\n");
        ASSERT_EQ(r.status, 0) << c.name << r.err;
        ASSERT_EQ(r.states.size(), 2u) << c.name;
        EXPECT_EQ(messages(r.states[1]), std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(viewerOf(r, 1), viewerOf(r, 0)) << c.name << ": the open viewer keeps its view";
        EXPECT_EQ(r.states[1]["view"], r.states[0]["view"]) << c.name << ": the lists are left as they were";
    }
    HostRun nowhere = e.Run("openview " + quoted(good) + "\nsaveview " + quoted(folder / "sem pasta/v.qelv") + "\ndump\n");
    EXPECT_EQ(messages(nowhere.states.at(0)), std::vector<std::string>{"error: Não foi possível gravar o arquivo " + folder / "sem pasta/v.qelv"});
    EXPECT_EQ(viewerOf(nowhere, 0)["name"], "boa") << "a failed save keeps the view's name";
    EXPECT_EQ(e.Run("open\nsaveview x.qelv\n").status, 1) << "no viewer open";
}

// A filter on a dimension the view does not place still restricts the fact tables it is linked to.
TEST(SavedView, AFilterOnADimensionNotPlacedStillRestrictsTheSums) {
    E2E e;
    Folder folder;
    const std::string file = folder / "so mercado.qelv";
    std::ofstream(file) << R"({"format": 1,
      "view": {"Fatos": ["Faturamento"], "Linhas": ["Produto"], "treeLinhas": ["0"], "Colunas": [], "treeColunas": [],
               "Paginas": [], "treePaginas": []},
      "filters": {"stlDSfiltro": ["Cliente"], "stlCDfiltro": ["'C01'"]},
      "axes": {"rows": ["Produto"], "columns": [], "pages": []},
      "settings": {"order": {}, "sort": null, "collapsed": {}, "subtotals": true, "show": "values", "chart": null}})";
    HostRun r = e.Run("openview " + quoted(file) + "\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    J viewer = viewerOf(r, 0);
    EXPECT_EQ(viewer["filters"], J({{"Cliente", "'C01'"}}));
    // FVENDA: only Mercado (C01) bought, 100 of Café.
    EXPECT_EQ(viewer["lines"], J::array({{{"kind", "detail"}, {"labels", {"Café"}}, {"values", {{100}}}},
                                         {{"kind", "total"}, {"labels", J::array()}, {"values", {{100}}}}}))
        << viewer["lines"].dump();
}

// A name that is a pipe (or a device, or a folder) is never replaced by a regular file: exporting or
// saving there is refused with a message and the pipe stays what it was; opening it as a view is
// refused too, instead of waiting for a writer that never comes.
TEST(SavedView, ASpecialFileIsNeitherReplacedNorReadAsAView) {
    E2E e;
    Folder folder;
    const std::string pipe = folder / "fila";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string good = folder / "boa.qelv";
    HostRun r = e.Run(kLayout + "key Ctrl+F2\nsaveview " + quoted(good) + "\nexport " + quoted(pipe) + "\ndump\nexport " +
                      quoted(pipe + ".xlsx") + "\nsaveview " + quoted(pipe) + "\ndump\nopenview " + quoted(pipe) + "\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 3u);
    const std::string refused = "error: '" + pipe + "' não é um arquivo comum; escolha outro nome";
    EXPECT_EQ(messages(r.states[0]), std::vector<std::string>{refused});
    EXPECT_EQ(messages(r.states[1]), std::vector<std::string>{refused}) << "the workbook beside it is written; the view is not";
    EXPECT_TRUE(std::filesystem::is_regular_file(pipe + ".xlsx"));
    EXPECT_EQ(messages(r.states[2]), std::vector<std::string>{"error: '" + pipe + "' não é um arquivo comum; escolha uma visão salva"});
    EXPECT_EQ(viewerOf(r, 2)["name"], "boa") << "the viewer keeps the view it had";
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_FALSE(std::filesystem::exists(pipe + ".parcial"));
}

// A saved view is a few kilobytes: a file of megabytes is refused before it is read as JSON, and so
// is a view of more items than the screen builds, or one whose axes name a dimension it does not have.
TEST(SavedView, FilesTooLargeOrBeyondTheScreenOpenNothingAndSayWhy) {
    E2E e;
    Folder folder;
    const std::string good = folder / "boa.qelv";
    ASSERT_EQ(e.Run(kLayout + "key Ctrl+F2\nsaveview " + quoted(good) + "\n").status, 0);
    std::ifstream in(good);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Still a view in form, with 5 MB of fact names in its list.
    std::string huge = text;
    const std::string facts = "\"Fatos\": [";
    std::string padding;
    for (int i = 0; padding.size() < (size_t{5} << 20); ++i) padding += "\"Fato " + std::to_string(i) + "\", ";
    huge.insert(huge.find(facts) + facts.size(), padding);
    std::ofstream(folder / "enorme.qelv") << huge;
    std::string stray = text;
    const std::string column = "\"columns\": [\n      \"Período\"";
    ASSERT_NE(stray.find(column), std::string::npos) << stray;
    stray.replace(stray.find(column), column.size(), "\"columns\": [\n      \"Vendedor\"");
    std::ofstream(folder / "eixo.qelv") << stray;
    struct Case {
        std::string file, message;
    };
    const Case cases[] = {
        {"enorme.qelv", "error: A visão enorme não pode ser aberta: o arquivo passa de 4 MB, mais do que uma visão salva ocupa."},
        {"eixo.qelv", "error: O arquivo não é uma visão salva válida: \"columns\" nomeia a dimensão Vendedor, que a visão não tem."},
    };
    for (const Case& c : cases) {
        HostRun r = e.Run("openview " + quoted(good) + "\ndump\nopenview " + quoted(folder / c.file) + "\ndump\n");
        ASSERT_EQ(r.status, 0) << c.file << r.err;
        ASSERT_EQ(r.states.size(), 2u) << c.file;
        EXPECT_EQ(messages(r.states[1]), std::vector<std::string>{c.message}) << c.file;
        EXPECT_EQ(viewerOf(r, 1), viewerOf(r, 0)) << c.file << ": the open viewer keeps its view";
    }
}
