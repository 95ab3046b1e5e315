#include "auth.hpp"

#include <sodium.h>

#include <algorithm>
#include <cmath>

#include "data/sql_connection.hpp"

const char* const kOperatorTableSql = "CREATE TABLE IF NOT EXISTS QELOPERADOR (CDOPERADOR VARCHAR(20) PRIMARY KEY, DSSENHA VARCHAR(200))";

namespace {

// After this many failures in a row, each further try waits twice as long as the one before, up to
// a minute; a success clears the count.
constexpr int kFreeTries = 5;
constexpr auto kMaxWait = std::chrono::seconds(60);
const char* const kRefused = "Operador ou senha inválidos";

void ready() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium não pôde ser iniciada");
}

std::string hexToken() {
    unsigned char raw[32];
    randombytes_buf(raw, sizeof raw);
    char text[sizeof raw * 2 + 1];
    sodium_bin2hex(text, sizeof text, raw, sizeof raw);
    return text;
}

}  // namespace

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
    if (operatorCode.empty() || operatorCode.size() > 20) throw std::runtime_error("O código do operador deve ter de 1 a 20 caracteres");
    if (password.empty()) throw std::runtime_error("A senha não pode ser vazia");
    db.Execute(kOperatorTableSql);
    SqlParams p{{"P_OPERADOR", operatorCode}, {"P_SENHA", HashPassword(password)}};
    db.Query("DELETE FROM QELOPERADOR WHERE CDOPERADOR = :P_OPERADOR", p);
    db.Query("INSERT INTO QELOPERADOR (CDOPERADOR, DSSENHA) VALUES (:P_OPERADOR, :P_SENHA)", p);
}

void Sessions::throttle(const std::string& key, std::chrono::steady_clock::time_point now) {
    auto it = failures_.find(key);
    if (it == failures_.end() || it->second.count < kFreeTries) return;
    std::chrono::steady_clock::duration wait =
        std::min<std::chrono::steady_clock::duration>(kMaxWait, std::chrono::seconds(1L << std::min(it->second.count - kFreeTries, 6)));
    if (now - it->second.last < wait) {
        auto left = std::chrono::duration_cast<std::chrono::seconds>(wait - (now - it->second.last)).count() + 1;
        throw EAuth(429, "Tentativas demais; tente de novo em " + std::to_string(left) + " s");
    }
}

void Sessions::failed(const std::string& key, std::chrono::steady_clock::time_point now) {
    Failures& f = failures_[key];
    ++f.count;
    f.last = now;
}

std::string Sessions::Login(const std::string& operatorCode, const std::string& password,
                            const std::optional<std::string>& storedHash, const std::string& peer) {
    auto now = std::chrono::steady_clock::now();
    const std::string byOperator = "op:" + operatorCode, byAddress = "ip:" + peer;
    {
        std::lock_guard lock(mutex_);
        throttle(byOperator, now);
        throttle(byAddress, now);
    }
    // An unknown operator costs the same verification as a known one: neither the answer nor its
    // time tells whether the operator exists.
    static const std::string decoy = HashPassword(hexToken());
    bool matches = PasswordMatches(storedHash ? *storedHash : decoy, password) && storedHash;
    std::lock_guard lock(mutex_);
    if (!matches) {
        failed(byOperator, now);
        failed(byAddress, now);
        throw EAuth(401, kRefused);
    }
    failures_.erase(byOperator);
    failures_.erase(byAddress);
    // Sessions idle past their time go as new ones come.
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = now - it->second.lastUse > idle_ ? sessions_.erase(it) : std::next(it);
    std::string token = hexToken();
    sessions_[token] = {operatorCode, now};
    return token;
}

std::optional<std::string> Sessions::Check(const std::string& token) {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(token);
    if (it == sessions_.end()) return std::nullopt;
    auto now = std::chrono::steady_clock::now();
    if (now - it->second.lastUse > idle_) {
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
