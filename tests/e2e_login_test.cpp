// End to end: the host logs in to a server that asks for passwords, with the password from a file or
// from the environment; a wrong one is the server's message and the script goes on; a session that
// expired is opened again and the call made once more.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;

std::vector<std::string> errors(const J& state) {
    std::vector<std::string> out;
    for (auto& m : EventsOf(state, "message"))
        if (m["type"] == "error") out.push_back(m["text"]);
    return out;
}

struct PasswordFile {
    std::string path = std::filesystem::temp_directory_path() / ("qel_senha_" + std::to_string(::getpid()));
    explicit PasswordFile(const std::string& password) { std::ofstream(path) << password << "\n"; }
    ~PasswordFile() { std::filesystem::remove(path); }
};

}  // namespace

TEST(Login, TheHostLogsInWithThePasswordItIsGivenAndAWrongOneIsTheServersMessage) {
    E2E e("", true, E2E::Engine::Sqlite, {"--auth", "password"});
    e.SetPassword("MARIA", "café com leite");
    const std::string script = "open\npress trvFatos Vendas\ndump\n";

    PasswordFile right("café com leite");
    HostRun r = e.Run(script, {"--operator", "MARIA", "--password-file", right.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(errors(r.states[0]), std::vector<std::string>{}) << r.states[0]["events"];
    EXPECT_FALSE(r.states[0]["trees"]["trvFatos"].empty());

    PasswordFile wrong("chá");
    r = e.Run("open\ndump\n", {"--operator", "MARIA", "--password-file", wrong.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(errors(r.states[0]), std::vector<std::string>{"Operador ou senha inválidos"}) << r.states[0]["events"];
    EXPECT_TRUE(r.states[0]["trees"]["trvFatos"].empty());
    for (auto& call : EventsOf(r.states[0], "call")) EXPECT_EQ(call.dump().find("chá"), std::string::npos);

    setenv("QEL_PASSWORD", "café com leite", 1);
    r = e.Run(script, {"--operator", "MARIA"});
    unsetenv("QEL_PASSWORD");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(errors(r.states[0]), std::vector<std::string>{}) << r.states[0]["events"];

    r = e.Run("open\ndump\n", {"--operator", "MARIA"});  // no password at all
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(errors(r.states[0]).size(), 1u) << r.states[0]["events"];
}

TEST(Login, AnExpiredSessionIsOpenedAgainAndTheCallMadeOnce) {
    // The idle time runs from each token and each call, never from a password check: three seconds
    // are long beside a call, and the wait below starts after the last call has been answered.
    E2E e("", true, E2E::Engine::Sqlite, {"--auth", "password", "--session-idle", "3"});
    e.SetPassword("ADMIN", "segredo");
    PasswordFile file("segredo");
    E2E::Session s(e, {"--password-file", file.path});
    s.Send("open\npress trvFatos Vendas\ndblclick trvFatos Vendas Faturamento");
    J before = s.Dump();
    EXPECT_EQ(errors(before), std::vector<std::string>{});
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    s.Send("key F5");
    J after = s.Dump();
    EXPECT_EQ(errors(after), std::vector<std::string>{}) << after["events"];
    EXPECT_EQ(EventsOf(after, "call").size(), 1u) << after["events"];  // the login is no call of the screen's
    EXPECT_EQ(Zone(after, "trvFacts"), "Faturamento");
    EXPECT_EQ(s.Close(), 0);
}
