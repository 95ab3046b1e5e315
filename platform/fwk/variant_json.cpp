#include "variant_json.hpp"

#include "data/packet_json.hpp"

nlohmann::json VariantToJson(const Variant& v) {
    if (v.IsBool()) return v.AsBool();
    if (v.IsInt()) return v.AsInt();
    if (v.IsString()) return v.AsString();
    if (v.IsPacket()) return PacketToJson(v.AsPacket());
    if (v.IsResult()) {
        const ServerResult& r = v.AsResult();
        if (!r.ok) return {{"ok", false}, {"error", r.error}};
        return {{"ok", true}, {"data", VariantToJson(r.data)}};
    }
    return nullptr;
}

Variant VariantFromJson(const nlohmann::json& j) {
    if (j.is_null()) return {};
    if (j.is_boolean()) return j.get<bool>();
    if (j.is_number_integer()) return j.get<long long>();
    if (j.is_number()) return j.dump();
    if (j.is_string()) return j.get<std::string>();
    if (LooksLikePacket(j)) return PacketFromJson(j);
    throw std::runtime_error("Valor não reconhecido na resposta do servidor: " + j.dump().substr(0, 80));
}

Variant ResultFromJson(const nlohmann::json& j) {
    if (!j.is_object() || !j.contains("ok") || !j["ok"].is_boolean())
        throw std::runtime_error("Resposta do servidor sem resultado válido");
    auto r = std::make_shared<ServerResult>();
    r->ok = j["ok"].get<bool>();
    if (!r->ok) r->error = j.value("error", std::string());
    else if (j.contains("data")) r->data = VariantFromJson(j["data"]);
    return Variant(std::shared_ptr<const ServerResult>(r));
}
