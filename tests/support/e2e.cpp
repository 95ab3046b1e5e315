#include "e2e.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "data/sql_connection.hpp"
#include "postgres.hpp"

namespace {
std::string testCatalogue(const std::string& extraSql, bool base) {
    return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
           (base ? ReadFile(QEL_TEST_DIR "/catalogue.sql") + ReadFile(QEL_TEST_DIR "/warehouse.sql") : "") + extraSql;
}
}  // namespace

E2E::E2E(const std::string& extraSql, bool base, Engine engine, const std::vector<std::string>& serverOptions)
    : db_(engine == Engine::Sqlite ? testCatalogue(extraSql, base) : "") {
    if (engine == Engine::Postgres) {
        ownerUri_ = SharedPostgres().CreateDatabase(testCatalogue(extraSql, base));
        uri_ = SharedPostgres().ReaderUri(ownerUri_);  // the server and the host only read
    }
    server_.emplace(Db(), serverOptions);
}

void E2E::SetPassword(const std::string& operatorCode, const std::string& password) const {
    CommandResult r = RunCommand({QEL_BIN_DIR "/qelserver", "--db", OwnerDb(), "--set-password", operatorCode},
                                 password + "\n");
    if (r.status != 0) throw std::runtime_error("--set-password: " + r.err);
    if (!uri_.empty()) OpenSqlConnection(ownerUri_)->Execute(ReadFile(QEL_DEMO_DIR "/postgres_reader.sql"));  // the new table too
}

void E2E::Sql(const std::string& sql) const { OpenSqlConnection(OwnerDb())->Execute(sql); }

HostRun E2E::Run(const std::string& script, const std::vector<std::string>& extraArgs,
                 const std::optional<std::string>& server) const {
    std::vector<std::string> argv{QEL_BIN_DIR "/qelhost", "--server", server ? *server : Server(), "--database", Db(),
                                  "--script", "-"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    CommandResult r = RunCommand(argv, script);
    HostRun run;
    run.status = r.status;
    run.err = r.err;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) run.states.push_back(nlohmann::json::parse(line));
    return run;
}

nlohmann::json N(const std::string& text, int image, bool expanded, std::vector<nlohmann::json> children) {
    return {{"text", text}, {"image", image}, {"selected", image}, {"expanded", expanded},
            {"children", nlohmann::json(std::move(children))}};
}

std::vector<nlohmann::json> EventsOf(const nlohmann::json& state, const std::string& kind) {
    std::vector<nlohmann::json> out;
    for (auto& e : state["events"])
        if (e["kind"] == kind) out.push_back(e);
    return out;
}

std::vector<std::string> Marks(const nlohmann::json& state, const std::string& tree) {
    std::vector<std::string> out;
    for (auto& n : state["trees"][tree]) out.push_back(n["text"].get<std::string>() + ":" + std::to_string(n["image"].get<int>()));
    return out;
}

namespace {
std::string zoneNodes(const nlohmann::json& nodes) {
    std::string out;
    for (auto& n : nodes) {
        if (!out.empty()) out += ", ";
        out += n["text"].get<std::string>();
        if (n["image"] == 0) out += '*';
        if (!n["children"].empty()) {
            out += '{';
            out += zoneNodes(n["children"]);
            out += '}';
        }
    }
    return out;
}
}  // namespace

std::string Zone(const nlohmann::json& state, const std::string& tree) { return zoneNodes(state["trees"][tree]); }

std::string Layout(const nlohmann::json& state) {
    std::string filters;
    for (size_t i = 0; i < state["filters"]["stlDSfiltro"].size(); ++i) {
        if (i) filters += ' ';
        filters += state["filters"]["stlDSfiltro"][i].get<std::string>();
        filters += '=';
        filters += state["filters"]["stlCDfiltro"][i].get<std::string>();
    }
    std::string out;
    for (auto [label, tree] : {std::pair{"pages", "trvPages"}, {"rows", "trvRows"}, {"cols", "trvCols"}, {"facts", "trvFacts"}}) {
        out += label;
        out += ": ";
        out += Zone(state, tree);
        out += " | ";
    }
    return out + "filters: " + filters;
}

nlohmann::json Message(const std::string& type, const std::string& text) {
    return {{"kind", "message"}, {"type", type}, {"text", text}};
}

E2E::Session::Session(const E2E& e, const std::vector<std::string>& extraArgs)
    : Session([&] {
          std::vector<std::string> argv{QEL_BIN_DIR "/qelhost", "--server", e.Server(), "--database", e.Db(), "--script", "-"};
          argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
          return argv;
      }()) {}

E2E::Session::Session(const std::vector<std::string>& argv) {
    int toHost[2], fromHost[2];
    if (pipe(toHost) != 0 || pipe(fromHost) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(toHost[0], 0);
        dup2(fromHost[1], 1);
        close(toHost[1]);
        close(fromHost[0]);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(toHost[0]);
    close(fromHost[1]);
    in_ = fdopen(toHost[1], "w");
    out_ = fdopen(fromHost[0], "r");
}

E2E::Session::~Session() { Close(); }

void E2E::Session::Send(const std::string& commands) {
    fputs(commands.c_str(), in_);
    if (!commands.empty() && commands.back() != '\n') fputc('\n', in_);
    fflush(in_);
}

nlohmann::json E2E::Session::Dump() {
    Send("dump");
    std::string line;
    for (int c; (c = fgetc(out_)) != EOF && c != '\n';) line += static_cast<char>(c);
    if (line.empty()) throw std::runtime_error("the host ended before answering a dump");
    return nlohmann::json::parse(line);
}

int E2E::Session::Close() {
    if (pid_ < 0) return -1;
    fclose(in_);
    fclose(out_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
