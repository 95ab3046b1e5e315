#include "rdm_opcoes_dw.hpp"

#include "catalogue.hpp"
#include "data/packet_json.hpp"

nlohmann::json FailedAnswer(const std::string& message, const nlohmann::json& args) {
    return {{"result", {{"ok", false}, {"error", message}}}, {"args", args.is_array() ? args : nlohmann::json::array()}};
}

nlohmann::json RdmOpcoesDW::Call(const std::string& method, const nlohmann::json& args, int& status) const {
    status = 200;
    try {
        if (method == "GetItemData") return getItemData(args);
        if (method == "getInfo") return getInfo(args);
    } catch (const std::exception& e) {
        return FailedAnswer(e.what(), args);
    }
    status = 404;
    return FailedAnswer("Método desconhecido em " + std::string(ObjectName) + ": " + method, args);
}

nlohmann::json RdmOpcoesDW::getItemData(nlohmann::json args) const {
    if (args.size() != 5) return FailedAnswer("GetItemData espera 5 argumentos, recebeu " + std::to_string(args.size()), args);
    auto db = OpenSqlite(dbPath_, true);
    Catalogue c = ReadCatalogue(*db);
    args[0] = PacketToJson(c.dimensions);
    args[1] = PacketToJson(c.areas);
    args[2] = PacketToJson(c.items);
    args[3] = PacketToJson(c.links);
    return {{"result", {{"ok", true}, {"data", nullptr}}}, {"args", args}};
}

nlohmann::json RdmOpcoesDW::getInfo(nlohmann::json args) const {
    if (args.empty() || args.size() > 2 || !args[0].is_string())
        return FailedAnswer("getInfo espera a instrução SQL e, se houver, o pacote dos seus parâmetros", args);
    // Parameters travel as a one-row packet: each field names a parameter, bound as text.
    SqlParams params;
    if (args.size() == 2) {
        DataPacket p = PacketFromJson(args[1]);
        if (p.rows.size() != 1) return FailedAnswer("getInfo espera os parâmetros numa única linha", args);
        for (size_t i = 0; i < p.fields.size(); ++i) params[p.fields[i].name] = p.rows[0][i];
    }
    auto db = OpenSqlite(dbPath_, true);
    SqlResult r = db->Query(args[0].get<std::string>(), params, true);
    return {{"result", {{"ok", true}, {"data", PacketToJson(r.ToPacket())}}}, {"args", args}};
}
