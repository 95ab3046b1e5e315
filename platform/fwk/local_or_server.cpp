// The client's database first, the application server second (see OpenLocalOrServer in query.hpp).
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "services/query.hpp"

namespace {

void bindToClientDatabase(TADOIBQuery& query) {
    if (dtmDBGeral) {
        query.SetADOConnection(dtmDBGeral->ADOConnection);
        query.SetIBDataBase(dtmDBGeral->IBDatabase);
    }
}

}  // namespace

DataPacket OpenLocal(TADOIBQuery& query, const std::string& sql, const SqlParams* params) {
    bindToClientDatabase(query);
    query.Close();
    query.ClearParams();
    query.SQL.Clear();
    query.SQL.Add(sql);
    if (params)
        for (auto& [name, value] : *params) query.ParamByName(name).AsString = value;
    query.Open();
    return query.TakePacket();
}

DataPacket OpenLocalOrServer(TADOIBQuery& query, TNetConnection& net, const std::string& sql, const SqlParams* params,
                             const std::string& what) {
    bindToClientDatabase(query);
    std::string localError;
    if (query.HasConnection()) {
        try {
            return OpenLocal(query, sql, params);
        } catch (const ESqlInterrupted&) {
            throw;
        } catch (const EAbort&) {
            throw;  // the operator cancelled it: not the server's to try
        } catch (const std::exception& e) {
            localError = e.what();
        }
    }
    std::vector<Variant> args{Variant(sql)};
    if (params) {
        DataPacket bound;
        for (auto& [name, value] : *params) {
            bound.fields.push_back({name, static_cast<int>(value.size()), false, "string"});
            bound.rows.AddCell() = value;
        }
        bound.rows.EndRow();
        args.emplace_back(std::move(bound));
    }
    try {
        Variant data = CheckResultServ(net.Call("getInfo", args), true, 0);
        if (!data.IsPacket()) throw EServerError("O servidor de aplicação não devolveu " + what);
        return data.AsPacket();
    } catch (const EAbort&) {
        throw;  // the operator cancelled: nothing to explain
    } catch (const std::exception& e) {
        if (localError.empty()) throw;
        throw EServerError(std::string(e.what()) + ". No banco de dados do cliente: " + localError);
    }
}

std::vector<AggregateTable> FreshAggregates(TADOIBQuery& query, TNetConnection& net) {
    try {
        return AggregatesFromRows(OpenLocalOrServer(query, net, kFreshAggregatesSql, nullptr, "os agregados").rows);
    } catch (const EServerError&) {
        return {};
    } catch (const ESqlError&) {
        return {};
    }
}
