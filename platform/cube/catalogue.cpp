#include "catalogue.hpp"

#include "cube_statement.hpp"
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "services/session.hpp"

namespace {

const DataPacket& packetArg(const Variant& v) {
    if (!v.IsPacket()) throw EServerError("O servidor de aplicação não devolveu o catálogo");
    return v.AsPacket();
}

std::string cell(const DataPacket& p, const std::vector<std::string>& row, const char* field) {
    int i = p.FieldIndex(field);
    if (i < 0) throw EServerError(std::string("O catálogo não traz o campo ") + field);
    return row.at(static_cast<size_t>(i));
}

}  // namespace

Catalogue ReadCatalogue(TNetConnection& net) {
    std::vector<Variant> args(5);
    args[4] = Operador();
    CheckResultServ(net.Call("GetItemData", args), true, 0);
    Catalogue c;
    const DataPacket& dims = packetArg(args[0]);
    for (auto& r : dims.rows)
        c.dimensions.try_emplace(cell(dims, r, "NMITEMDIME"), Catalogue::Dimension{cell(dims, r, "NRSEQUEDIME"), cell(dims, r, "CDTABELADIME"),
                                                                                 cell(dims, r, "DSPKDIME"), cell(dims, r, "DSITEMDIME")});
    const DataPacket& items = packetArg(args[2]);
    for (auto& r : items.rows)
        c.facts.try_emplace(cell(items, r, "NMITEMDW"), Catalogue::Fact{cell(items, r, "CDTABELADW"), cell(items, r, "CDITEMDW")});
    const DataPacket& links = packetArg(args[3]);
    for (auto& r : links.rows)
        c.columns.try_emplace({cell(links, r, "NRSEQUEDIME"), cell(links, r, "CDTABELADW")}, cell(links, r, "CDITEMDIME"));
    return c;
}

Catalogue ReadServerCatalogue() {
    TNetConnection net(nullptr);
    net.ServerName = "QEL00100.rdmOpcoesDW";
    net.ThrowException = false;
    net.Host = WebURL();
    net.Port = WebPort();
    return ReadCatalogue(net);
}
