// The host's answer when a server asks for a login: the password given on the command line's file or
// in QEL_PASSWORD first; when that is missing or was refused, whoever can ask the operator (the
// desktop's login dialog, a terminal prompt without echo) through Ask; with neither, no password, and
// the call fails with the server's message (a script records it and goes on). It counts how often it
// was asked, so the host can tell a screen left empty by a failed login.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "fwk/host_bridge.hpp"

class HostLogin : public LoginService {
public:
    explicit HostLogin(std::optional<std::string> known) : known_(std::move(known)) {}
    std::optional<std::string> Password(const std::string& operatorCode, const std::string& problem) override {
        ++asked_;
        if (problem.empty() && known_) return known_;
        if (Ask) return Ask(operatorCode, problem);
        return std::nullopt;
    }
    // Asks the operator; nullopt when they give up.
    std::function<std::optional<std::string>(const std::string& operatorCode, const std::string& problem)> Ask;

    // Whether a server asked for a login since Watch (the host watches the screen's opening).
    void Watch() { asked_ = 0; }
    bool Asked() const { return asked_ > 0; }

private:
    std::optional<std::string> known_;
    int asked_ = 0;
};

// Reads a password at the terminal without echoing it; nullopt at end of input.
std::optional<std::string> PromptPassword(const std::string& operatorCode, const std::string& problem);
