#include "catalogue.hpp"

namespace {

struct Layout {
    const char* table;
    std::vector<FieldDef> fields;
};

const Layout kDimensions{"DIMENSAODIME",
                         {{"NRSEQUEDIME", 5}, {"NMITEMDIME", 30}, {"CDTABELADIME", 30}, {"DSPKDIME", 30},
                          {"DSITEMDIME", 30}, {"DSPKDIME2", 30}, {"ID", 1, true}}};
const Layout kAreas{"AREANEGDW", {{"NMAREANEGDW", 30}, {"CDAREANEGDW", 5}}};
const Layout kItems{"ITEMDW",
                    {{"CDTABELADW", 20}, {"CDITEMDW", 30}, {"NMITEMDW", 30}, {"CDAREANEGDW", 5}, {"DSHINTITEM", 200},
                     {"IDTPFATODW", 1, true}, {"CDTABDRILL", 30}}};
const Layout kLinks{"DIMENSAODW", {{"NRSEQUEDIME", 5}, {"CDTABELADW", 20}, {"CDITEMDIME", 30}}};

}  // namespace

void WriteCataloguePackets(SqlConnection& db, const char* insertionOrder, std::string& out, const AnswerLimits& limits) {
    for (const Layout* layout : {&kDimensions, &kAreas, &kItems, &kLinks}) {
        std::string sql = "SELECT ";
        for (size_t i = 0; i < layout->fields.size(); ++i) {
            if (i) sql += ", ";
            // The client's local mark is not stored: it is delivered as one blank.
            sql += layout->fields[i].name == "ID" ? std::string("' ' AS ID") : layout->fields[i].name;
        }
        sql += std::string(" FROM ") + layout->table;
        if (*insertionOrder) sql += std::string(" ORDER BY ") + insertionOrder;
        long long count = std::stoll(db.Query(std::string("SELECT count(*) FROM ") + layout->table, {}, true).rows.at(0).at(0));
        PacketWriter packet(out, limits, layout->fields, count);
        db.Stream(sql, {}, true, packet);
        packet.Finish();
        out += ',';
    }
}

std::vector<std::pair<std::string, std::vector<std::string>>> CatalogueColumns() {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    for (const Layout* layout : {&kDimensions, &kAreas, &kItems, &kLinks}) {
        out.push_back({layout->table, {}});
        for (const FieldDef& f : layout->fields)
            if (f.name != "ID") out.back().second.push_back(f.name);
    }
    return out;
}
