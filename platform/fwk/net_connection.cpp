#include "services/net_connection.hpp"

#include <httplib.h>

#include <map>
#include <mutex>

#include "data/wire.hpp"
#include "host_bridge.hpp"

namespace {

std::string place(const std::string& host, int port) { return host + ":" + std::to_string(port); }

httplib::Client client(const std::string& host, int port) {
    httplib::Client c(host, port);
    c.set_connection_timeout(5, 0);
    c.set_read_timeout(120, 0);
    c.set_write_timeout(30, 0);
    c.set_decompress(true);
    return c;
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
std::map<std::string, size_t> lastSize;  // of the last answer of each call
constexpr size_t kKeptCalls = 16;

}  // namespace

void ForgetKeptAnswers() {
    std::lock_guard lock(keptMutex);
    kept.clear();
}

TNetConnection::TNetConnection(TComponent* owner) : TComponent(owner) {}
TNetConnection::~TNetConnection() = default;

void TNetConnection::open(bool raise) {
    if (OnBeforeConnect) OnBeforeConnect(this);
    auto c = client(Host, Port);
    auto res = c.Get("/" + ServerName);
    if (!res) {
        lastError_ = "Não foi possível conectar ao servidor de aplicação em " + place(Host, Port) + " (" +
                     httplib::to_string(res.error()) + ")";
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
    const std::string path = "/" + ServerName + "/" + method;
    const std::string body = EncodeCall(args);
    const std::string key = place(Host, Port) + path + "\n" + body;
    httplib::Headers headers{{"Accept-Encoding", "gzip"}};
    {
        std::lock_guard lock(keptMutex);
        if (auto it = kept.find(key); it != kept.end()) headers.emplace("If-None-Match", it->second.etag);
    }
    // The answer lands in a buffer sized like the last answer of this call, so that megabytes of it
    // are not copied over and over as it grows.
    std::string text;
    {
        std::lock_guard lock(keptMutex);
        if (auto it = lastSize.find(key); it != lastSize.end()) text.reserve(it->second + it->second / 16);
    }
    httplib::Request request;
    request.method = "POST";
    request.path = path;
    request.headers = std::move(headers);
    request.headers.emplace("Content-Type", "application/json");
    request.body = body;
    request.content_receiver = [&text](const char* data, size_t length, uint64_t, uint64_t) {
        text.append(data, length);
        return true;
    };
    auto c = client(Host, Port);
    auto res = c.send(request);
    if (!res) {
        connected_ = false;
        throw ENetError("Falha na comunicação com o servidor de aplicação em " + place(Host, Port) + " (" +
                        httplib::to_string(res.error()) + ")");
    }
    if (res->status == 304) {
        std::lock_guard lock(keptMutex);
        if (auto it = kept.find(key); it != kept.end()) {
            if (it->second.args.size() == args.size()) args = it->second.args;
            return it->second.result;
        }
        throw ENetError("Resposta inválida do servidor de aplicação (HTTP 304 sem resposta guardada)");
    }
    if (text.empty()) text = std::move(res->body);
    {
        std::lock_guard lock(keptMutex);
        lastSize[key] = text.size();
    }
    WireAnswer answer;
    try {
        answer = DecodeAnswer(text);
    } catch (const std::exception&) {
        throw ENetError("Resposta inválida do servidor de aplicação (HTTP " + std::to_string(res->status) + ")");
    }
    if (std::string etag = res->get_header_value("ETag"); !etag.empty() && answer.result.AsResult().ok) {
        std::lock_guard lock(keptMutex);
        if (kept.size() >= kKeptCalls && !kept.count(key)) kept.clear();
        kept[key] = {etag, answer.result, answer.args};
    }
    if (answer.args.size() == args.size()) args = std::move(answer.args);
    return answer.result;
}
