// Test helpers that run the real executables: a qelserver on a free loopback port (stopped with
// SIGTERM when the object goes), a throw-away SQLite database built from SQL text, and a command run
// to completion with its standard output and exit status.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ServerProcess {
public:
    // Starts qelserver on 127.0.0.1 with a port of its choosing (and any further options; "--auth
    // trust" unless they name --auth); waits until it listens.
    explicit ServerProcess(const std::string& dbPath, const std::vector<std::string>& options = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Stops it now (SIGTERM) and returns its exit status.
    int Stop();
    // Waits until it ends by itself (after a signal sent to Pid()); its exit status, or -1 when it is
    // still running after `seconds`.
    int WaitExit(int seconds);
    // What it has written to standard output and error so far.
    std::string Log() const;
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string log_;
};

class TempDatabase {
public:
    // A new SQLite file in the temporary folder made from the given SQL script.
    explicit TempDatabase(const std::string& sql);
    ~TempDatabase();
    const std::string& Path() const { return path_; }
    void Execute(const std::string& sql) const;

private:
    std::string path_;
};

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs argv (no shell) with `input` on its standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = "");

std::string ReadFile(const std::string& path);
// A figure of /proc/PID/status in kB ("VmHWM", "VmRSS"), or -1.
long ProcStatus(pid_t pid, const std::string& key);
// A loopback port nobody listens on (bound, then released).
int UnusedPort();
