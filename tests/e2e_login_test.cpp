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

namespace {

std::vector<J> confirmations(const J& state) { return EventsOf(state, "confirmation"); }

const std::string kNothingLoaded =
    "Nenhum catálogo foi carregado: o operador MARIA não entrou no servidor de aplicação. Tentar de novo? "
    "(F5, Atualizar, também pede a senha de novo.)";

}  // namespace

// A login refused or given up leaves the screen without a catalogue: the host says so plainly and
// offers to try again ("no" when nothing is queued); "yes" asks for the password again, and so does F5.
TEST(Login, ALoginThatFailsSaysNothingWasLoadedAndOffersToTryAgain) {
    E2E e("", true, E2E::Engine::Sqlite, {"--auth", "password"});
    e.SetPassword("MARIA", "café com leite");
    PasswordFile wrong("chá");

    HostRun r = e.Run("open\ndump\n", {"--operator", "MARIA", "--password-file", wrong.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(errors(r.states[0]), std::vector<std::string>{"Operador ou senha inválidos"}) << r.states[0]["events"];
    EXPECT_EQ(confirmations(r.states[0]), std::vector<J>{J({{"kind", "confirmation"}, {"text", kNothingLoaded}, {"answer", "no"}})});
    EXPECT_TRUE(r.states[0]["trees"]["trvFatos"].empty());

    // "Tentar de novo": the login is asked again (refused again here), and the question comes back.
    r = e.Run("answer yes\nopen\ndump\n", {"--operator", "MARIA", "--password-file", wrong.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(errors(r.states[0]), std::vector<std::string>(2, "Operador ou senha inválidos")) << r.states[0]["events"];
    const std::vector<J> asked = confirmations(r.states[0]);
    ASSERT_EQ(asked.size(), 2u) << r.states[0]["events"];
    EXPECT_EQ(asked[0]["answer"], "yes");
    EXPECT_EQ(asked[1]["answer"], "no");

    // No password at all (a login given up): the same question.
    r = e.Run("open\ndump\n", {"--operator", "MARIA"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(confirmations(r.states[0]).size(), 1u) << r.states[0]["events"];

    // The password becomes the right one: F5 asks again and the catalogue comes.
    E2E::Session s(e, {"--operator", "MARIA", "--password-file", wrong.path});
    s.Send("open");
    J first = s.Dump();
    EXPECT_EQ(confirmations(first).size(), 1u) << first["events"];
    e.SetPassword("MARIA", "chá");
    s.Send("key F5");
    J loaded = s.Dump();
    EXPECT_EQ(errors(loaded), std::vector<std::string>{}) << loaded["events"];
    EXPECT_TRUE(confirmations(loaded).empty());
    EXPECT_FALSE(loaded["trees"]["trvFatos"].empty());
    EXPECT_EQ(s.Close(), 0);

    // A login that succeeds asks nothing.
    r = e.Run("open\ndump\n", {"--operator", "MARIA", "--password-file", wrong.path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(confirmations(r.states[0]).empty()) << r.states[0]["events"];
    EXPECT_FALSE(r.states[0]["trees"]["trvFatos"].empty());
}
