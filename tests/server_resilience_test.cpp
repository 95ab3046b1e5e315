// The application server against a second round of hostile probes: values and answers that would
// fill memory, a catalogue edited while the server was down, running out of file descriptors, clients
// that send a whole refused body before reading, a database file replaced in place, and requests
// whose framing or text is ambiguous.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "support/processes.hpp"
#include "support/server_call.hpp"
#include "support/raw_client.hpp"

namespace {

using J = nlohmann::json;

std::string catalogue() { return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"); }

J call(int port, const std::string& method, const J& args, int* status = nullptr, int timeout = 60) {
    return CallServer("127.0.0.1:" + std::to_string(port), method, args, status, timeout);
}

J info(int port, const std::string& sql) { return call(port, "getInfo", {sql}); }

int statusOf(const std::string& response) { return response.size() > 12 ? std::stoi(response.substr(9, 3)) : 0; }


// CPU seconds the process has used.
double cpuSeconds(pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i == 14 || i == 15) ticks += std::stol(f);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Resilient : ::testing::Test {
    TempDatabase db{catalogue()};
};

struct CatalogueCall {
    int status = 0;
    std::string etag, body;
};

CatalogueCall catalogueCall(int port, const std::string& ifNoneMatch = "") {
    httplib::Client c("127.0.0.1", port);
    httplib::Headers h;
    if (!ifNoneMatch.empty()) h.emplace("If-None-Match", ifNoneMatch);
    auto res = c.Post("/QEL00100.rdmOpcoesDW/GetItemData", h, J{{"args", {nullptr, nullptr, nullptr, nullptr, "ADMIN"}}}.dump(),
                      "application/json");
    if (!res) throw std::runtime_error("no answer");
    return {res->status, res->get_header_value("ETag"), res->body};
}

}  // namespace

TEST_F(Resilient, OneValueOrOneAnswerNeitherFillsMemoryNorOutlivesTheTimeout) {
    ServerProcess server(db.Path(), {"--statement-timeout", "2"});
    for (const char* probe : {"SELECT zeroblob(1000000000)", "SELECT printf('%.*c', 2147483647, 'x')",
                              "SELECT length(printf('%!.*c', 2147483647, 'x'))", "SELECT format('%2147483647d', 1)",
                              "SELECT hex(zeroblob(200000000))", "SELECT zeroblob(20000000) || zeroblob(20000000)"}) {
        auto a = info(server.Port(), probe);
        EXPECT_FALSE(a["result"]["ok"]) << probe << ": " << a.dump().substr(0, 200);
        EXPECT_NE(a.dump().find("limite do servidor"), std::string::npos) << probe << ": " << a.dump().substr(0, 200);
    }
    // Below the caps values still travel, and printf still formats.
    auto small = info(server.Port(), "SELECT length(hex(zeroblob(1000000))), printf('%5.2f|%.*c|%d%%', 3.14159, 3, 'z', 7)");
    ASSERT_TRUE(small["result"]["ok"]) << small.dump();
    EXPECT_EQ(small["result"]["data"]["rows"][0], J({2000000, " 3.14|zzz|7%"}));
    EXPECT_LT(ProcStatus(server.Pid(), "VmHWM"), 300 * 1024);

    // Stopping while such calls keep coming.
    std::atomic<bool> going{true};
    std::thread caller([&] {
        while (going) try {
                info(server.Port(), "SELECT printf('%.*c', 2147483647, 'x')");
            } catch (const std::exception&) {
                break;
            }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(server.Pid(), SIGTERM);
    EXPECT_EQ(server.WaitExit(5), 0);
    going = false;
    caller.join();
}

TEST_F(Resilient, AServerStartedOnAnEditedCatalogueNeverCallsItUnchanged) {
    CatalogueCall first;
    {
        ServerProcess server(db.Path());
        first = catalogueCall(server.Port());
        ASSERT_EQ(first.status, 200);
        ASSERT_FALSE(first.etag.empty());
    }
    db.Execute("UPDATE AREANEGDW SET NMAREANEGDW = 'Vendas Norte' WHERE CDAREANEGDW = '01'");
    CatalogueCall edited;
    {
        ServerProcess server(db.Path());
        edited = catalogueCall(server.Port(), first.etag);
        EXPECT_EQ(edited.status, 200);
        EXPECT_NE(edited.body.find("Vendas Norte"), std::string::npos);
        EXPECT_NE(edited.etag, first.etag);
    }
    ServerProcess server(db.Path());
    CatalogueCall same = catalogueCall(server.Port(), edited.etag);
    EXPECT_EQ(same.status, 304) << "the same catalogue after a restart keeps its tag";
    EXPECT_EQ(same.etag, edited.etag);
}

TEST_F(Resilient, OutOfFileDescriptorsIdleConnectionsMakeRoomAndTheServerDoesNotSpin) {
    ServerProcess server(db.Path(), {"--read-timeout", "60"});
    CommandResult lowered = RunCommand({"/usr/bin/prlimit", "--pid", std::to_string(server.Pid()), "--nofile=64:64"});
    ASSERT_EQ(lowered.status, 0) << lowered.err;
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 150; ++i) idle.push_back(std::make_unique<RawClient>(server.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double cpuBefore = cpuSeconds(server.Pid());
    auto start = std::chrono::steady_clock::now();
    int served = 0;
    for (int i = 0; i < 10; ++i) {
        int status = 0;
        auto a = call(server.Port(), "getInfo", {"SELECT count(*) FROM AREANEGDW"}, &status, 5);
        if (status == 200 && a["result"]["ok"] == true) ++served;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double cpu = cpuSeconds(server.Pid()) - cpuBefore;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(served, 10);
    EXPECT_LT(cpu, wall / 2) << "CPU " << cpu << " s in " << wall << " s";
    std::string log = server.Log();
    size_t first = log.find("sem descritores de arquivo livres");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("sem descritores de arquivo livres", first + 1), std::string::npos) << "logged once";
}

TEST_F(Resilient, AClientThatSendsTheWholeRefusedBodyFirstStillReadsTheAnswer) {
    ServerProcess server(db.Path(), {"--max-body", "2000"});
    std::string body(4 << 20, ' ');
    RawClient c(server.Port());
    bool sent = c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_TRUE(sent) << "the server reset the connection while the body was still coming";
    std::string response = c.ReadAll(10);
    EXPECT_EQ(statusOf(response), 413) << response.substr(0, 200);
    EXPECT_TRUE(info(server.Port(), "SELECT 1")["result"]["ok"]);
}

TEST_F(Resilient, AmbiguousFramingAndTextAreRefusedAndMessagesSayThingsOnce) {
    ServerProcess server(db.Path());
    const std::string body = R"({"args":["SELECT 1"]})";
    auto raw = [&](const std::string& lengths) {
        RawClient c(server.Port());
        c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\n" + lengths + "Connection: close\r\n\r\n" + body);
        return c.ReadAll(5);
    };
    const std::string n = std::to_string(body.size());
    EXPECT_EQ(statusOf(raw("Content-Length: " + n + "\r\nContent-Length: 5\r\n")), 400);
    EXPECT_EQ(statusOf(raw("Content-Length: " + n + "\r\nContent-Length: " + n + "\r\n")), 200);

    // A NUL inside the statement would end it early: what follows would run unchecked or be dropped.
    auto nul = info(server.Port(), std::string("SELECT 1\0; SELECT 2", 19));
    EXPECT_FALSE(nul["result"]["ok"]) << nul.dump();
    EXPECT_NE(nul.dump().find("caractere nulo"), std::string::npos) << nul.dump();

    int status = 0;
    RawClient c(server.Port());
    c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nConnection: close\r\n\r\n[]");
    std::string response = c.ReadAll(5);
    status = statusOf(response);
    EXPECT_EQ(status, 400);
    EXPECT_NE(response.find("\"Requisição malformada: esperado um objeto\""), std::string::npos) << response;
}

TEST_F(Resilient, ADatabaseFileTruncatedAndRestoredInPlaceIsReadAgain) {
    ServerProcess server(db.Path());
    auto catalogueOk = [&] { return call(server.Port(), "GetItemData", {nullptr, nullptr, nullptr, nullptr, "ADMIN"})["result"]["ok"] == true; };
    ASSERT_TRUE(catalogueOk());
    std::string saved = ReadFile(db.Path());
    for (off_t cut : {0, 100}) {
        ASSERT_EQ(::truncate(db.Path().c_str(), cut), 0);
        // Calls while the file is cut fail, and leave their connections behind in the pool.
        EXPECT_FALSE(catalogueOk());
        EXPECT_FALSE(info(server.Port(), "SELECT count(*) FROM AREANEGDW")["result"]["ok"]);
        std::ofstream(db.Path(), std::ios::binary | std::ios::in | std::ios::out) << saved;  // same file, same inode
        auto back = info(server.Port(), "SELECT count(*) FROM AREANEGDW");
        ASSERT_TRUE(back["result"]["ok"]) << "cut at " << cut << ": " << back.dump();
        EXPECT_EQ(back["result"]["data"]["rows"][0][0], 3);
        EXPECT_TRUE(catalogueOk()) << "cut at " << cut;
    }
}

// A call in flight when the server is told to stop hears why (503, with the reason in the answer's
// form) instead of finding its connection closed without a word; the server still ends within two
// seconds.
TEST_F(Resilient, ACallInFlightAtAStopIsAnswered503AndTheServerStillEnds) {
    ServerProcess server(db.Path());
    const std::string body = J{{"args", {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n"}}}.dump();
    RawClient c(server.Port());
    ASSERT_TRUE(c.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body));
    // The statement that never ends is running once the server spends CPU time on it.
    const double idle = cpuSeconds(server.Pid());
    for (int i = 0; i < 200 && cpuSeconds(server.Pid()) < idle + 0.2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_GE(cpuSeconds(server.Pid()), idle + 0.2) << "the call never started";
    kill(server.Pid(), SIGTERM);
    const std::string response = c.ReadAll(5);
    EXPECT_EQ(statusOf(response), 503) << response.substr(0, 300);
    const size_t start = response.find("\r\n\r\n");
    ASSERT_NE(start, std::string::npos) << response;
    const J answer = J::parse(response.substr(start + 4), nullptr, false);
    EXPECT_EQ(answer["result"], J({{"ok", false}, {"error", "O servidor de aplicação está sendo encerrado"}})) << response;
    EXPECT_EQ(server.WaitExit(2), 0) << "still running two seconds after the signal";
}
