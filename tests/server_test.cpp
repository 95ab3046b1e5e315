// The application server as a client sees it: a real qelserver on a free loopback port.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <filesystem>
#include <thread>

#include "data/wire.hpp"
#include "support/processes.hpp"

namespace {

std::string catalogue() { return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"); }

struct ServerFixture : ::testing::Test {
    TempDatabase db{catalogue()};
    ServerProcess server{db.Path()};

    nlohmann::json post(const std::string& path, const std::string& body, int* status = nullptr) {
        httplib::Client c("127.0.0.1", server.Port());
        auto res = c.Post(path, body, "application/json");
        if (!res) throw std::runtime_error("no answer");
        if (status) *status = res->status;
        return nlohmann::json::parse(res->body);
    }
    nlohmann::json call(const std::string& method, const nlohmann::json& args, int* status = nullptr) {
        return post("/QEL00100.rdmOpcoesDW/" + method, nlohmann::json{{"args", args}}.dump(), status);
    }
};

std::vector<std::string> names(const DataPacket& p) {
    std::vector<std::string> out;
    for (auto& f : p.fields) out.push_back(f.name + "/" + std::to_string(f.size) + (f.fixed ? "F" : ""));
    return out;
}

}  // namespace

TEST_F(ServerFixture, GetItemDataFillsTheFourPacketsWithTheirLayoutsInInsertionOrder) {
    int status = 0;
    auto answer = call("GetItemData", {nullptr, nullptr, nullptr, nullptr, "MARIA"}, &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["result"], (nlohmann::json{{"ok", true}, {"data", nullptr}}));
    auto& args = answer["args"];
    ASSERT_EQ(args.size(), 5u);
    DataPacket dims = PacketFromText(args[0].dump()), areas = PacketFromText(args[1].dump()), items = PacketFromText(args[2].dump()),
               links = PacketFromText(args[3].dump());
    EXPECT_EQ(names(dims), (std::vector<std::string>{"NRSEQUEDIME/5", "NMITEMDIME/30", "CDTABELADIME/30", "DSPKDIME/30",
                                                     "DSITEMDIME/30", "DSPKDIME2/30", "ID/1F"}));
    EXPECT_EQ(names(areas), (std::vector<std::string>{"NMAREANEGDW/30", "CDAREANEGDW/5"}));
    EXPECT_EQ(names(items), (std::vector<std::string>{"CDTABELADW/20", "CDITEMDW/30", "NMITEMDW/30", "CDAREANEGDW/5",
                                                      "DSHINTITEM/200", "IDTPFATODW/1F", "CDTABDRILL/30"}));
    EXPECT_EQ(names(links), (std::vector<std::string>{"NRSEQUEDIME/5", "CDTABELADW/20", "CDITEMDIME/30"}));
    EXPECT_EQ(areas.rows, (std::vector<std::vector<std::string>>{{"Vendas", "01"}, {"Estoque", "02"}, {"Finanças", "03"}}));
    EXPECT_EQ(dims.rows[4], (std::vector<std::string>{"5", "Região d'Oeste", "DREGIAO", "CDREGIAO", "NMREGIAO", "", " "}));
    EXPECT_EQ(items.rows.size(), 7u);
    EXPECT_EQ(links.rows.size(), 12u);
    EXPECT_EQ(args[4], "MARIA");
}

TEST_F(ServerFixture, GetInfoRunsOneReadOnlySelectAndRefusesAnythingElse) {
    auto ok = call("getInfo", {"SELECT NMAREANEGDW FROM AREANEGDW WHERE CDAREANEGDW <> '02' ORDER BY 1"});
    ASSERT_TRUE(ok["result"]["ok"]) << ok.dump();
    DataPacket p = PacketFromText(ok["result"]["data"].dump());
    EXPECT_EQ(p.rows, (std::vector<std::vector<std::string>>{{"Finanças"}, {"Vendas"}}));
    EXPECT_EQ(ok["args"][0], "SELECT NMAREANEGDW FROM AREANEGDW WHERE CDAREANEGDW <> '02' ORDER BY 1");

    const std::pair<const char*, const char*> refusals[] = {
        {"DELETE FROM AREANEGDW", "Somente uma instrução SELECT é permitida"},
        {"SELECT 1; DELETE FROM AREANEGDW", "Somente uma instrução SQL é permitida por consulta"},
        {"DROP TABLE ITEMDW", "Somente uma instrução SELECT é permitida"},
        {"ATTACH DATABASE '/tmp/x.db' AS x", "Somente uma instrução SELECT é permitida"},
        {"PRAGMA writable_schema = 1", "Somente uma instrução SELECT é permitida"},
        {"WITH x AS (SELECT 1) DELETE FROM AREANEGDW", "Acesso negado: a instrução faz o que uma consulta não pode fazer"},
        {"INSERT INTO AREANEGDW VALUES ('x','y')", "Somente uma instrução SELECT é permitida"},
        {"SELECT * FROM TABELA_QUE_NAO_EXISTE", "Tabela inexistente: TABELA_QUE_NAO_EXISTE"},
        {"SELECT NADA FROM AREANEGDW", "Coluna inexistente: NADA"},
        {"SELECT FROM WHERE", "Erro de sintaxe perto de \"FROM\""},
        {"", "Somente uma instrução SELECT é permitida"}};
    for (auto [refused, why] : refusals) {
        auto a = call("getInfo", {refused});
        EXPECT_FALSE(a["result"]["ok"]) << refused;
        EXPECT_EQ(a["result"]["error"], why) << refused;
    }
    auto after = call("getInfo", {"SELECT count(*) FROM AREANEGDW"});
    EXPECT_EQ(after["result"]["data"]["rows"][0][0], 3);  // nothing was changed
}

TEST_F(ServerFixture, MalformedRequestsGetAnErrorAnswerAndTheServerKeepsServing) {
    struct Case {
        std::string path, body;
        int status;
    };
    const Case cases[] = {
        {"/QEL00100.rdmOpcoesDW/GetItemData", "isto não é json", 400},
        {"/QEL00100.rdmOpcoesDW/GetItemData", R"({"sem":"args"})", 400},
        {"/QEL00100.rdmOpcoesDW/GetItemData", R"({"args":[1,2]})", 200},
        {"/QEL00100.rdmOpcoesDW/getInfo", R"({"args":[42]})", 200},
        {"/QEL00100.rdmOpcoesDW/Apagar", R"({"args":[]})", 404},
        {"/OutroObjeto/GetItemData", R"({"args":[]})", 404},
    };
    for (const Case& c : cases) {
        int status = 0;
        auto a = post(c.path, c.body, &status);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body;
        EXPECT_FALSE(a["result"]["ok"]) << c.body;
    }
    httplib::Client client("127.0.0.1", server.Port());
    EXPECT_EQ(client.Get("/QEL00100.rdmOpcoesDW")->status, 200);
    EXPECT_EQ(client.Get("/Outro")->status, 404);
    EXPECT_TRUE(call("GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"})["result"]["ok"]);
}

TEST_F(ServerFixture, TwoClientsAtOnceEachGetTheirOwnAnswers) {
    auto worker = [this](const std::string& area, int& good) {
        for (int i = 0; i < 40; ++i) {
            auto a = call("getInfo", {"SELECT CDAREANEGDW FROM AREANEGDW WHERE NMAREANEGDW = '" + area + "'"});
            if (a["result"]["ok"] && a["result"]["data"]["rows"].size() == 1) ++good;
        }
    };
    int goodA = 0, goodB = 0;
    std::thread a(worker, "Vendas", std::ref(goodA)), b(worker, "Estoque", std::ref(goodB));
    a.join();
    b.join();
    EXPECT_EQ(goodA, 40);
    EXPECT_EQ(goodB, 40);
}

TEST_F(ServerFixture, AChangedCatalogueIsServedWithoutARestartAndSigtermStopsCleanly) {
    db.Execute("INSERT INTO AREANEGDW VALUES ('Compras', '04')");
    auto a = call("GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"});
    EXPECT_EQ(PacketFromText(a["args"][1].dump()).rows.back(), (std::vector<std::string>{"Compras", "04"}));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerFixture, TheCatalogueAnswerIsKeptUntilTheCatalogueChangesAndServedAsGzipOr304) {
    httplib::Client c("127.0.0.1", server.Port());
    c.set_decompress(false);
    const std::string body = R"({"args":[null,null,null,null,"ADMIN"]})";
    auto post = [&](httplib::Headers h) { return c.Post("/QEL00100.rdmOpcoesDW/GetItemData", h, body, "application/json"); };
    auto first = post({}), second = post({});
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->get_header_value("X-Qel-Cache"), "miss");
    EXPECT_EQ(second->get_header_value("X-Qel-Cache"), "hit");
    EXPECT_EQ(second->body, first->body);
    const std::string etag = first->get_header_value("ETag");
    ASSERT_FALSE(etag.empty());

    auto unchanged = post({{"If-None-Match", etag}});
    EXPECT_EQ(unchanged->status, 304);
    EXPECT_TRUE(unchanged->body.empty());
    auto zipped = post({{"Accept-Encoding", "gzip"}});
    EXPECT_EQ(zipped->get_header_value("Content-Encoding"), "gzip");
    EXPECT_LT(zipped->body.size(), first->body.size());
    httplib::Client plain("127.0.0.1", server.Port());  // decompressing, as the host does
    auto inflated = plain.Post("/QEL00100.rdmOpcoesDW/GetItemData", {{"Accept-Encoding", "gzip"}}, body, "application/json");
    EXPECT_EQ(inflated->body, first->body);

    // Another operator argument is another answer.
    auto other = c.Post("/QEL00100.rdmOpcoesDW/GetItemData", R"({"args":[null,null,null,null,"MARIA"]})", "application/json");
    EXPECT_EQ(other->get_header_value("X-Qel-Cache"), "miss");
    EXPECT_NE(other->get_header_value("ETag"), etag);

    db.Execute("UPDATE AREANEGDW SET NMAREANEGDW = 'Vendas Brasil' WHERE CDAREANEGDW = '01'");
    auto changed = post({{"If-None-Match", etag}});
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->get_header_value("X-Qel-Cache"), "miss");
    EXPECT_NE(changed->get_header_value("ETag"), etag);
    EXPECT_EQ(PacketFromText(nlohmann::json::parse(changed->body)["args"][1].dump()).rows[0][0], "Vendas Brasil");

    // A replaced file is another database, even with the same name.
    TempDatabase replacement(catalogue() + "UPDATE AREANEGDW SET NMAREANEGDW = 'Nova' WHERE CDAREANEGDW = '01';");
    std::filesystem::copy_file(replacement.Path(), db.Path() + ".novo");
    std::filesystem::rename(db.Path() + ".novo", db.Path());
    auto replaced = post({});
    EXPECT_EQ(PacketFromText(nlohmann::json::parse(replaced->body)["args"][1].dump()).rows[0][0], "Nova");
}
