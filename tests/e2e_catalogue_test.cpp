// End to end: opening, loading, refreshing and closing the screen through qelhost scripts.
#include <gtest/gtest.h>

#include "support/e2e.hpp"

namespace {

const nlohmann::json kLoadEvents = nlohmann::json::array(
    {{{"kind", "animation"}, {"on", true}, {"text", "Recebendo dados do Servidor"}},
     {{"kind", "call"}, {"method", "GetItemData"}, {"args", {nullptr, nullptr, nullptr, nullptr, "ADMIN"}}},
     {{"kind", "animation"}, {"on", false}, {"text", "Recebendo dados do Servidor"}}});

const nlohmann::json kFactsTree = nlohmann::json::array(
    {N("Vendas", 0, false, {N("Faturamento", -1), N("Quantidade", -1), N("Devoluções", -1)}),
     N("Estoque", 0, false, {N("Saldo", -1), N("Sem Ligações", -1)}), N("Finanças", 0, false, {N("Caixa d'Água", -1)})});

std::string unusedServer() { return "127.0.0.1:" + std::to_string(UnusedPort()); }

}  // namespace

TEST(Open, CreatesOneInstanceAndLoadsTheCatalogueOnce) {
    E2E e;
    HostRun r = e.Run("dump\nopen\ndump\nopen\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 3u);
    EXPECT_EQ(r.states[0]["module"], (nlohmann::json{{"loaded", false}, {"bostcriado", false}}));
    EXPECT_TRUE(r.states[0]["screen"].is_null());

    const nlohmann::json& s = r.states[1];
    EXPECT_EQ(s["events"], kLoadEvents);
    EXPECT_EQ(s["module"], (nlohmann::json{{"loaded", true}, {"bostcriado", true}}));
    EXPECT_EQ(s["screen"], (nlohmann::json{{"caption", "Construção da Visão do DW"}, {"windowState", "normal"}, {"instance", 1}}));
    EXPECT_EQ(s["trees"]["trvFatos"], kFactsTree);
    EXPECT_EQ(s["trees"]["trvDimensoes"], nlohmann::json::array());
    EXPECT_EQ(s["cursor"], "default");
    EXPECT_TRUE(s["current"].is_null());
    EXPECT_EQ(s["enabled"], (nlohmann::json{{"sbtExcluir", false}, {"sbtCancelar", false}, {"sbtConfirmar", false},
                                            {"sbtVerificar", true}, {"mnuExcluirItem", false}, {"mnuExcluirTodos", false},
                                            {"mnuConfirmar", false}, {"mnuAtualizar", true}}));

    // A second open creates nothing and loads nothing.
    EXPECT_EQ(r.states[2]["events"], nlohmann::json::array());
    EXPECT_EQ(r.states[2]["screen"]["instance"], 1);
}

TEST(Open, AfterCloseCreatesANewInstanceAndAMinimizedScreenIsRestored) {
    E2E e;
    HostRun r = e.Run("open\nminimize\ndump\nopen\ndump\nminimize\nclosebox\ndump\nopen\ndump\nkey Ctrl+F4\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["screen"]["windowState"], "minimized");
    EXPECT_EQ(r.states[1]["screen"]["windowState"], "normal");
    // Closing a minimized screen destroys it.
    EXPECT_TRUE(r.states[2]["screen"].is_null());
    EXPECT_EQ(r.states[2]["module"]["bostcriado"], false);
    EXPECT_EQ(r.states[3]["screen"]["instance"], 2);
    EXPECT_EQ(r.states[3]["events"], kLoadEvents);
    EXPECT_EQ(r.states[3]["filters"], (nlohmann::json{{"stlDSfiltro", nlohmann::json::array()}, {"stlCDfiltro", nlohmann::json::array()}}));
    EXPECT_TRUE(r.states[4]["screen"].is_null());  // Ctrl+F4 is "Fechar"
}

TEST(Open, UnloadEndsEverythingAndALaterOpenStartsCountingAgain) {
    E2E e;
    HostRun r = e.Run("open\nunload\ndump\nopen\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["module"], (nlohmann::json{{"loaded", false}, {"bostcriado", false}}));
    EXPECT_TRUE(r.states[0]["screen"].is_null());
    EXPECT_EQ(r.states[1]["screen"]["instance"], 1);
    EXPECT_EQ(r.states[1]["trees"]["trvFatos"], kFactsTree);
}

TEST(EmptyCatalogue, WarnsOfMissingFactsAndDimensionsInOrder) {
    struct Case {
        const char* name;
        std::string sql;
        std::vector<nlohmann::json> messages;
        size_t areas;
    };
    const std::string fato = "Não há fatos a serem exibidos.", dimensao = "Não há dimensões a serem exibidas.";
    const Case cases[] = {
        {"nothing", "", {Message("warning", fato), Message("warning", dimensao)}, 0},
        {"areas only", "INSERT INTO AREANEGDW VALUES ('Vendas','01');", {Message("warning", dimensao)}, 1},
        {"no areas but items and dimensions",
         "INSERT INTO ITEMDW VALUES ('F','X','Fato','01','','V','');"
         "INSERT INTO DIMENSAODIME VALUES ('1','Produto','','','','');",
         {Message("warning", fato)},
         0},
    };
    for (const Case& c : cases) {
        E2E e(c.sql, false);
        HostRun r = e.Run("open\ndump\n");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(EventsOf(r.states[0], "message"), c.messages) << c.name;
        EXPECT_EQ(r.states[0]["trees"]["trvFatos"].size(), c.areas) << c.name;
        EXPECT_EQ(r.states[0]["screen"]["instance"], 1) << c.name;
    }
}

TEST(Refresh, F5AndTheMenuReloadAndServeAChangedCatalogue) {
    E2E e;
    HostRun first = e.Run("open\ndump\nkey F5\ndump\nmenu Manutenção Atualizar\ndump\nclick sbtVerificar\ndump\n");
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(first.states.size(), 4u);
    for (auto& s : first.states) EXPECT_EQ(s["events"], kLoadEvents);

    // The server reads the catalogue at each call: a new area appears without restarting it.
    e.Sql("INSERT INTO AREANEGDW VALUES ('Compras','04');");
    HostRun second = e.Run("open\nkey F5\ndump\n");
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.states[0]["trees"]["trvFatos"].back(), N("Compras", 0));
}

TEST(Refresh, ServerDownGivesOneErrorAndTheScreenStillOpensThenEachConnectReadsTheAddressAnew) {
    E2E e;
    std::string down = unusedServer();
    HostRun r = e.Run("open\ndump\nserver " + e.Server() + "\nkey F5\ndump\nclosebox\nserver " + down + "\nopen\ndump\n", {},
                      down);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json& failed = r.states[0];
    auto messages = EventsOf(failed, "message");
    ASSERT_EQ(messages.size(), 1u) << failed["events"];
    EXPECT_EQ(messages[0]["type"], "error");
    EXPECT_NE(messages[0]["text"].get<std::string>().find(down), std::string::npos) << messages[0];
    EXPECT_EQ(failed["screen"]["instance"], 1);
    EXPECT_EQ(failed["module"]["bostcriado"], true);
    EXPECT_EQ(failed["trees"]["trvFatos"], nlohmann::json::array());
    EXPECT_EQ(failed["cursor"], "default");
    EXPECT_EQ(EventsOf(failed, "animation").back()["on"], false);  // the animation does not stay on

    EXPECT_EQ(r.states[1]["events"], kLoadEvents);  // reconnected to the address set since
    EXPECT_EQ(r.states[1]["trees"]["trvFatos"], kFactsTree);

    EXPECT_EQ(EventsOf(r.states[2], "message").size(), 1u);  // the new screen read the new address
    EXPECT_EQ(r.states[2]["screen"]["instance"], 2);
}

TEST(Refresh, AServerErrorIsReportedOnceAndLeavesWhatWasLoaded) {
    E2E e;
    E2E::Session host(e);
    host.Send("open");
    EXPECT_EQ(host.Dump()["events"], kLoadEvents);
    e.Sql("DROP TABLE DIMENSAODIME;");
    host.Send("key F5");
    nlohmann::json st = host.Dump();
    auto messages = EventsOf(st, "message");
    ASSERT_EQ(messages.size(), 1u) << st["events"];
    EXPECT_EQ(messages[0]["type"], "error");
    EXPECT_NE(messages[0]["text"].get<std::string>().find("DIMENSAODIME"), std::string::npos) << messages[0];
    EXPECT_EQ(st["trees"]["trvFatos"], kFactsTree);
    EXPECT_EQ(st["cursor"], "default");
    EXPECT_EQ(EventsOf(st, "animation").back()["on"], false);
    EXPECT_EQ(host.Close(), 0);

    // Opened against the failing server, the screen comes up with empty trees after one error.
    HostRun r = e.Run("open\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(EventsOf(r.states[0], "message").size(), 1u) << r.states[0]["events"];
    EXPECT_EQ(r.states[0]["screen"]["instance"], 1);
    EXPECT_EQ(r.states[0]["trees"]["trvFatos"], nlohmann::json::array());
}

TEST(Keys, F2AloneDoesNothingAndBadScriptLinesFailNamingTheLine) {
    E2E e;
    // A view that could be built: F2 alone still builds nothing, while Ctrl+F2 does.
    HostRun r = e.Run("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento\ndblclick trvDimensoes Produto\ndump\n"
                      "key F2\ndump\nkey Ctrl+F2\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["enabled"]["sbtConfirmar"], true);
    EXPECT_EQ(r.states[1]["events"], nlohmann::json::array());
    EXPECT_EQ(r.states[1]["screen"]["instance"], 1);
    EXPECT_EQ(r.states[1]["cube"]["opened"], 0);
    EXPECT_EQ(r.states[2]["cube"]["opened"], 1);

    for (const char* bad : {"open\nfrobnicate\n", "open\npress trvFatos Nada\n", "open\npress trvFatos Vendas Faturamento\n",
                            "open\nclick sbtNada\n", "choose Filtrar\n", "answer cancel\n", "open\nmenu Manutenção Nada\n"}) {
        HostRun b = e.Run(bad);
        EXPECT_EQ(b.status, 1) << bad;
        EXPECT_FALSE(b.err.empty()) << bad;
    }
    HostRun line = e.Run("open\n\n# comentário\nkey Nada\n");
    EXPECT_NE(line.err.find(":4:"), std::string::npos) << line.err;
}

TEST(Runner, LayoutCommandsActOnTheToolkitAndUnusedAnswersFailTheScript) {
    E2E e;
    HostRun r = e.Run(
        "open\npress trvFatos Vendas\ndrag trvFatos Vendas Faturamento --to trvFacts\n"
        "drag trvFatos Vendas Faturamento --to scrOpcoesDW\npopup trvRows\ndump\nchoose Excluir\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // Rebuilt at the opening: the design's named entries are gone.
    const nlohmann::json rebuilt = nlohmann::json::array(
        {{{"caption", "Filtrar"}, {"shortcut", "F9"}, {"tag", 1}, {"name", ""}, {"items", nlohmann::json::array()}},
         {{"caption", "Excluir"}, {"shortcut", "Del"}, {"tag", 2}, {"name", ""}, {"items", nlohmann::json::array()}}});
    EXPECT_EQ(r.states[0]["popup"], rebuilt);
    EXPECT_EQ(r.states[0]["focus"], "trvRows");  // the right-click focused the zone
    EXPECT_EQ(r.states[0]["selection"]["trvFatos"], nlohmann::json::array({"Vendas", "Faturamento"}));
    // The first drag put the fact in the facts zone; the second, onto the scroll box, was refused and
    // added nothing.
    EXPECT_EQ(Zone(r.states[0], "trvFacts"), "Faturamento");
    EXPECT_EQ(r.states[0]["trees"]["trvFacts"].size(), 1u);
    EXPECT_EQ(r.states[1]["popup"], rebuilt);  // as last opened

    HostRun again = e.Run("open\npopup trvRows\nchoose Excluir\nchoose Excluir\n");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find(":4:"), std::string::npos) << again.err;

    HostRun unused = e.Run("open\nanswer confirm \"'01','02'\"\ndump\n");
    EXPECT_EQ(unused.status, 1);
    EXPECT_EQ(unused.states.size(), 1u);
}

TEST(Runner, AContextMenuDoesNotOutliveItsScreen) {
    E2E e;
    HostRun r = e.Run("open\npopup trvRows\nclosebox\nopen\nchoose Excluir\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(":5:"), std::string::npos) << r.err;
}

TEST(HostInput, CarelessCommandLinesAndScriptsGetClearErrors) {
    E2E e("UPDATE AREANEGDW SET NMAREANEGDW = CAST(X'56656E6461FF' AS TEXT) WHERE CDAREANEGDW = '01';");
    HostRun r = e.Run("open\ndump\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.states[0]["trees"]["trvFatos"][0]["text"], "Venda\xEF\xBF\xBD");  // the bad byte shows as U+FFFD

    HostRun port = e.Run("dump\n", {}, std::string("127.0.0.1:99999"));
    EXPECT_EQ(port.status, 2);
    EXPECT_NE(port.err.find("porta inválida"), std::string::npos) << port.err;
    HostRun runnerPort = e.Run("server 127.0.0.1:99999\n");
    EXPECT_EQ(runnerPort.status, 1);
    EXPECT_NE(runnerPort.err.find("stdin:1: porta inválida"), std::string::npos) << runnerPort.err;

    CommandResult folder = RunCommand({QEL_BIN_DIR "/qelhost", "--script", "/tmp"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("é uma pasta"), std::string::npos) << folder.err;

    HostRun huge = e.Run("open\npress trvFatos " + std::string(5 << 20, 'x') + "\n");
    EXPECT_EQ(huge.status, 1);
    EXPECT_LT(huge.err.size(), 400u);
    EXPECT_NE(huge.err.find("(5242880 bytes)"), std::string::npos) << huge.err;

    HostRun nul = e.Run(std::string("dump\ndu\0mp\n", 11));
    EXPECT_EQ(nul.status, 1);
    EXPECT_NE(nul.err.find("stdin:2: caractere nulo na linha 2"), std::string::npos) << nul.err;

    for (const char* key : {"key ''", "key Tecla", "key Ctrl+", "key F25"}) {
        HostRun k = e.Run(std::string("open\n") + key + "\n");
        EXPECT_EQ(k.status, 1) << key;
        EXPECT_NE(k.err.find("stdin:2: tecla desconhecida"), std::string::npos) << key << ": " << k.err;
    }
}
