// Operators' logins on the application server. Passwords are kept as Argon2id hashes (libsodium) in
// the warehouse's operator table QELOPERADOR (CDOPERADOR, DSSENHA); a login that matches opens a
// session named by a random token, which every later call sends as "Authorization: Bearer <token>".
// A session ends on logout or after an idle period counted from when its token was handed out, and
// renewed at each use. Failed logins slow down further tries of the same operator and of the same
// address, and a failure never tells whether the operator exists.
//
// Memory: each password check takes 64 MiB, so only a few run at once (a login past them waits a
// moment, then is answered 503); a check runs on a thread of its own, so that a login can be
// abandoned (at shutdown) without waiting for it, and its slot is freed only when it ends. The
// failures kept are bounded: an operator code longer than the table's column is refused before
// anything is kept, and the table of failures forgets the oldest entries past its size and those
// quiet for an hour.
//
// Thread-safe: every worker asks at once.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

class SqlConnection;

// A login or a call that cannot go on: the HTTP status to answer (401, 429, 503) and the message.
class EAuth : public std::runtime_error {
public:
    EAuth(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// The operator table, created when missing (by --set-password).
extern const char* const kOperatorTableSql;
// The width of the operator code column (CDOPERADOR VARCHAR(20)), in characters.
constexpr size_t kOperatorCodeMax = 20;
// From 1 to kOperatorCodeMax characters of UTF-8 (at most 4 bytes each).
bool OperatorCodeFits(const std::string& operatorCode);

// An Argon2id hash of the password, in libsodium's text form.
std::string HashPassword(const std::string& password);
bool PasswordMatches(const std::string& hash, const std::string& password);
// Creates or changes one operator's password on a writable connection.
void SetOperatorPassword(SqlConnection& db, const std::string& operatorCode, const std::string& password);

struct SessionLimits {
    std::chrono::seconds idle{8 * 3600};
    size_t concurrentChecks = 2;                     // password checks running at once
    std::chrono::milliseconds checkWait{3000};       // how long a login waits for one of them
    size_t maxFailureEntries = 4096;                 // operators and addresses with failures kept
    // The clock and the check; tests replace them to drive time and to stand in for Argon2id.
    std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
    std::function<bool(const std::string& hash, const std::string& password)> check = PasswordMatches;
};

class Sessions {
public:
    explicit Sessions(SessionLimits limits);

    // `storedHash` is the operator's hash, or nullopt when the operator has none; `peer` the client's
    // address; `cancelled` abandons the login (503) while it waits. A new session's token, or EAuth.
    std::string Login(const std::string& operatorCode, const std::string& password, const std::optional<std::string>& storedHash,
                      const std::string& peer, const std::atomic<bool>& cancelled);
    // The operator of a live session (renewing it), or nullopt.
    std::optional<std::string> Check(const std::string& token);
    void Logout(const std::string& token);
    // How many operators and addresses have failures kept.
    size_t FailureEntries();

private:
    using Clock = std::chrono::steady_clock;
    struct Session {
        std::string operatorCode;
        Clock::time_point lastUse;
    };
    struct Failures {
        int count = 0;
        Clock::time_point last;
        std::list<std::string>::iterator age;  // its place in failureAge_
    };
    struct Gate;
    void throttle(const std::string& key, Clock::time_point now);
    void counted(const std::string& key, Clock::time_point now);
    void uncounted(const std::string& key);
    void forget(Clock::time_point now);
    bool checked(const std::string& hash, const std::string& password, const std::atomic<bool>& cancelled);

    SessionLimits limits_;
    std::shared_ptr<Gate> gate_;
    std::mutex mutex_;
    std::unordered_map<std::string, Session> sessions_;
    std::unordered_map<std::string, Failures> failures_;  // "op:CODE" and "ip:ADDRESS"
    std::list<std::string> failureAge_;                   // their keys, most recently failed first
};
