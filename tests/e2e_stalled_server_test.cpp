// The host against application servers that misbehave: one that never answers, one that trickles
// its answer a byte at a time, one whose answer is larger than the host takes. Each call ends at the
// host's deadline or size cap with a clear message, and the host goes on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/bad_server.hpp"
#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;

std::string firstError(const J& state) {
    for (auto& m : EventsOf(state, "message"))
        if (m["type"] == "error") return m["text"];
    return "";
}

}  // namespace

TEST(StalledServer, EveryCallEndsAtTheDeadlineOrTheSizeCapWithAClearMessage) {
    E2E e;
    struct Case {
        BadServer::Mode mode;
        std::vector<std::string> flags;
        std::string message;
    };
    const Case cases[] = {
        {BadServer::Mode::Silent, {"--call-timeout", "2"}, "não respondeu em 2 s"},
        {BadServer::Mode::Trickle, {"--call-timeout", "2"}, "não respondeu em 2 s"},
        {BadServer::Mode::Huge, {"--max-answer", "1048576"}, "passou de 1 MB, o limite deste cliente"},
    };
    for (const Case& c : cases) {
        BadServer bad(c.mode);
        std::vector<std::string> flags = c.flags;
        HostRun r = e.Run("open\ndump\nserver " + e.Server() + "\nkey F5\ndump\n", flags, bad.Address());
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.states.size(), 2u) << r.err;
        EXPECT_NE(firstError(r.states[0]).find(c.message), std::string::npos) << r.states[0]["events"];
        // The host goes on: the same session then loads the catalogue from a sound server.
        EXPECT_EQ(firstError(r.states[1]), "") << r.states[1]["events"];
        EXPECT_FALSE(r.states[1]["trees"]["trvFatos"].empty());
    }
}

namespace {


std::vector<std::string> errors(const J& state) {
    std::vector<std::string> out;
    for (auto& m : EventsOf(state, "message")) out.push_back(m["type"].get<std::string>() + ": " + m["text"].get<std::string>());
    return out;
}

}  // namespace

// An answer past the host's cap, whether its length says so, it comes in chunks without end, or it is
// a small gzip stream that inflates to far more, is refused having cost the host no more than the cap:
// never two or three copies of it on the way. Measured as the host's peak memory over the refused
// refresh, from a peak reset just before it.
TEST(StalledServer, AnAnswerPastTheCapCostsTheHostNoMoreThanTheCap) {
    E2E e;
    const size_t cap = size_t{32} << 20;
    struct Case {
        const char* what;
        BadServer::Mode mode;
        size_t bytes;
    };
    const Case cases[] = {
        {"50 MB, said so", BadServer::Mode::Huge, size_t{50} << 20},
        {"endless chunks", BadServer::Mode::Endless, 0},
        {"a gzip bomb of 200 MB", BadServer::Mode::GzipBomb, size_t{200} << 20},
    };
    for (const Case& c : cases) {
        BadServer bad(c.mode, "", true, c.bytes);
        E2E::Session s({QEL_BIN_DIR "/qelhost", "--server", bad.Address(), "--script", "-", "--max-answer", std::to_string(cap)});
        s.Send("open");
        J opened = s.Dump();
        ASSERT_EQ(errors(opened), std::vector<std::string>{"error: Ainda não"}) << c.what;
        {
            std::ofstream reset("/proc/" + std::to_string(s.Pid()) + "/clear_refs");
            reset << "5";  // the peak starts again from what the host holds now
        }
        const long before = ProcStatus(s.Pid(), "VmRSS");
        s.Send("key F5");
        J refreshed = s.Dump();
        const long peak = ProcStatus(s.Pid(), "VmHWM");
        EXPECT_EQ(errors(refreshed), std::vector<std::string>{"error: A resposta do servidor de aplicação passou de 32 MB, o limite deste cliente; restrinja a consulta"})
            << c.what;
        ASSERT_GT(before, 0);
        // The cap and 8 MB for everything else a refresh touches; two copies would be 64 MB.
        EXPECT_LE(peak - before, static_cast<long>((cap >> 10) + 8 * 1024)) << c.what << ": from " << before << " kB to a peak of " << peak << " kB";
        EXPECT_EQ(s.Close(), 0) << c.what;
    }
}

// An answer that is not one says why: cut short of the length it announced, text that is not UTF-8,
// or lists nested deeper than any answer nests.
TEST(StalledServer, AnAnswerThatIsNotOneSaysWhy) {
    E2E e;
    auto raw = [](const std::string& body, size_t announced) {
        return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(announced) +
               "\r\nConnection: close\r\n\r\n" + body;
    };
    const std::string ok = R"({"result":{"ok":true,"data":null},"args":[)";
    const std::string deep = ok + std::string(100000, '[') + std::string(100000, ']') + "]}";
    const std::string latin1 = "{\"result\":{\"ok\":false,\"error\":\"Caf\xE9\"},\"args\":[]}";
    struct Case {
        const char* what;
        std::string response, message;
    };
    const std::string invalid = "error: Resposta inválida do servidor de aplicação (HTTP 200): ";
    const Case cases[] = {
        {"a lying length", raw(ok + "]}", 4000), invalid + "resposta cortada: menos bytes que o anunciado"},
        {"not UTF-8", raw(latin1, latin1.size()), invalid + "texto que não é UTF-8 válido"},
        {"100,000 deep", raw(deep, deep.size()), invalid + "aninhamento profundo demais"},
        // A length past any memory is refused on its word, before a byte is read or held.
        {"a terabyte announced", raw(ok + "]}", size_t{1} << 40),
         "error: A resposta do servidor de aplicação passou de 256 MB, o limite deste cliente; restrinja a consulta"},
    };
    for (const Case& c : cases) {
        BadServer bad(BadServer::Mode::Canned, c.response);
        HostRun r = e.Run("open\ndump\n", {}, bad.Address());
        ASSERT_EQ(r.status, 0) << c.what << r.err;
        ASSERT_EQ(r.states.size(), 1u) << c.what;
        EXPECT_EQ(errors(r.states[0]), std::vector<std::string>{c.message}) << c.what;
    }
}

// With no server listening, one F5 says so once, in Portuguese through to its end.
TEST(StalledServer, AServerDownIsSaidOncePerRefreshInPortuguese) {
    E2E e;
    const std::string down = "127.0.0.1:" + std::to_string(UnusedPort());
    HostRun r = e.Run("open\ndump\nkey F5\ndump\n", {}, down);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.states.size(), 2u);
    const std::vector<std::string> once{"error: Não foi possível conectar ao servidor de aplicação em " + down +
                                        " (conexão recusada ou endereço inalcançável)"};
    EXPECT_EQ(errors(r.states[0]), once);
    EXPECT_EQ(errors(r.states[1]), once) << "one F5, one message";
}
