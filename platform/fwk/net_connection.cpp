#include "services/net_connection.hpp"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "answer_buffer.hpp"
#include "data/wire.hpp"
#include "gzip_answer.hpp"
#include "host_bridge.hpp"
#include "core/waiting.hpp"
#include "services/session.hpp"
#include "data/sql_text.hpp"

static_assert(AnswerBuffer::kPadding >= kAnswerPadding, "the reader reads past the text's end");

namespace {

std::string place(const std::string& host, int port) { return host + ":" + std::to_string(port); }

CallLimits gLimits;
LoginService* gLogin = nullptr;

// The session token of each server (host:port) this process has logged in to.
std::mutex tokenMutex;
std::map<std::string, std::string> tokens;

std::string tokenFor(const std::string& where) {
    std::lock_guard lock(tokenMutex);
    auto it = tokens.find(where);
    return it == tokens.end() ? "" : it->second;
}

ENetError answerTooLarge() {
    return ENetError("A resposta do servidor de aplicação passou de " + SizeText(gLimits.maxAnswer) +
                     ", o limite deste cliente; restrinja a consulta");
}

// The catalogue (GetItemData) brings four packets; each becomes data sets and, for areas and items,
// tree nodes, which cost far more than the packet itself. Their rows are capped as the answer's bytes
// are, well above the largest catalogue in use (the benchmark's scale-4 one: 20,000 dimensions, 800
// areas, 80,000 items and 800,000 links) and far below what would take the host's memory.
struct CataloguePacket {
    const char* what;
    size_t cap;
};
constexpr CataloguePacket kCataloguePackets[] = {
    {"dimensões", 250000}, {"áreas de negócio", 250000}, {"itens", 250000}, {"ligações entre fatos e dimensões", 2500000}};

const std::vector<size_t>* rowCapsOf(const std::string& method) {
    static const std::vector<size_t> catalogue = [] {
        std::vector<size_t> caps;
        for (const CataloguePacket& p : kCataloguePackets) caps.push_back(p.cap);
        return caps;
    }();
    return method == "GetItemData" ? &catalogue : nullptr;
}

// 250000 as "250.000".
std::string thousands(size_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += '.';
        out += digits[i];
    }
    return out;
}

std::string invalidAnswer(int status, const std::string& why) {
    return "Resposta inválida do servidor de aplicação (HTTP " + std::to_string(status) + "): " + why;
}

// What the operator hears when a server stays silent past the deadline.
std::string silence(const std::string& host, int port) {
    return "O servidor de aplicação em " + place(host, port) + " não respondeu em " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(gLimits.deadline).count()) + " s";
}

httplib::Client client(const std::string& host, int port) {
    httplib::Client c(host, port);
    c.set_connection_timeout(5, 0);
    // No single wait outlasts the whole call's deadline by much; the call itself ends at the
    // deadline (sendWaiting), a second before a read times out, so the message says which limit it was.
    auto seconds = std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(gLimits.deadline).count());
    c.set_read_timeout(seconds + 1, 0);
    c.set_write_timeout(std::min<long long>(seconds, 30), 0);
    // Inflated here after the whole answer is in (GunzipAnswer), not chunk by chunk as it arrives.
    c.set_decompress(false);
    return c;
}

// Sends a request on a thread of its own while the caller's thread waits: the call ends at the
// deadline, when the observer cancels it, or when the answer passes the size cap, whatever the
// server does meanwhile (silent, trickling, or endless). An answer whose length is said to pass the
// cap is refused before any of it is read; any other is held once, in `text`, as it arrives.
struct WaitedCall {
    enum class End { Done, Deadline, Cancelled, TooLarge };
    End end = End::Done;
    httplib::Result result{nullptr, httplib::Error::Unknown};
    uint64_t announced = 0;  // the length the answer said it has (0: not said)
};

WaitedCall sendWaiting(httplib::Client& c, httplib::Request& request, AnswerBuffer& text) {
    std::atomic<bool> tooLarge{false};
    uint64_t announced = 0;
    request.content_receiver = [&text, &tooLarge, &announced, cap = gLimits.maxAnswer](const char* data, size_t length, uint64_t,
                                                                                      uint64_t total) {
        if (text.Empty() && total > 0) {
            announced = total;
            if (total > cap) {
                tooLarge = true;
                return false;
            }
            text.Reserve(static_cast<size_t>(total));  // once, the size known
        }
        if (text.Size() + length > cap) {
            tooLarge = true;
            return false;
        }
        text.Append(data, length);
        return true;
    };
    WaitedCall call;
    FwkObserver* observer = CurrentFwkObserver();
    WaitedCall::End reason = WaitedCall::End::Done;
    const bool stopped = WaitOnThread([&] { call.result = c.send(request); },
                                      [&](double seconds) {
                                          if (observer && !observer->CallWaiting(seconds)) reason = WaitedCall::End::Cancelled;
                                          else if (seconds >= std::chrono::duration<double>(gLimits.deadline).count()) reason = WaitedCall::End::Deadline;
                                          return reason == WaitedCall::End::Done;
                                      },
                                      [&] { c.stop(); });  // the blocked read returns at once
    if (stopped) call.end = reason;
    if (observer) observer->CallDone();
    if (tooLarge && call.end == WaitedCall::End::Done) call.end = WaitedCall::End::TooLarge;
    call.announced = announced;
    return call;
}

// The transport's failure in the operator's words.
std::string failureText(httplib::Error e) {
    switch (e) {
        case httplib::Error::Connection: return "conexão recusada ou endereço inalcançável";
        case httplib::Error::ConnectionTimeout: return "o servidor não aceitou a conexão a tempo";
        case httplib::Error::Read: return "a conexão caiu durante a resposta";
        case httplib::Error::Write: return "a conexão caiu durante o envio";
        case httplib::Error::BindIPAddress: return "endereço local indisponível";
        case httplib::Error::SSLConnection:
        case httplib::Error::SSLLoadingCerts:
        case httplib::Error::SSLServerVerification: return "falha na conexão segura";
        case httplib::Error::Compression: return "compactação danificada";
        case httplib::Error::Canceled: return "chamada interrompida";
        default: return "falha de comunicação";
    }
}

// The last answer of each call that the server marked with an ETag, for the session: when the server
// says it has not changed (304), the kept answer is used again without moving it over the wire.
struct KeptAnswer {
    std::string etag;
    Variant result;
    std::vector<Variant> args;
};
std::mutex keptMutex;
std::map<std::string, KeptAnswer> kept;
std::map<std::string, size_t> lastSize;  // of the last answer of each method of each server
constexpr size_t kKeptCalls = 16;

}  // namespace

void SetCallLimits(const CallLimits& limits) { gLimits = limits; }
CallLimits GetCallLimits() { return gLimits; }
void SetLoginService(LoginService* service) { gLogin = service; }

void LogoutSessions() {
    std::map<std::string, std::string> open;
    {
        std::lock_guard lock(tokenMutex);
        open.swap(tokens);
    }
    for (auto& [where, token] : open) {
        auto colon = where.rfind(':');
        httplib::Client c(where.substr(0, colon), std::stoi(where.substr(colon + 1)));
        c.set_connection_timeout(2, 0);
        c.set_read_timeout(2, 0);
        c.Post("/QEL00100.rdmOpcoesDW/Logout", {{"Authorization", "Bearer " + token}}, "{\"args\":[]}", "application/json");
    }
}

void ForgetKeptAnswers() {
    std::lock_guard lock(keptMutex);
    kept.clear();
}

TNetConnection::TNetConnection(TComponent* owner) : TComponent(owner) {}
TNetConnection::~TNetConnection() = default;

void TNetConnection::open(bool raise) {
    if (OnBeforeConnect) OnBeforeConnect(this);
    auto c = client(Host, Port);
    httplib::Request request;
    request.method = "GET";
    request.path = "/" + ServerName;
    AnswerBuffer text;
    WaitedCall waited = sendWaiting(c, request, text);
    httplib::Result& res = waited.result;
    if (waited.end == WaitedCall::End::Cancelled) {
        lastError_ = "A conexão ao servidor de aplicação foi cancelada";
    } else if (waited.end == WaitedCall::End::Deadline) {
        lastError_ = silence(Host, Port);
    } else if (!res) {
        lastError_ = "Não foi possível conectar ao servidor de aplicação em " + place(Host, Port) + " (" +
                     failureText(res.error()) + ")";
    } else if (res->status != 200) {
        lastError_ = "O servidor de aplicação em " + place(Host, Port) + " não oferece o objeto " + ServerName;
    } else {
        lastError_.clear();
        connected_ = true;
        return;
    }
    connected_ = false;
    if (raise) throw ENetError(lastError_);
}

void TNetConnection::SetConnected(bool c) {
    if (c == connected_) return;
    if (c) open(ThrowException);
    else connected_ = false;
}

Variant TNetConnection::Call(const std::string& method, std::vector<Variant>& args) {
    if (FwkObserver* o = CurrentFwkObserver()) o->ServerCall(method, args);
    if (!connected_) {
        open(true);  // a call cannot go on without the server, whatever ThrowException says
    }
    const std::string where = place(Host, Port);
    std::string refusal;
    if (Variant result; send(method, args, result, refusal)) return result;
    // The server asks for a login (none yet, or the session expired): log in, then once more.
    std::string problem;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::optional<std::string> password = gLogin ? gLogin->Password(Operador(), problem) : std::nullopt;
        if (!password) throw ENetError(problem.empty() ? refusal : problem);
        std::vector<Variant> credentials{Variant(Operador()), Variant(*password)};
        Variant answer;
        std::string loginRefusal;
        if (!send("Login", credentials, answer, loginRefusal)) {
            problem = loginRefusal;
            continue;
        }
        const ServerResult& r = answer.AsResult();
        if (!r.ok || !r.data.IsString()) {
            problem = r.ok ? "Resposta inválida do servidor de aplicação ao entrar" : r.error;
            if (!r.ok && r.error.rfind("Tentativas demais", 0) == 0) throw ENetError(r.error);
            continue;
        }
        {
            std::lock_guard lock(tokenMutex);
            tokens[where] = r.data.AsString();
        }
        Variant result;
        if (send(method, args, result, refusal)) return result;
        throw ENetError(refusal);
    }
    throw ENetError(problem);
}

bool TNetConnection::send(const std::string& method, std::vector<Variant>& args, Variant& result, std::string& refusal) {
    const std::string path = "/" + ServerName + "/" + method;
    const std::string body = EncodeCall(args);
    const std::string key = place(Host, Port) + path + "\n" + body;
    httplib::Headers headers{{"Accept-Encoding", "gzip"}};
    {
        std::lock_guard lock(keptMutex);
        if (auto it = kept.find(key); it != kept.end()) headers.emplace("If-None-Match", it->second.etag);
    }
    // The answer lands in a buffer sized like the last answer of this call (its length, when the
    // answer says it, sizes it exactly): room that an answer does not fill costs nothing.
    AnswerBuffer text;
    {
        std::lock_guard lock(keptMutex);
        if (auto it = lastSize.find(place(Host, Port) + path); it != lastSize.end())
            text.Reserve(std::min(gLimits.maxAnswer, it->second + it->second / 16));
    }
    httplib::Request request;
    request.method = "POST";
    request.path = path;
    request.headers = std::move(headers);
    request.headers.emplace("Content-Type", "application/json");
    // A server that trusts its clients takes the operator from here (one with logins, from the session).
    request.headers.emplace("X-Qel-Operador", Operador());
    if (std::string token = tokenFor(place(Host, Port)); !token.empty() && method != "Login")
        request.headers.emplace("Authorization", "Bearer " + token);
    request.body = body;
    auto c = client(Host, Port);
    WaitedCall waited = sendWaiting(c, request, text);
    switch (waited.end) {
        case WaitedCall::End::Deadline:
            connected_ = false;
            throw ENetError(silence(Host, Port) + "; a chamada foi interrompida");
        case WaitedCall::End::Cancelled:
            connected_ = false;
            throw ECallCancelled("A chamada ao servidor de aplicação foi cancelada");
        case WaitedCall::End::TooLarge:
            connected_ = false;
            throw answerTooLarge();
        case WaitedCall::End::Done: break;
    }
    httplib::Result& res = waited.result;
    if (!res) {
        connected_ = false;
        if (waited.announced > text.Size())
            throw ENetError(invalidAnswer(200, "resposta cortada: menos bytes que o anunciado"));
        throw ENetError("Falha na comunicação com o servidor de aplicação em " + place(Host, Port) + " (" +
                        failureText(res.error()) + ")");
    }
    if (waited.announced > text.Size()) {
        connected_ = false;
        throw ENetError(invalidAnswer(res->status, "resposta cortada: menos bytes que o anunciado"));
    }
    if (res->status == 304) {
        std::lock_guard lock(keptMutex);
        if (auto it = kept.find(key); it != kept.end()) {
            if (it->second.args.size() == args.size()) args = it->second.args;
            result = it->second.result;
            return true;
        }
        throw ENetError("Resposta inválida do servidor de aplicação (HTTP 304 sem resposta guardada)");
    }
    if (text.Empty() && !res->body.empty()) text.Append(res->body.data(), res->body.size());
    {
        std::lock_guard lock(keptMutex);
        // By method, not by the whole request: one hint per kind of answer, however many statements.
        lastSize[place(Host, Port) + path] = text.Size();
    }
    std::optional<InflatedText> inflated;
    if (const std::string encoding = res->get_header_value("Content-Encoding"); encoding == "gzip") {
        try {
            inflated = GunzipAnswer(text.Text(), gLimits.maxAnswer, kAnswerPadding);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            throw ENetError("Resposta inválida do servidor de aplicação (compactação danificada)");
        }
        text = AnswerBuffer();  // the compressed bytes are not needed any more
        if (!inflated) {
            connected_ = false;
            throw answerTooLarge();
        }
    } else if (!encoding.empty() && encoding != "identity") {
        throw ENetError("Resposta inválida do servidor de aplicação (compactação " + encoding + " desconhecida)");
    }
    WireAnswer answer;
    const std::string_view plain = inflated ? inflated->text() : text.Text();
    try {
        const std::vector<size_t>* caps = rowCapsOf(method);
        answer = DecodeAnswer(plain, inflated ? inflated->capacity : text.Capacity(), caps);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const EPacketRows& e) {
        connected_ = false;
        if (method == "GetItemData" && e.argument < std::size(kCataloguePackets))
            throw ENetError("O catálogo do servidor de aplicação tem mais de " + thousands(e.cap) + " " +
                            kCataloguePackets[e.argument].what + ", o limite deste cliente; nada foi carregado");
        throw ENetError(invalidAnswer(res->status, WhyNotAnAnswer(plain, e)));
    } catch (const std::exception& e) {
        throw ENetError(invalidAnswer(res->status, WhyNotAnAnswer(plain, e)));
    }
    if (res->status == 401 && method != "Login") {
        std::lock_guard lock(tokenMutex);
        tokens.erase(place(Host, Port));
        refusal = answer.result.AsResult().error;
        return false;
    }
    if (std::string etag = res->get_header_value("ETag"); !etag.empty() && answer.result.AsResult().ok) {
        std::lock_guard lock(keptMutex);
        if (kept.size() >= kKeptCalls && !kept.count(key)) kept.clear();
        kept[key] = {etag, answer.result, answer.args};
    }
    if (answer.args.size() == args.size()) args = std::move(answer.args);
    result = std::move(answer.result);
    return true;
}
