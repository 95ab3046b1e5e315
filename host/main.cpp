// qelhost [--server HOST:PORT] [--operator CODE] [--database FILE|URI] [--modules DIR] [--script FILE|-]
//         [--gui] [--screenshot PNG] [--call-timeout SECONDS] [--max-answer BYTES] [--password-file FILE]
//         [--view VIEW.qelv] [--view-timeout SECONDS]
// The host client shell: runs a script of commands, or reads the same commands at a prompt; with a
// display (or --gui) it opens its desktop window, where a person works with the screen directly.
#include <editline/readline.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "data/address.hpp"
#include "fwk/host_bridge.hpp"
#include "services/cube.hpp"
#include "front_end.hpp"
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

const char* const kUsage =
    "uso: qelhost [--server HOST:PORTA] [--operator CÓDIGO] [--database ARQUIVO|URI] [--modules DIR] "
    "[--script ARQUIVO|-] [--gui] [--screenshot PNG] [--call-timeout SEGUNDOS] [--max-answer BYTES] "
    "[--password-file ARQUIVO] [--view VISÃO.qelv] [--view-timeout SEGUNDOS]";

int usage() {
    std::cerr << kUsage << std::endl;
    return 2;
}

// A whole number from min to max, or -1.
long long number(const std::string& text, long long min, long long max) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < min || v > max) return -1;
    return v;
}

// Runs one line and prints what it returns (the state, for dump) with `indent` (-1: one line). A
// command that cannot be carried out raises.
void runLine(Shell& shell, const std::string& line, int indent) {
    size_t written = 0;
    {
        nlohmann::json out = shell.Run(SplitWords(line));
        if (out.is_null()) return;
        const std::string text = out.dump(indent);
        std::cout << text << std::endl;
        written = text.size();
    }
    // The heap keeps what is freed for the next catalogue load; the state of a large view (its JSON
    // tree many times the size of its text) is not that, so its pages go back once it is written.
    if (written > (size_t{1} << 20)) malloc_trim(0);
}

// Runs one typed line; a failure is told on the prompt and the prompt goes on.
void runTyped(Shell& shell, const std::string& line, int indent) {
    try {
        runLine(shell, line, indent);
    } catch (const std::exception& e) {
        std::cout << "erro: " << e.what() << std::endl;
    }
}

// Runs the lines of a script; stops at the first command that cannot be carried out. `afterEach`
// runs after every command (the window redraws).
int runScript(Shell& shell, std::istream& in, const std::string& name, const std::function<void()>& afterEach = nullptr) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.find('\0') != std::string::npos) {
            std::cerr << name << ":" << number << ": caractere nulo na linha " << number << std::endl;
            return 1;
        }
        try {
            runLine(shell, line, -1);
            if (afterEach) afterEach();
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
    if (tty) shell.login().Ask = PromptPassword;
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
        runTyped(shell, line, tty ? 2 : -1);
    }
}

bool displayAvailable() { return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"); }

// The window, with or without a script. Interactive, the screen opens at once and, from a terminal,
// the prompt's commands are read too.
int runWindow(int argc, char** argv, Shell& shell, const std::string& script, const std::string& screenshot, const std::string& view) {
    if (!displayAvailable() && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    UsePortuguese(app);
    FrontEnd frontEnd(shell, script.empty());
    frontEnd.Window()->show();
    int status = 0;
    if (!view.empty()) frontEnd.Act([&] { shell.Run({"openview", view}); });
    if (!script.empty()) {
        auto redraw = [&] {
            frontEnd.Redraw();
            QApplication::processEvents();
        };
        if (script == "-") {
            status = runScript(shell, std::cin, "stdin", redraw);
        } else {
            std::ifstream in(script);
            if (!in) {
                std::cerr << "qelhost: não foi possível abrir o roteiro " << Shown(script) << std::endl;
                return 1;
            }
            status = runScript(shell, in, script, redraw);
        }
        if (!screenshot.empty() && !frontEnd.Screenshot(QString::fromStdString(screenshot))) {
            std::cerr << "qelhost: não foi possível gravar a imagem " << Shown(screenshot) << std::endl;
            status = 1;
        }
        return status;
    }
    frontEnd.Act([&] { shell.Run({"open"}); });
    if (!view.empty()) frontEnd.Act([&] { shell.Run({"openview", view}); });  // the view in front of the screen
    std::unique_ptr<QSocketNotifier> prompt;
    if (isatty(STDIN_FILENO)) {
        std::cout << "QEL — a janela está aberta; comandos também aqui (open, dump, key F5...)." << std::endl;
        prompt = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(prompt.get(), &QSocketNotifier::activated, [&] {
            std::string line;
            if (!std::getline(std::cin, line)) {
                prompt->setEnabled(false);
                return;
            }
            runTyped(shell, line, 2);
            frontEnd.Redraw();
        });
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    KeepMemoryForReloads();
    ShellOptions options;
    options.modules = executableDir();
    std::string script, screenshot, view;
    bool gui = false;
    CallLimits limits;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << std::endl;
            return 0;
        }
        if (a == "--gui") {
            gui = true;
            continue;
        }
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
        else if (a == "--screenshot") screenshot = v;
        else if (a == "--view") view = v;
        else if (a == "--password-file") {
            std::ifstream in(v);
            std::string password;
            if (!in || !std::getline(in, password)) {
                std::cerr << "qelhost: não foi possível ler a senha de " << Shown(v) << std::endl;
                return 1;
            }
            if (!password.empty() && password.back() == '\r') password.pop_back();
            options.password = password;
        }
        else if (a == "--view-timeout") {
            long long n = number(v, 1, 86400);
            if (n < 0) {
                std::cerr << "qelhost: --view-timeout espera um número de 1 a 86400 segundos: " << Shown(v.substr(0, 40)) << std::endl;
                return usage();
            }
            SetViewTimeout(std::chrono::seconds(n));
        }
        else if (a == "--call-timeout" || a == "--max-answer") {
            bool seconds = a == "--call-timeout";
            long long n = seconds ? number(v, 1, 86400) : number(v, 1024, 1LL << 40);
            if (n < 0) {
                std::cerr << "qelhost: " << a << " espera um número de " << (seconds ? "1 a 86400 segundos" : "1024 a 2^40 bytes")
                          << ": " << Shown(v.substr(0, 40)) << std::endl;
                return usage();
            }
            if (seconds) limits.deadline = std::chrono::seconds(n);
            else limits.maxAnswer = static_cast<size_t>(n);
        }
        else return usage();
    }
    SetCallLimits(limits);
    if (!options.password) {
        if (const char* p = std::getenv("QEL_PASSWORD"); p && *p) options.password = p;
    }
    if (!screenshot.empty()) gui = true;  // a picture needs the window
    std::error_code ec;
    if (!script.empty() && script != "-" && std::filesystem::is_directory(script, ec)) {
        std::cerr << "qelhost: o roteiro " << Shown(script) << " é uma pasta, não um arquivo" << std::endl;
        return 1;
    }
    try {
        Shell shell(options);
        if (gui || (script.empty() && displayAvailable())) return runWindow(argc, argv, shell, script, screenshot, view);
        if (!view.empty()) shell.Run({"openview", view});  // before the first command
        if (script.empty()) {
            interactive(shell);
            return 0;
        }
        if (script == "-") return runScript(shell, std::cin, "stdin");
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
