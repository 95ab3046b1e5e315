#include "catalogue.hpp"

namespace {

struct Layout {
    const char* table;
    std::vector<FieldDef> fields;
};

const Layout kAreas{"AREANEGDW", {{"NMAREANEGDW", 30}, {"CDAREANEGDW", 5}}};
const Layout kItems{"ITEMDW",
                    {{"CDTABELADW", 20}, {"CDITEMDW", 30}, {"NMITEMDW", 30}, {"CDAREANEGDW", 5}, {"DSHINTITEM", 200},
                     {"IDTPFATODW", 1, true}, {"CDTABDRILL", 30}}};
const Layout kLinks{"DIMENSAODW", {{"NRSEQUEDIME", 5}, {"CDTABELADW", 20}, {"CDITEMDIME", 30}}};
const Layout kDimensions{"DIMENSAODIME",
                         {{"NRSEQUEDIME", 5}, {"NMITEMDIME", 30}, {"CDTABELADIME", 30}, {"DSPKDIME", 30},
                          {"DSITEMDIME", 30}, {"DSPKDIME2", 30}}};

DataPacket read(SqlConnection& db, const Layout& layout) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < layout.fields.size(); ++i) sql += (i ? ", " : "") + layout.fields[i].name;
    sql += std::string(" FROM ") + layout.table + " ORDER BY rowid";
    SqlResult r = db.Query(sql, {}, true);
    DataPacket p;
    p.fields = layout.fields;
    p.rows = std::move(r.rows);
    return p;
}

}  // namespace

Catalogue ReadCatalogue(SqlConnection& db) {
    Catalogue c;
    c.areas = read(db, kAreas);
    c.items = read(db, kItems);
    c.links = read(db, kLinks);
    c.dimensions = read(db, kDimensions);
    c.dimensions.fields.push_back({"ID", 1, true});
    for (auto& row : c.dimensions.rows) row.push_back(" ");
    return c;
}
