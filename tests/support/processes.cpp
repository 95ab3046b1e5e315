#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "data/sql_connection.hpp"
#include "processes.hpp"

namespace {

std::string uniqueName(const char* stem, const char* ext) {
    static std::atomic<int> counter{0};
    return (std::filesystem::temp_directory_path() /
            (std::string(stem) + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ext))
        .string();
}

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ServerProcess::ServerProcess(const std::string& dbPath, const std::vector<std::string>& options) : log_(uniqueName("qelserver_", ".log")) {
    std::vector<std::string> argv{QEL_BIN_DIR "/qelserver", "--db", dbPath, "--listen", "127.0.0.1:0"};
    argv.insert(argv.end(), options.begin(), options.end());
    // Without logins unless the test asks for them: the operator is the one the client names.
    if (std::find(options.begin(), options.end(), "--auth") == options.end()) argv.insert(argv.end(), {"--auth", "trust"});
    pid_ = fork();
    if (pid_ == 0) {
        int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    for (int i = 0; i < 400 && port_ == 0; ++i) {
        std::string text = ReadFile(log_);
        auto at = text.find("listening on 127.0.0.1:");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos)
            port_ = std::stoi(text.substr(at + std::string("listening on 127.0.0.1:").size()));
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (port_ == 0) {
        Stop();
        throw std::runtime_error("qelserver did not start: " + ReadFile(log_));
    }
}

std::string ServerProcess::Log() const { return ReadFile(log_); }

int ServerProcess::WaitExit(int seconds) {
    int status = 0;
    for (int i = 0; i < seconds * 20; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

int ServerProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ServerProcess::~ServerProcess() {
    Stop();
    std::filesystem::remove(log_);
}

TempDatabase::TempDatabase(const std::string& sql) : path_(uniqueName("qel_e2e_", ".db")) {
    OpenSqlite(path_)->Execute(sql);
}

TempDatabase::~TempDatabase() { std::filesystem::remove(path_); }

void TempDatabase::Execute(const std::string& sql) const { OpenSqlite(path_)->Execute(sql); }

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input) {
    std::string in = uniqueName("qel_in_", ".txt"), out = uniqueName("qel_out_", ".txt"), err = uniqueName("qel_err_", ".txt");
    std::ofstream(in) << input;
    pid_t pid = fork();
    if (pid == 0) {
        int fi = open(in.c_str(), O_RDONLY), fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
            fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    CommandResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    for (auto& f : {in, out, err}) std::filesystem::remove(f);
    return r;
}

int UnusedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

long ProcStatus(pid_t pid, const std::string& key) {
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}
