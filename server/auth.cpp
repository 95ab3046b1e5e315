#include "auth.hpp"

#include <sodium.h>

#include <algorithm>
#include <condition_variable>
#include <system_error>
#include <thread>

#include "data/sql_connection.hpp"

const char* const kOperatorTableSql = "CREATE TABLE IF NOT EXISTS QELOPERADOR (CDOPERADOR VARCHAR(20) PRIMARY KEY, DSSENHA VARCHAR(200))";

namespace {

// After this many failures in a row, each further try waits twice as long as the one before, up to
// a minute, counted from the answer to the last failure; a success clears the count.
constexpr int kFreeTries = 5;
constexpr auto kMaxWait = std::chrono::seconds(60);
// Failures quiet for this long are forgotten.
constexpr auto kForgetAfter = std::chrono::hours(1);
constexpr auto kPoll = std::chrono::milliseconds(20);
const char* const kRefused = "Operador ou senha inválidos";
const char* const kBusy = "Há entradas demais sendo verificadas agora; tente de novo em instantes";
const char* const kStopping = "O servidor está parando; entre de novo quando ele voltar";

// The hash an unknown operator's password is checked against, made like every stored one, of a
// random password nobody kept: the check costs the same, and never matches (it is not trusted anyway).
const char* const kDecoyHash = "$argon2id$v=19$m=65536,t=2,p=1$p5zW7IhlVyWMCrVV55DJ3w$yHnMQltRjHGRqDI9r/gd7XFSnAC/0zwft67iSycrn4Y";

void ready() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium não pôde ser iniciada");
}

std::string hexToken() {
    ready();
    unsigned char raw[32];
    randombytes_buf(raw, sizeof raw);
    char text[sizeof raw * 2 + 1];
    sodium_bin2hex(text, sizeof text, raw, sizeof raw);
    return text;
}

// The answer of one check, shared by the login that waits for it and the thread that makes it.
struct Verdict {
    std::mutex mutex;
    std::condition_variable done;
    bool ready = false, matches = false;
};

}  // namespace

// The slots of the checks that may run at once. Shared with the checking threads, which free their
// slot when they end, even after the login that started them was abandoned.
struct Sessions::Gate {
    std::mutex mutex;
    std::condition_variable freed;
    size_t free;
    explicit Gate(size_t slots) : free(std::max<size_t>(1, slots)) {}

    // False when the deadline passes or `cancelled` turns true before a slot is free.
    bool enter(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancelled) {
        std::unique_lock lock(mutex);
        while (free == 0) {
            if (cancelled || std::chrono::steady_clock::now() >= deadline) return false;
            freed.wait_for(lock, kPoll);
        }
        --free;
        return true;
    }
    void leave() {
        {
            std::lock_guard lock(mutex);
            ++free;
        }
        freed.notify_one();
    }
};

bool OperatorCodeFits(const std::string& operatorCode) {
    if (operatorCode.empty() || operatorCode.size() > kOperatorCodeMax * 4) return false;
    size_t chars = 0;
    for (unsigned char c : operatorCode)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars <= kOperatorCodeMax;
}

std::string HashPassword(const std::string& password) {
    ready();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("Memória insuficiente para guardar a senha");
    return out;
}

bool PasswordMatches(const std::string& hash, const std::string& password) {
    ready();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void SetOperatorPassword(SqlConnection& db, const std::string& operatorCode, const std::string& password) {
    if (!OperatorCodeFits(operatorCode))
        throw std::runtime_error("O código do operador deve ter de 1 a " + std::to_string(kOperatorCodeMax) + " caracteres");
    if (password.empty()) throw std::runtime_error("A senha não pode ser vazia");
    db.Execute(kOperatorTableSql);
    SqlParams p{{"P_OPERADOR", operatorCode}, {"P_SENHA", HashPassword(password)}};
    db.Query("DELETE FROM QELOPERADOR WHERE CDOPERADOR = :P_OPERADOR", p);
    db.Query("INSERT INTO QELOPERADOR (CDOPERADOR, DSSENHA) VALUES (:P_OPERADOR, :P_SENHA)", p);
}

Sessions::Sessions(SessionLimits limits) : limits_(std::move(limits)), gate_(std::make_shared<Gate>(limits_.concurrentChecks)) {}

void Sessions::throttle(const std::string& key, Clock::time_point now) {
    auto it = failures_.find(key);
    if (it == failures_.end() || it->second.count < kFreeTries) return;
    Clock::duration wait = std::min<Clock::duration>(kMaxWait, std::chrono::seconds(1L << std::min(it->second.count - kFreeTries, 6)));
    if (now - it->second.last < wait) {
        auto left = std::chrono::duration_cast<std::chrono::seconds>(wait - (now - it->second.last)).count() + 1;
        throw EAuth(429, "Tentativas demais; tente de novo em " + std::to_string(left) + " s");
    }
}

void Sessions::counted(const std::string& key, Clock::time_point now) {
    auto [it, added] = failures_.try_emplace(key);
    if (added) {
        failureAge_.push_front(key);
    } else {
        failureAge_.splice(failureAge_.begin(), failureAge_, it->second.age);
    }
    it->second.age = failureAge_.begin();
    ++it->second.count;
    it->second.last = now;
    // Past the bound the longest quiet go; the one just counted is the newest and stays.
    while (failures_.size() > std::max<size_t>(1, limits_.maxFailureEntries)) {
        failures_.erase(failureAge_.back());
        failureAge_.pop_back();
    }
}

void Sessions::uncounted(const std::string& key) {
    auto it = failures_.find(key);
    if (it == failures_.end() || --it->second.count > 0) return;
    failureAge_.erase(it->second.age);
    failures_.erase(it);
}

void Sessions::forget(Clock::time_point now) {
    while (!failureAge_.empty()) {
        auto it = failures_.find(failureAge_.back());
        if (now - it->second.last < kForgetAfter) break;
        failures_.erase(it);
        failureAge_.pop_back();
    }
}

bool Sessions::checked(const std::string& hash, const std::string& password, const std::atomic<bool>& cancelled) {
    if (!gate_->enter(std::chrono::steady_clock::now() + limits_.checkWait, cancelled)) throw EAuth(503, cancelled ? kStopping : kBusy);
    auto verdict = std::make_shared<Verdict>();
    try {
        // The thread holds copies of all it uses: it may outlive this login, and the server too.
        std::thread([gate = gate_, verdict, check = limits_.check, hash, password] {
            bool matches = false;
            try {
                matches = check(hash, password);
            } catch (const std::exception&) {
            }
            gate->leave();
            {
                std::lock_guard lock(verdict->mutex);
                verdict->ready = true;
                verdict->matches = matches;
            }
            verdict->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        gate_->leave();
        throw EAuth(503, kBusy);
    }
    std::unique_lock lock(verdict->mutex);
    while (!verdict->ready) {
        if (cancelled) throw EAuth(503, kStopping);
        verdict->done.wait_for(lock, kPoll);
    }
    return verdict->matches;
}

std::string Sessions::Login(const std::string& operatorCode, const std::string& password,
                            const std::optional<std::string>& storedHash, const std::string& peer, const std::atomic<bool>& cancelled) {
    // A code wider than the column names nobody: refused without keeping it, but the address pays.
    const bool fits = OperatorCodeFits(operatorCode);
    const std::string byAddress = "ip:" + peer.substr(0, 64), byOperator = fits ? "op:" + operatorCode : "";
    {
        std::lock_guard lock(mutex_);
        const auto now = limits_.now();
        forget(now);
        throttle(byAddress, now);
        if (fits) throttle(byOperator, now);
        // Counted before the check, so that the tries arriving while it runs already see it.
        counted(byAddress, now);
        if (fits) counted(byOperator, now);
    }
    if (!fits) throw EAuth(401, kRefused);
    // An unknown operator costs the same verification as a known one: neither the answer nor its
    // time tells whether the operator exists.
    bool matches = false;
    try {
        matches = checked(storedHash ? *storedHash : std::string(kDecoyHash), password, cancelled) && storedHash;
    } catch (const EAuth&) {
        // Never checked (busy or stopping): no failure of the operator's.
        std::lock_guard lock(mutex_);
        uncounted(byAddress);
        uncounted(byOperator);
        throw;
    }
    std::lock_guard lock(mutex_);
    const auto now = limits_.now();
    if (!matches) {
        // The wait runs from this answer, however long the check took.
        for (const std::string* key : {&byAddress, &byOperator}) {
            auto it = failures_.find(*key);
            if (it == failures_.end()) {
                counted(*key, now);
            } else {
                failureAge_.splice(failureAge_.begin(), failureAge_, it->second.age);
                it->second.last = now;
            }
        }
        throw EAuth(401, kRefused);
    }
    for (const std::string* key : {&byAddress, &byOperator}) {
        auto it = failures_.find(*key);
        if (it == failures_.end()) continue;
        failureAge_.erase(it->second.age);
        failures_.erase(it);
    }
    // Sessions idle past their time go as new ones come.
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = now - it->second.lastUse > limits_.idle ? sessions_.erase(it) : std::next(it);
    // The idle time starts now, when the token is handed out, not when the login arrived.
    std::string token = hexToken();
    sessions_[token] = {operatorCode, now};
    return token;
}

std::optional<std::string> Sessions::Check(const std::string& token) {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(token);
    if (it == sessions_.end()) return std::nullopt;
    auto now = limits_.now();
    if (now - it->second.lastUse > limits_.idle) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.lastUse = now;
    return it->second.operatorCode;
}

void Sessions::Logout(const std::string& token) {
    std::lock_guard lock(mutex_);
    sessions_.erase(token);
}

size_t Sessions::FailureEntries() {
    std::lock_guard lock(mutex_);
    return failures_.size();
}
