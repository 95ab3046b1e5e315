#include "packet_json.hpp"

#include <stdexcept>

nlohmann::json PacketToJson(const DataPacket& p) {
    nlohmann::json fields = nlohmann::json::array();
    for (auto& f : p.fields) fields.push_back({{"name", f.name}, {"type", f.type}, {"size", f.size}, {"fixed", f.fixed}});
    nlohmann::json rows = nlohmann::json::array();
    for (auto& r : p.rows) rows.push_back(r);
    return {{"fields", fields}, {"rows", rows}};
}

bool LooksLikePacket(const nlohmann::json& j) {
    return j.is_object() && j.contains("fields") && j["fields"].is_array() && j.contains("rows") && j["rows"].is_array();
}

DataPacket PacketFromJson(const nlohmann::json& j) {
    if (!LooksLikePacket(j)) throw std::runtime_error("Pacote de dados inválido: esperados 'fields' e 'rows'");
    DataPacket p;
    for (auto& f : j["fields"]) {
        if (!f.is_object() || !f.contains("name") || !f["name"].is_string())
            throw std::runtime_error("Pacote de dados inválido: campo sem nome");
        FieldDef d;
        d.name = f["name"].get<std::string>();
        d.size = f.value("size", 0);
        d.fixed = f.value("fixed", false);
        d.type = f.value("type", std::string("string"));
        p.fields.push_back(std::move(d));
    }
    for (auto& r : j["rows"]) {
        if (!r.is_array() || r.size() != p.fields.size())
            throw std::runtime_error("Pacote de dados inválido: linha com número de colunas diferente dos campos");
        std::vector<std::string> row;
        row.reserve(r.size());
        for (auto& c : r) {
            if (c.is_null()) row.emplace_back();
            else if (c.is_string()) row.push_back(c.get<std::string>());
            else row.push_back(c.dump());
        }
        p.rows.push_back(std::move(row));
    }
    return p;
}
