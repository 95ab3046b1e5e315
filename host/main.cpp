// qelhost [--server HOST:PORT] [--operator CODE] [--database FILE] [--modules DIR] [--script FILE|-]
// The host client shell: runs a script of commands, or reads the same commands at a prompt.
#include <editline/readline.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "data/address.hpp"
#include "fwk/host_bridge.hpp"
#include "shell.hpp"
#include "words.hpp"

namespace {

std::string executableDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

int usage() {
    std::cerr << "uso: qelhost [--server HOST:PORTA] [--operator CÓDIGO] [--database ARQUIVO] [--modules DIR] "
                 "[--script ARQUIVO|-]"
              << std::endl;
    return 2;
}

// Runs the lines of a script; stops at the first command that cannot be carried out.
int runScript(Shell& shell, std::istream& in, const std::string& name) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.find('\0') != std::string::npos) {
            std::cerr << name << ":" << number << ": caractere nulo na linha " << number << std::endl;
            return 1;
        }
        try {
            nlohmann::json out = shell.Run(SplitWords(line));
            if (!out.is_null()) std::cout << out.dump() << std::endl;
        } catch (const std::exception& e) {
            std::cerr << name << ":" << number << ": " << e.what() << std::endl;
            return 1;
        }
    }
    if (in.bad()) {
        std::cerr << name << ": não foi possível ler o roteiro" << std::endl;
        return 1;
    }
    if (shell.PendingAnswers() > 0) {
        std::cerr << name << ": " << shell.PendingAnswers() << " resposta(s) de diálogo não usada(s) ao final" << std::endl;
        return 1;
    }
    return 0;
}

void interactive(Shell& shell) {
    bool tty = isatty(STDIN_FILENO);
    shell.recorder().OnEvent = [](const nlohmann::json& e) {
        if (e["kind"] == "message") std::cout << "[" << e["type"].get<std::string>() << "] " << e["text"].get<std::string>() << std::endl;
    };
    std::cout << "QEL — digite comandos (open, dump, key F5, closebox...); Ctrl+D encerra." << std::endl;
    for (;;) {
        std::string line;
        if (tty) {
            char* raw = readline("qel> ");
            if (!raw) break;
            line = raw;
            free(raw);
            if (!line.empty()) add_history(line.c_str());
        } else if (!std::getline(std::cin, line)) {
            break;
        }
        try {
            nlohmann::json out = shell.Run(SplitWords(line));
            if (!out.is_null()) std::cout << out.dump(tty ? 2 : -1) << std::endl;
        } catch (const std::exception& e) {
            std::cout << "erro: " << e.what() << std::endl;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    KeepMemoryForReloads();
    ShellOptions options;
    options.modules = executableDir();
    std::string script;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        std::string v = argv[++i];
        if (a == "--server") {
            std::string host, error;
            int port = 0;
            if (!SplitHostPort(v, host, port, error)) {
                std::cerr << "qelhost: --server: " << error << std::endl;
                return usage();
            }
            options.server = v;
        }
        else if (a == "--operator") options.operatorCode = v;
        else if (a == "--database") options.database = v;
        else if (a == "--modules") options.modules = v;
        else if (a == "--script") script = v;
        else return usage();
    }
    try {
        Shell shell(options);
        if (script.empty()) {
            interactive(shell);
            return 0;
        }
        if (script == "-") return runScript(shell, std::cin, "stdin");
        std::error_code ec;
        if (std::filesystem::is_directory(script, ec)) {
            std::cerr << "qelhost: o roteiro " << Shown(script) << " é uma pasta, não um arquivo" << std::endl;
            return 1;
        }
        std::ifstream in(script);
        if (!in) {
            std::cerr << "qelhost: não foi possível abrir o roteiro " << Shown(script) << std::endl;
            return 1;
        }
        return runScript(shell, in, script);
    } catch (const std::exception& e) {
        std::cerr << "qelhost: " << e.what() << std::endl;
        return 1;
    }
}
