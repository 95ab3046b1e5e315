// Logins on the application server: passwords kept only as hashes, sessions by token, every call
// without a live session refused with 401, a session that cannot ask for another operator's
// catalogue, failures that never say whether the operator exists, and repeated failures slowed down;
// bursts of logins that neither fill memory nor hold up a stop; --set-password's refusals.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "data/sql_connection.hpp"

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

// A Login sent from a loopback address of the test's choosing (127.0.0.0/8), since failures are
// kept per address: the HTTP status and body, status 0 when no answer came.
Answer loginFrom(int port, const std::string& source, const std::string& op, const std::string& password) {
    struct Socket {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ~Socket() { close(fd); }
    } s;
    sockaddr_in local{}, server{};
    local.sin_family = server.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &local.sin_addr);
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(s.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
        return {};
    const std::string body = J{{"args", {op, password}}}.dump();
    std::string request = "POST /QEL00100.rdmOpcoesDW/Login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                          "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (size_t sent = 0; sent < request.size();) {
        ssize_t n = send(s.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return {};
        sent += static_cast<size_t>(n);
    }
    std::string response;
    char buffer[4096];
    for (;;) {
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 120000) <= 0) break;
        ssize_t n = recv(s.fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        response.append(buffer, static_cast<size_t>(n));
    }
    const size_t head = response.find("\r\n\r\n");
    if (response.size() < 12 || head == std::string::npos) return {};
    return {std::stoi(response.substr(9, 3)), J::parse(response.substr(head + 4), nullptr, false)};
}


// `count` wrong logins at once, each of its own operator from its own address, so that no limit
// of tries holds them back; their statuses.
std::vector<int> wrongBurst(int port, int count, const std::string& prefix) {
    std::vector<int> statuses(count);
    std::vector<std::thread> clients;
    for (int i = 0; i < count; ++i)
        clients.emplace_back([&, i] {
            statuses[i] = loginFrom(port, "127.0." + prefix + "." + std::to_string(i + 1), "OPERADOR" + std::to_string(i), "errada").status;
        });
    for (auto& c : clients) c.join();
    return statuses;
}

struct Auth : ::testing::Test {
    TempDatabase db{catalogue()};
    void SetUp() override {
        setPassword(db.Path(), "MARIA", "sabiá-laranjeira 42");
        setPassword(db.Path(), "JOAO", "outra senha");
    }
};

}  // namespace

TEST_F(Auth, OnlyALiveSessionOfTheSameOperatorIsServed) {
    // The idle time runs from the token, not from the password check (which may take seconds).
    ServerProcess server(db.Path(), {"--auth", "password", "--session-idle", "2"});
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

    // Idle past the session's time, counted from its last use (which came before this answer).
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
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

    // JOAO, wrong passwords in a row from another address: five are checked, the sixth is refused
    // before the password is even checked, the right one included, until the wait is over.
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(loginFrom(port, "127.0.0.2", "JOAO", "errada " + std::to_string(i)).status, 401) << i;
    EXPECT_EQ(loginFrom(port, "127.0.0.2", "JOAO", "errada 6").status, 429);
    Answer right = loginFrom(port, "127.0.0.3", "JOAO", "outra senha");
    EXPECT_EQ(right.status, 429) << right.body;
    EXPECT_NE(right.body["result"]["error"].get<std::string>().find("Tentativas demais"), std::string::npos);

    // Another operator each time, from one address: the address is held back.
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(loginFrom(port, "127.0.0.4", "OPERADOR" + std::to_string(i), "errada").status, 401) << i;
    EXPECT_EQ(loginFrom(port, "127.0.0.4", "MARIA", "sabiá-laranjeira 42").status, 429);
    EXPECT_EQ(loginFrom(port, "127.0.0.5", "MARIA", "sabiá-laranjeira 42").status, 200);
}

TEST_F(Auth, ABurstOfWrongLoginsKeepsTheServerSmallAndARightOneThenSucceeds) {
    ServerProcess server(db.Path(), {"--auth", "password"});
    for (int status : wrongBurst(server.Port(), 64, "1")) EXPECT_TRUE(status == 401 || status == 503) << status;
    // Each check takes 64 MiB: sixteen workers checking at once went past a gigabyte.
    EXPECT_LT(ProcStatus(server.Pid(), "VmHWM"), 300 * 1024) << "kB at the peak";
    Answer right = loginFrom(server.Port(), "127.0.0.1", "MARIA", "sabiá-laranjeira 42");
    EXPECT_EQ(right.status, 200) << right.body;
}

TEST_F(Auth, LongOperatorCodesAreRefusedAndNotKept) {
    ServerProcess server(db.Path(), {"--auth", "password"});
    Answer wide = loginFrom(server.Port(), "127.0.0.1", std::string(21, 'M'), "sabiá-laranjeira 42");
    EXPECT_EQ(wide.status, 401);
    EXPECT_EQ(wide.body["result"]["error"], "Operador ou senha inválidos");
    // Sixty names of a megabyte, each from an address of its own, twice: the first round leaves the
    // workers' buffers at their size, the second would add 60 MB at least if the names were kept.
    auto round = [&](int n) {
        for (int i = 0; i < 60; ++i) {
            Answer a = loginFrom(server.Port(), "127.0." + std::to_string(n) + "." + std::to_string(i + 1),
                                 std::to_string(n * 100 + i) + std::string(1000000, 'M'), "x");
            EXPECT_EQ(a.status, 401) << i;
        }
        return ProcStatus(server.Pid(), "VmRSS");
    };
    const long first = round(2);
    const long second = round(3);
    EXPECT_LT(second - first, 30 * 1024) << "kB kept";
    EXPECT_EQ(loginFrom(server.Port(), "127.0.0.1", "MARIA", "sabiá-laranjeira 42").status, 200);
}

TEST_F(Auth, AStopWithLoginsInFlightEndsWithinTwoSeconds) {
    ServerProcess server(db.Path(), {"--auth", "password"});
    const long idle = ProcStatus(server.Pid(), "VmRSS");
    std::thread burst([&] { wrongBurst(server.Port(), 32, "4"); });
    // Wait until a check runs (its 64 MiB show), so that the signal comes with logins in flight.
    bool checking = false;
    for (int i = 0; i < 6000 && !checking; ++i) {
        checking = ProcStatus(server.Pid(), "VmRSS") > idle + 48 * 1024;
        if (!checking) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(checking) << "no check was seen running";
    kill(server.Pid(), SIGTERM);
    // The server promises to stop within two seconds of the signal, whatever it is doing.
    EXPECT_EQ(server.WaitExit(2), 0) << "still running two seconds after SIGTERM";
    burst.join();
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

TEST(AuthCommandLine, SetPasswordRefusesAnEmptyOperatorAndAPasswordOfSeveralLines) {
    TempDatabase db(catalogue());
    // Without an operator it used to start a server: here, on a database that cannot be opened.
    const std::string nowhere = (std::filesystem::temp_directory_path() / "qel_sem_pasta" / "x.db").string();
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", nowhere, "--set-password", ""}, "senha\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--set-password espera o código do operador"), std::string::npos) << r.err;
    r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", db.Path(), "--set-password", std::string(21, 'A')}, "senha\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--set-password espera o código do operador"), std::string::npos) << r.err;

    auto kept = [&](const std::string& op) {
        return OpenSqlite(db.Path())->Query("SELECT COUNT(*) FROM QELOPERADOR WHERE CDOPERADOR = :P", {{"P", op}}).rows[0][0];
    };
    for (const char* input : {"primeira\nsegunda\n", "primeira\nsegunda", "primeira\r\nsegunda\r\n", "primeira\rsegunda\n"}) {
        r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", db.Path(), "--set-password", "PEDRO"}, input);
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_NE(r.err.find("a senha deve vir numa só linha"), std::string::npos) << r.err;
        EXPECT_EQ(kept("PEDRO"), "0") << input;
    }
    // One line, with or without its line break, is kept whole.
    for (const char* input : {"uma senha só\r\n", "uma senha só"}) {
        r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", db.Path(), "--set-password", "PEDRO"}, input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(kept("PEDRO"), "1");
    }
    ServerProcess server(db.Path(), {"--auth", "password"});
    EXPECT_EQ(post(server.Port(), "Login", {"PEDRO", "uma senha só"}).status, 200);
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
