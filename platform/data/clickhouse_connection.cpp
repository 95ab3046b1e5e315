// A ClickHouse database over its HTTP interface, behind the same SqlConnection as SQLite and
// PostgreSQL. ClickHouse binds no parameters: each ":NAME" goes into the statement as a quoted literal
// with both the backslash and the quote escaped (doubling quotes alone is not enough there: a value
// ending in a backslash would end the literal early). Rows come as TabSeparatedWithNamesAndTypes and
// are decoded line by line as they arrive, without a document.
//
// A read-only connection sends only single SELECTs, and sends no settings: its ClickHouse user is
// meant to have a readonly=1 profile, which refuses settings, writes and table functions, and carries
// the time limit and the row cap. The owner's connection passes its time limit as max_execution_time.
// Either way the connection stops waiting at its own deadline, or when cancelled, by closing the
// request (core/waiting.hpp). Messages never show the server's host, port or user.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <regex>

#include "clickhouse_address.hpp"
#include "core/waiting.hpp"
#include "sql_connection.hpp"
#include "sql_text.hpp"

ClickHouseAddress ParseClickHouseUri(const std::string& uri) {
    const std::string scheme = "clickhouse://";
    if (uri.rfind(scheme, 0) != 0) throw ESqlError("Endereço de banco ClickHouse inválido");
    std::string rest = uri.substr(scheme.size());
    ClickHouseAddress a;
    if (size_t at = rest.rfind('@'); at != std::string::npos) {
        const std::string login = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const size_t colon = login.find(':');
        a.user = login.substr(0, colon);
        if (colon != std::string::npos) a.password = login.substr(colon + 1);
    }
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        a.database = rest.substr(slash + 1);
        rest = rest.substr(0, slash);
        if (size_t q = a.database.find('?'); q != std::string::npos) {
            for (char c : a.database.substr(q + 1))
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '=' && c != '&')
                    throw ESqlError("Endereço de banco ClickHouse inválido: configurações");
            a.settings = "&" + a.database.substr(q + 1);
            a.database = a.database.substr(0, q);
        }
    }
    const size_t colon = rest.rfind(':');
    a.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        try {
            a.port = std::stoi(rest.substr(colon + 1));
        } catch (const std::exception&) {
            throw ESqlError("Endereço de banco ClickHouse inválido: porta");
        }
    }
    if (a.host.empty() || a.database.empty() || !IsPlainSqlIdentifier(a.database))
        throw ESqlError("Endereço de banco ClickHouse inválido");
    return a;
}

namespace {

// ClickHouse's message without its decorations ("Code: 60, e.displayText() = DB::Exception: ...,
// e.what() = DB::Exception"), nor the address of the shard it came from ("Received from HOST:PORT.
// DB::Exception: ..."), nor the name of a user.
std::string messageOf(const std::string& body) {
    std::string m = body;
    if (size_t p = m.find("DB::Exception: "); p != std::string::npos) m = m.substr(p + 15);
    if (size_t p = m.rfind(", e.what() = "); p != std::string::npos) m = m.substr(0, p);
    while (m.rfind("Received from ", 0) == 0 && m.find(". DB::Exception: ") != std::string::npos)
        m = m.substr(m.find(". DB::Exception: ") + 17);
    static const std::regex user("\\buser [^ ,.;:]+");
    m = std::regex_replace(m, user, "user (oculto)");
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return m.empty() ? "o banco ClickHouse recusou a consulta" : m;
}

// Whether the statement names `forbidden` (upper case). ClickHouse has no column rights, so a reader
// that may not see a table must not name it at all: in a bare or quoted name, in any case; and a
// quoted name may not hold a backslash, which ClickHouse reads as an escape (`\x51ELOPERADOR` is the
// password table). Text in string literals and comments names nothing.
bool namesAny(const std::string& sql, const char* forbidden) {
    const size_t n = sql.size();
    auto secret = [forbidden](std::string name) {
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return name == forbidden;
    };
    for (size_t i = 0; i < n;) {
        const char c = sql[i];
        if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '\'' || c == '`' || c == '"') {
            std::string text;
            for (++i; i < n; ++i) {
                if (sql[i] == '\\') {
                    if (c != '\'') return true;  // an escape in a name
                    if (++i < n) text += sql[i];
                } else if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        text += c;
                        ++i;
                    } else {
                        break;
                    }
                } else {
                    text += sql[i];
                }
            }
            ++i;
            if (c != '\'' && secret(text)) return true;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const size_t start = i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) ++i;
            if (secret(sql.substr(start, i - start))) return true;
        } else {
            ++i;
        }
    }
    return false;
}

SqlValue::Kind kindOf(const std::string& type) {
    std::string t = type;
    if (t.rfind("Nullable(", 0) == 0) t = t.substr(9, t.size() - 10);
    if (t.rfind("Int", 0) == 0 || t.rfind("UInt", 0) == 0) return SqlValue::Kind::Integer;
    if (t.rfind("Float", 0) == 0 || t.rfind("Decimal", 0) == 0) return SqlValue::Kind::Real;
    return SqlValue::Kind::Text;
}

// One field of a TabSeparated line, unescaped; false for \N (NULL).
bool unescape(std::string_view field, std::string& out) {
    out.clear();
    if (field == "\\N") return false;
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        switch (char e = field[++i]) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case '0': out += '\0'; break;
            default: out += e;
        }
    }
    return true;
}

// Reads the answer as it comes: the names, the types, then one row per line to the sink.
class TsvReader {
public:
    explicit TsvReader(SqlRowSink& sink) : sink_(sink) {}
    void Feed(const char* data, size_t size) {
        pending_.append(data, size);
        size_t start = 0;
        for (size_t nl; (nl = pending_.find('\n', start)) != std::string::npos; start = nl + 1)
            line(std::string_view(pending_).substr(start, nl - start));
        pending_.erase(0, start);
    }
    void Finish() {
        if (!pending_.empty()) throw ESqlError(messageOf(pending_));  // an error after the rows began
        if (lines_ == 1) throw ESqlError("resposta do ClickHouse sem os tipos das colunas");
        if (lines_ == 0) sink_.Columns({});
    }

private:
    void line(std::string_view text) {
        std::vector<std::string_view> fields;
        for (size_t start = 0;;) {
            size_t tab = text.find('\t', start);
            fields.push_back(text.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        if (lines_++ == 0) {
            for (auto f : fields) {
                std::string name;
                unescape(f, name);
                columns_.push_back({name, 0});
            }
            return;
        }
        if (fields.size() != columns_.size()) throw ESqlError(messageOf(std::string(text)));
        if (lines_ == 2) {
            for (auto f : fields) kinds_.push_back(kindOf(std::string(f)));
            sink_.Columns(columns_);
            values_.resize(columns_.size());
            texts_.resize(columns_.size());
            return;
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            const bool present = unescape(fields[i], texts_[i]);
            values_[i] = {present ? kinds_[i] : SqlValue::Kind::Null, present ? std::string_view(texts_[i]) : std::string_view()};
        }
        sink_.Row(values_.data());
    }
    SqlRowSink& sink_;
    std::string pending_;
    size_t lines_ = 0;
    std::vector<SqlColumn> columns_;
    std::vector<SqlValue::Kind> kinds_;
    std::vector<SqlValue> values_;
    std::vector<std::string> texts_;
};

class ClickHouseConnection : public SqlConnection {
public:
    // Nothing is sent yet: HTTP keeps no session, so the first statement is where an unreachable
    // server shows (the server's database asks for the catalogue at start).
    ClickHouseConnection(const std::string& uri, bool readOnly) : address_(ParseClickHouseUri(uri)), readOnly_(readOnly) {}

    void Stream(const std::string& sql, const SqlParams& params, bool readOnly, SqlRowSink& sink) override {
        const std::string first = FirstSqlWord(sql);
        const bool rows = first == "SELECT" || first == "WITH";
        if ((readOnly || readOnly_) && !rows) throw ESqlError("Somente consultas SELECT são permitidas");
        if ((readOnly || readOnly_) && !secretsReadable_ && namesAny(sql, "QELOPERADOR"))
            throw ESqlError("A instrução SQL usa QELOPERADOR, que não é permitido nas consultas");
        if ((readOnly || readOnly_) && !systemReadable_ && namesAny(sql, "SYSTEM"))
            throw ESqlError("A instrução SQL usa o banco system do ClickHouse, que não é permitido nas consultas");
        std::string text = ReplaceSqlParameters(sql, [&](const std::string& name) {
            auto it = params.find(name);
            if (it == params.end()) throw ESqlError("Parâmetro sem valor: " + name);
            return ClickHouseLiteral(it->second);
        });
        if (rows) text += "\nFORMAT TabSeparatedWithNamesAndTypes";
        TsvReader reader(sink);
        run(text, [&](const char* data, size_t size) { reader.Feed(data, size); });
        reader.Finish();
    }

    void Execute(const std::string& script) override {
        // One statement at a time: the HTTP interface takes one per request.
        std::string statement;
        bool quoted = false;
        for (size_t i = 0; i < script.size(); ++i) {
            const char c = script[i];
            if (quoted && c == '\\' && i + 1 < script.size()) {
                statement += c;
                statement += script[++i];  // an escaped character, a quote among them
                continue;
            }
            if (c == '\'') quoted = !quoted;
            if (c == ';' && !quoted) {
                if (!FirstSqlWord(statement).empty()) runStatement(statement);
                statement.clear();
            } else {
                statement += c;
            }
        }
        if (!FirstSqlWord(statement).empty()) runStatement(statement);
    }
    std::string Description() const override { return "ClickHouse " + address_.database; }
    void Interrupt() override { stopRequested_ = true; }
    void SetStatementTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    void SetCancelFlag(const std::atomic<bool>* flag) override { cancel_ = flag; }
    // Every statement reads the data as it is when it starts; MergeTree parts never change under it.
    void BeginSnapshot() override {}
    void EndSnapshot() noexcept override {}
    void SetSecretsReadable(bool readable) override { secretsReadable_ = readable; }
    void SetSystemTablesReadable(bool readable) override { systemReadable_ = readable; }
    void SetRowScope(const SqlRowScope&) override {}

private:
    void runStatement(const std::string& statement) {
        run(statement, [](const char*, size_t) {});
    }

    // Sends one statement, handing the answer's bytes to `receive` as they come (on the request's own
    // thread). The request is closed at the deadline, when the cancel flag rises or on Interrupt.
    template <class Receive>
    void run(const std::string& statement, Receive receive) {
        httplib::Client client(address_.host, address_.port);
        client.set_basic_auth(address_.user, address_.password);
        client.set_connection_timeout(std::chrono::seconds(5));
        client.set_read_timeout(std::chrono::hours(24));  // the deadline below decides when to stop waiting
        std::string path = "/?database=" + address_.database + address_.settings;
        if (!readOnly_ && timeout_.count() > 0) path += "&max_execution_time=" + std::to_string((timeout_.count() + 999) / 1000);
        int status = 0;
        std::string errorBody;
        httplib::Request req;
        req.method = "POST";
        req.path = path;
        req.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
        req.body = statement;
        req.response_handler = [&](const httplib::Response& r) {
            status = r.status;
            return true;
        };
        req.content_receiver = [&](const char* data, size_t size, uint64_t, uint64_t) {
            if (status != 200) errorBody.append(data, size);  // ClickHouse's message
            else receive(data, size);
            return true;
        };
        httplib::Response res;
        httplib::Error failure = httplib::Error::Success;
        bool sent = false;
        std::exception_ptr thrown;  // by the reader of the rows (the server's row cap, say)
        stopRequested_ = false;
        const auto deadline = std::chrono::steady_clock::now() + (timeout_.count() > 0 ? timeout_ : std::chrono::hours(24 * 365));
        const bool stopped = WaitOnThread(
            [&] {
                try {
                    sent = client.send(req, res, failure);
                } catch (...) {
                    thrown = std::current_exception();
                }
            },
            [&](double) { return !(cancel_ && *cancel_) && !stopRequested_ && std::chrono::steady_clock::now() < deadline; },
            [&] { client.stop(); });
        if (thrown) std::rethrow_exception(thrown);
        if (stopped) {
            if (std::chrono::steady_clock::now() >= deadline)
                throw ESqlInterrupted("A consulta excedeu o tempo limite de " + std::to_string(timeout_.count() / 1000) +
                                      " s e foi interrompida");
            throw ESqlInterrupted("A consulta foi interrompida");
        }
        if (!sent && status == 0) throw ESqlError("O banco ClickHouse não respondeu (" + httplib::to_string(failure) + ")");
        if (status != 200) throw ESqlError(messageOf(errorBody));
    }

    ClickHouseAddress address_;
    bool readOnly_;
    bool secretsReadable_ = false;
    bool systemReadable_ = true;
    std::chrono::milliseconds timeout_{0};
    const std::atomic<bool>* cancel_ = nullptr;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace

bool IsClickHouseUri(const std::string& target) { return target.rfind("clickhouse://", 0) == 0; }

std::unique_ptr<SqlConnection> OpenClickHouse(const std::string& uri, bool readOnly) {
    return std::make_unique<ClickHouseConnection>(uri, readOnly);
}
