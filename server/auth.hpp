// Operators' logins on the application server. Passwords are kept as Argon2id hashes (libsodium) in
// the warehouse's operator table QELOPERADOR (CDOPERADOR, DSSENHA); a login that matches opens a
// session named by a random token, which every later call sends as "Authorization: Bearer <token>".
// A session ends on logout or after an idle period. Failed logins slow down further tries of the same
// operator and of the same address, and a failure never tells whether the operator exists.
//
// Thread-safe: every worker asks at once.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

class SqlConnection;

// A login or a call that cannot go on: the HTTP status to answer (401, 429) and the message.
class EAuth : public std::runtime_error {
public:
    EAuth(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// The operator table, created when missing (by --set-password).
extern const char* const kOperatorTableSql;

// An Argon2id hash of the password, in libsodium's text form.
std::string HashPassword(const std::string& password);
bool PasswordMatches(const std::string& hash, const std::string& password);
// Creates or changes one operator's password on a writable connection.
void SetOperatorPassword(SqlConnection& db, const std::string& operatorCode, const std::string& password);

class Sessions {
public:
    explicit Sessions(std::chrono::seconds idle) : idle_(idle) {}

    // `storedHash` is the operator's hash, or nullopt when the operator has none; `peer` the client's
    // address. A new session's token, or EAuth.
    std::string Login(const std::string& operatorCode, const std::string& password, const std::optional<std::string>& storedHash,
                      const std::string& peer);
    // The operator of a live session (renewing it), or nullopt.
    std::optional<std::string> Check(const std::string& token);
    void Logout(const std::string& token);

private:
    struct Session {
        std::string operatorCode;
        std::chrono::steady_clock::time_point lastUse;
    };
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    void throttle(const std::string& key, std::chrono::steady_clock::time_point now);
    void failed(const std::string& key, std::chrono::steady_clock::time_point now);

    std::chrono::seconds idle_;
    std::mutex mutex_;
    std::map<std::string, Session> sessions_;
    std::map<std::string, Failures> failures_;  // "op:CODE" and "ip:ADDRESS"
};
