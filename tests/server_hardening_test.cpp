// The application server under hostile input and load: every probe gets a sound answer, and after
// each one the server still answers a normal call.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/processes.hpp"
#include "support/raw_client.hpp"

namespace {

std::string catalogue() { return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"); }

std::string request(const std::string& method, const std::string& body) {
    return "POST /QEL00100.rdmOpcoesDW/" + method + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

int statusOf(const std::string& response) { return response.size() > 12 ? std::stoi(response.substr(9, 3)) : 0; }

struct Hardened : ::testing::Test {
    TempDatabase db{catalogue()};

    static nlohmann::json call(int port, const std::string& method, const nlohmann::json& args, int* status = nullptr) {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(60, 0);
        auto res = c.Post("/QEL00100.rdmOpcoesDW/" + method, nlohmann::json{{"args", args}}.dump(), "application/json");
        if (!res) throw std::runtime_error("no answer");
        if (status) *status = res->status;
        return nlohmann::json::parse(res->body);
    }
    static nlohmann::json info(int port, const std::string& sql) { return call(port, "getInfo", {sql}); }
    // The server still serves a normal call.
    static void stillServes(int port) {
        auto a = info(port, "SELECT count(*) FROM AREANEGDW");
        ASSERT_TRUE(a["result"]["ok"]) << a.dump();
        EXPECT_EQ(a["result"]["data"]["rows"][0][0], 3);
    }
};

const char* kRunaway = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) SELECT count(*) FROM c";

}  // namespace

TEST_F(Hardened, DeepNestingIsRefusedBeforeAnyCopyAndFailedCallsEchoNothing) {
    ServerProcess server(db.Path());
    std::string deepArgs = "{\"args\":[" + std::string(80000, '[') + std::string(80000, ']') + "]}";
    std::string deepObject = "{\"x\":" + std::string(80000, '[') + std::string(80000, ']') + ",\"args\":[]}";
    for (const std::string& body : {deepArgs, deepObject}) {
        RawClient c(server.Port());
        c.Send(request("getInfo", body));
        std::string response = c.ReadAll(10);
        EXPECT_EQ(statusOf(response), 400) << response.substr(0, 200);
        EXPECT_NE(response.find("\"args\":[]"), std::string::npos) << response.substr(0, 300);
        stillServes(server.Port());
    }
    auto failed = info(server.Port(), "SELECT * FROM NADA");
    EXPECT_EQ(failed["args"], nlohmann::json::array());
    EXPECT_EQ(failed["result"]["error"], "Tabela inexistente: NADA");
    EXPECT_NE(server.Log().find("qelserver: getInfo: Tabela inexistente: NADA"), std::string::npos) << server.Log();
}

TEST_F(Hardened, BodiesPastTheCapAreAnswered413WithoutBeingRead) {
    ServerProcess server(db.Path(), {"--max-body", "2000"});
    {
        RawClient c(server.Port());
        c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\nContent-Length: 33554432\r\n\r\n");
        c.Send(std::string(1000, ' '));
        std::string response = c.ReadAll(10);
        EXPECT_EQ(statusOf(response), 413) << response;
    }
    std::string sql = "SELECT '" + std::string(2100, 'x') + "'";
    int status = 0;
    auto a = call(server.Port(), "getInfo", {sql}, &status);
    EXPECT_EQ(status, 413);
    EXPECT_FALSE(a["result"]["ok"]);
    stillServes(server.Port());
}

TEST_F(Hardened, InvalidUtf8AndBinaryValuesTravelAsValidText) {
    db.Execute("UPDATE AREANEGDW SET NMAREANEGDW = CAST(X'56656E6461FF' AS TEXT) WHERE CDAREANEGDW = '01'");
    ServerProcess server(db.Path());
    auto text = info(server.Port(), "SELECT CAST(X'FF80' AS TEXT) a, randomblob(8) b, zeroblob(2) c, X'00FF' d");
    ASSERT_TRUE(text["result"]["ok"]) << text.dump();
    auto row = text["result"]["data"]["rows"][0];
    EXPECT_EQ(row[0], "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(row[1].get<std::string>().size(), 16u);
    EXPECT_EQ(row[2], "0000");
    EXPECT_EQ(row[3], "00ff");
    auto catalogueAnswer = call(server.Port(), "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"});
    ASSERT_TRUE(catalogueAnswer["result"]["ok"]) << catalogueAnswer.dump().substr(0, 300);
    EXPECT_EQ(catalogueAnswer["args"][1]["rows"][0][0], "Venda\xEF\xBF\xBD");
}

TEST_F(Hardened, SlowAndIdleClientsHoldNoWorkerAndAFullQueueIsAnswered503) {
    ServerProcess server(db.Path(), {"--read-timeout", "2", "--workers", "1", "--queue", "2", "--statement-timeout", "3"});
    // Eight clients that send a header line now and then, and never finish.
    std::atomic<int> timedOut{0};
    std::vector<std::thread> slow;
    for (int i = 0; i < 8; ++i)
        slow.emplace_back([&, i] {
            RawClient c(server.Port());
            c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\n");
            for (int k = 0; k < 6; ++k) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                if (!c.Send("X-Lento-" + std::to_string(i) + ": " + std::to_string(k) + "\r\n")) break;
            }
            if (statusOf(c.ReadAll(5)) == 408) ++timedOut;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stillServes(server.Port());  // while all eight are still sending

    // One runaway statement takes the only worker; of six more calls, two wait and the rest hear 503.
    std::thread runaway([&] {
        auto a = info(server.Port(), kRunaway);
        EXPECT_FALSE(a["result"]["ok"]);
        EXPECT_NE(a["result"]["error"].get<std::string>().find("tempo limite"), std::string::npos) << a.dump();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::atomic<int> busy{0}, served{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 6; ++i)
        callers.emplace_back([&] {
            int status = 0;
            auto a = call(server.Port(), "getInfo", {"SELECT 1"}, &status);
            if (status == 503) ++busy;
            else if (a["result"]["ok"]) ++served;
        });
    for (auto& t : callers) t.join();
    runaway.join();
    for (auto& t : slow) t.join();
    EXPECT_GE(busy.load(), 1);
    EXPECT_GE(served.load(), 1);
    EXPECT_EQ(busy + served, 6);
    EXPECT_EQ(timedOut.load(), 8);
    stillServes(server.Port());
}

TEST_F(Hardened, SigtermInterruptsRunningStatementsAndEnds) {
    ServerProcess server(db.Path(), {"--statement-timeout", "600"});
    std::vector<std::thread> runaways;
    for (int i = 0; i < 4; ++i)
        runaways.emplace_back([&] {
            try {
                info(server.Port(), kRunaway);
            } catch (const std::exception&) {
                // the connection closes with the server
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(server.Pid(), SIGTERM);
    // Each statement would run for minutes: the server must not wait for them.
    EXPECT_EQ(server.WaitExit(10), 0) << "still running after 10 s";
    for (auto& t : runaways) t.join();
}

TEST_F(Hardened, HugeResultsAreRefusedInPortuguese) {
    ServerProcess server(db.Path(), {"--max-rows", "1000", "--max-answer", "65536"});
    auto rows = info(server.Port(), "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5000) SELECT x FROM c");
    EXPECT_FALSE(rows["result"]["ok"]);
    EXPECT_NE(rows["result"]["error"].get<std::string>().find("mais de 1000 linhas"), std::string::npos) << rows.dump();
    auto bytes = info(server.Port(), "SELECT zeroblob(100000)");
    EXPECT_FALSE(bytes["result"]["ok"]);
    EXPECT_NE(bytes["result"]["error"].get<std::string>().find("limite do servidor"), std::string::npos) << bytes.dump();
    stillServes(server.Port());
}

TEST_F(Hardened, OnlyReadingIsAllowedAndMessagesNeverShowTheDatabasePath) {
    ServerProcess server(db.Path());
    for (const char* refused :
         {"SELECT hex(fts3_tokenizer('simple'))", "SELECT fts3_tokenizer('simple', X'0000000000000000')",
          "SELECT * FROM pragma_database_list", "PRAGMA database_list", "SELECT load_extension('/lib/x.so')",
          "ATTACH DATABASE ':memory:' AS outro"}) {
        auto a = info(server.Port(), refused);
        EXPECT_FALSE(a["result"]["ok"]) << refused << ": " << a.dump();
        stillServes(server.Port());
    }
    std::string path = db.Path();
    std::filesystem::rename(path, path + ".fora");
    auto gone = call(server.Port(), "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"});
    std::filesystem::rename(path + ".fora", path);
    EXPECT_FALSE(gone["result"]["ok"]);
    EXPECT_EQ(gone.dump().find(std::filesystem::path(path).filename().string()), std::string::npos) << gone.dump();
    EXPECT_EQ(server.Log().find(path), std::string::npos) << server.Log();
    stillServes(server.Port());
}

TEST(ServerCommandLine, PortsOutOfRangeOrNotNumbersAreUsageErrors) {
    for (const char* listen : {"127.0.0.1:99999", "127.0.0.1:-1", "127.0.0.1:abc", "127.0.0.1:", "semporta", "127.0.0.1:80x"}) {
        CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", "/nao/existe.db", "--listen", listen});
        EXPECT_EQ(r.status, 2) << listen;
        EXPECT_NE(r.err.find("uso: qelserver"), std::string::npos) << r.err;
    }
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", "x.db", "--max-body", "1e6"});
    EXPECT_EQ(r.status, 2);
    // The ClickHouse operators' owner and configuration folder go together, and only on ClickHouse.
    const std::string ch = "clickhouse://leitor@127.0.0.1:1/dw";
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--db", ch, "--clickhouse-owner", "clickhouse://default@127.0.0.1:1/dw"},
          {"--db", ch, "--clickhouse-config", "/tmp"},
          {"--db", "x.db", "--clickhouse-owner", "clickhouse://default@127.0.0.1:1/dw", "--clickhouse-config", "/tmp"},
          {"--db", ch, "--clickhouse-owner", "x.db", "--clickhouse-config", "/tmp"}}) {
        std::vector<std::string> argv{QEL_BIN_DIR "/qelserver"};
        argv.insert(argv.end(), options.begin(), options.end());
        CommandResult bad = RunCommand(argv);
        EXPECT_EQ(bad.status, 2) << bad.err;
        EXPECT_NE(bad.err.find("--clickhouse-"), std::string::npos) << bad.err;
    }
}
