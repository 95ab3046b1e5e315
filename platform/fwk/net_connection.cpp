#include "services/net_connection.hpp"

#include <httplib.h>

#include "host_bridge.hpp"
#include "variant_json.hpp"

namespace {

std::string place(const std::string& host, int port) { return host + ":" + std::to_string(port); }

httplib::Client client(const std::string& host, int port) {
    httplib::Client c(host, port);
    c.set_connection_timeout(5, 0);
    c.set_read_timeout(120, 0);
    c.set_write_timeout(30, 0);
    return c;
}

}  // namespace

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
    nlohmann::json body = {{"args", nlohmann::json::array()}};
    for (auto& a : args) body["args"].push_back(VariantToJson(a));
    auto c = client(Host, Port);
    auto res = c.Post("/" + ServerName + "/" + method, body.dump(), "application/json");
    if (!res) {
        connected_ = false;
        throw ENetError("Falha na comunicação com o servidor de aplicação em " + place(Host, Port) + " (" +
                        httplib::to_string(res.error()) + ")");
    }
    nlohmann::json answer;
    try {
        answer = nlohmann::json::parse(res->body);
    } catch (const nlohmann::json::exception&) {
        throw ENetError("Resposta inválida do servidor de aplicação (HTTP " + std::to_string(res->status) + ")");
    }
    if (!answer.is_object() || !answer.contains("result"))
        throw ENetError("Resposta inválida do servidor de aplicação (HTTP " + std::to_string(res->status) + ")");
    Variant result = ResultFromJson(answer["result"]);
    if (answer.contains("args") && answer["args"].is_array()) {
        std::vector<Variant> back;
        for (auto& a : answer["args"]) back.push_back(VariantFromJson(a));
        if (back.size() == args.size()) args = std::move(back);
    }
    return result;
}
