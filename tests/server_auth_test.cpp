// Logins on the application server: passwords kept only as hashes, sessions by token, every call
// without a live session refused with 401, a session that cannot ask for another operator's
// catalogue, failures that never say whether the operator exists, and repeated failures slowed down.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "support/processes.hpp"
#include "support/server_call.hpp"

namespace {

using J = nlohmann::json;

std::string catalogue() {
    return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/operators_schema.sql") +
           ReadFile(QEL_TEST_DIR "/catalogue.sql");
}

struct Answer {
    int status = 0;
    J body;
};

Answer post(int port, const std::string& method, const J& args, const std::string& token = "") {
    httplib::Client c("127.0.0.1", port);
    httplib::Headers h;
    if (!token.empty()) h.emplace("Authorization", "Bearer " + token);
    auto res = c.Post("/QEL00100.rdmOpcoesDW/" + method, h, J{{"args", args}}.dump(), "application/json");
    if (!res) throw std::runtime_error("no answer");
    return {res->status, J::parse(res->body)};
}

void setPassword(const std::string& db, const std::string& op, const std::string& password) {
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", db, "--set-password", op}, password + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
}

const J kCatalogue = {nullptr, nullptr, nullptr, nullptr, "MARIA"};

struct Auth : ::testing::Test {
    TempDatabase db{catalogue()};
    void SetUp() override {
        setPassword(db.Path(), "MARIA", "sabiá-laranjeira 42");
        setPassword(db.Path(), "JOAO", "outra senha");
    }
};

}  // namespace

TEST_F(Auth, OnlyALiveSessionOfTheSameOperatorIsServed) {
    ServerProcess server(db.Path(), {"--auth", "password", "--session-idle", "1"});
    const int port = server.Port();
    for (const std::string& token : {std::string(), std::string(64, 'a'), std::string("x\" OR 1=1")}) {
        Answer a = post(port, "GetItemData", kCatalogue, token);
        EXPECT_EQ(a.status, 401) << token;
        EXPECT_EQ(a.body["result"]["ok"], false);
        EXPECT_FALSE(a.body["result"]["error"].get<std::string>().empty());
        EXPECT_EQ(post(port, "getInfo", {"SELECT 1"}, token).status, 401);
    }
    Answer login = post(port, "Login", {"MARIA", "sabiá-laranjeira 42"});
    ASSERT_EQ(login.status, 200) << login.body;
    std::string token = login.body["result"]["data"];
    EXPECT_EQ(token.size(), 64u);
    Answer own = post(port, "GetItemData", kCatalogue, token);
    EXPECT_EQ(own.status, 200);
    EXPECT_EQ(own.body["result"]["ok"], true);
    Answer other = post(port, "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"}, token);
    EXPECT_EQ(other.status, 403);
    EXPECT_EQ(other.body["result"]["ok"], false);

    std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // idle past the session's time
    EXPECT_EQ(post(port, "GetItemData", kCatalogue, token).status, 401);

    token = post(port, "Login", {"MARIA", "sabiá-laranjeira 42"}).body["result"]["data"];
    EXPECT_EQ(post(port, "Logout", J::array(), token).status, 200);
    EXPECT_EQ(post(port, "GetItemData", kCatalogue, token).status, 401);
}

TEST_F(Auth, AFailedLoginNeverSaysWhetherTheOperatorExistsAndRepeatedFailuresSlowDown) {
    ServerProcess server(db.Path(), {"--auth", "password"});
    const int port = server.Port();
    Answer wrong = post(port, "Login", {"MARIA", "errada"});
    Answer nobody = post(port, "Login", {"NINGUEM", "errada"});
    EXPECT_EQ(wrong.status, 401);
    EXPECT_EQ(nobody.status, wrong.status);
    EXPECT_EQ(nobody.body, wrong.body);
    EXPECT_EQ(wrong.body["result"]["error"], "Operador ou senha inválidos");

    // JOAO, ten wrong passwords in a row: after a few, tries are refused before the password is even
    // checked, the right one included, until the wait is over.
    int slowed = 0;
    for (int i = 0; i < 10; ++i)
        if (post(port, "Login", {"JOAO", "errada " + std::to_string(i)}).status == 429) ++slowed;
    EXPECT_GE(slowed, 4);
    Answer right = post(port, "Login", {"JOAO", "outra senha"});
    EXPECT_EQ(right.status, 429) << right.body;
    EXPECT_NE(right.body["result"]["error"].get<std::string>().find("Tentativas demais"), std::string::npos);
}

TEST_F(Auth, PasswordsAreNeitherStoredNorLoggedInClearAndTheirTableIsNotReadable) {
    ServerProcess server(db.Path(), {"--auth", "password"});
    post(server.Port(), "Login", {"MARIA", "errada de propósito"});
    std::string token = post(server.Port(), "Login", {"MARIA", "sabiá-laranjeira 42"}).body["result"]["data"];
    std::string file = ReadFile(db.Path());
    EXPECT_EQ(file.find("sabiá-laranjeira"), std::string::npos);
    EXPECT_NE(file.find("$argon2id$"), std::string::npos);
    EXPECT_EQ(server.Log().find("sabiá-laranjeira"), std::string::npos) << server.Log();
    EXPECT_EQ(server.Log().find("errada de propósito"), std::string::npos) << server.Log();
    for (const char* sql : {"SELECT * FROM QELOPERADOR", "SELECT DSSENHA FROM main.qeloperador",
                            "WITH s AS (SELECT DSSENHA FROM QELOPERADOR) SELECT * FROM s"}) {
        Answer a = post(server.Port(), "getInfo", {sql}, token);
        EXPECT_FALSE(a.body["result"]["ok"]) << sql << ": " << a.body;
        EXPECT_EQ(a.body.dump().find("argon2"), std::string::npos) << sql;
    }
}

TEST(AuthCommandLine, TrustIsAcceptedOnlyOnLoopback) {
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", "x.db", "--listen", "0.0.0.0:0", "--auth", "trust"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--auth trust"), std::string::npos) << r.err;
    r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", "x.db", "--auth", "qualquer"});
    EXPECT_EQ(r.status, 2);
}

// Whatever SQL a restricted operator's session sends, it reads only the rows the rules allow. The
// test warehouse's FCAIXA: branch 01 (1000) and 03 (300); MARIA may see branches 01 and 02, JOAO's
// groups 03 and 04 and product P01.
TEST(AuthRules, ARestrictedSessionReadsOnlyAllowedRowsWhateverTheSql) {
    TempDatabase db(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
                    ReadFile(QEL_DEMO_DIR "/operators_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql") +
                    ReadFile(QEL_TEST_DIR "/warehouse.sql"));
    for (const char* op : {"MARIA", "JOAO", "ADMIN"}) setPassword(db.Path(), op, "senha");
    ServerProcess server(db.Path(), {"--auth", "password"});
    auto tokenOf = [&](const char* op) { return post(server.Port(), "Login", {op, "senha"}).body["result"]["data"].get<std::string>(); };
    auto first = [&](const std::string& token, const std::string& sql) {
        Answer a = post(server.Port(), "getInfo", {sql}, token);
        return a.body["result"]["ok"] == true ? a.body["result"]["data"]["rows"][0][0] : J("recusado");
    };
    const std::string maria = tokenOf("MARIA"), joao = tokenOf("JOAO"), admin = tokenOf("ADMIN");
    EXPECT_EQ(first(maria, "SELECT SUM(VL) FROM FCAIXA"), 1000);
    EXPECT_EQ(first(joao, "SELECT SUM(VL) FROM FCAIXA"), 300);
    EXPECT_EQ(first(admin, "SELECT SUM(VL) FROM FCAIXA"), 1300);
    EXPECT_EQ(first(joao, "SELECT group_concat(CDPRODUTO) FROM DPRODUTO"), "P01");
    EXPECT_EQ(first(maria, "SELECT count(*) FROM DFILIAL"), 2);
    // Around the views: the base table by its schema, in a CTE, a subquery, a union.
    for (const char* sql : {"SELECT SUM(VL) FROM main.FCAIXA", "WITH t AS (SELECT * FROM main.FCAIXA) SELECT SUM(VL) FROM t",
                            "SELECT SUM(VL) FROM (SELECT * FROM main.FCAIXA) AS FCAIXA",
                            "SELECT SUM(VL) FROM (SELECT VL FROM \"main\".\"FCAIXA\")",
                            "SELECT SUM(VL) FROM (SELECT VL FROM FCAIXA UNION ALL SELECT VL FROM main.fcaixa)"}) {
        J got = first(maria, sql);
        EXPECT_TRUE(got == "recusado" || got == 1000 || got.is_null()) << sql << ": " << got;
        EXPECT_NE(got, 1300) << sql;
    }
    EXPECT_EQ(first(maria, "WITH t AS (SELECT * FROM FCAIXA) SELECT SUM(VL) FROM t UNION ALL SELECT 0"), 1000);
    // The same pooled connections serve each operator in turn.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(first(admin, "SELECT SUM(VL) FROM FCAIXA"), 1300);
        EXPECT_EQ(first(joao, "SELECT SUM(VL) FROM FCAIXA"), 300);
    }
}
