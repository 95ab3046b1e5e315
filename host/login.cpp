#include "login.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

std::optional<std::string> PromptPassword(const std::string& operatorCode, const std::string& problem) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string prompt = (problem.empty() ? "" : problem + "\n") + "Senha do operador " + operatorCode + ": ";
    ssize_t w = ::write(fd, prompt.data(), prompt.size());
    (void)w;
    termios saved{};
    bool quiet = tcgetattr(fd, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(fd, TCSAFLUSH, &silent);
    }
    std::string password;
    char c;
    bool ended = false;
    while (true) {
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) {
            ended = password.empty();
            break;
        }
        if (c == '\n' || c == '\r') break;
        password += c;
    }
    if (quiet) tcsetattr(fd, TCSAFLUSH, &saved);
    w = ::write(fd, "\n", 1);
    ::close(fd);
    if (ended) return std::nullopt;
    return password;
}
