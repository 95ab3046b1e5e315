#include "cube_statement.hpp"

namespace {

const std::string& identifier(const std::string& name, const std::string& what) {
    if (!IsPlainSqlIdentifier(name))
        throw ECubeDefinition("O catálogo traz um nome de tabela ou coluna inválido para " + what + ": '" + name + "'");
    return name;
}

}  // namespace

CubeStatement ComposeCubeStatement(const std::string& factTable, const std::vector<std::string>& measures,
                                   const std::vector<CubeDimensionColumn>& dims, const std::vector<CubeRestriction>& restrictions,
                                   const std::optional<CubeRowRange>& rows) {
    CubeStatement st;
    identifier(factTable, "a tabela de fatos");
    std::string inner, where, groupBy, outer;
    struct Label {
        std::string key, table, keyColumn, descriptionColumn;
    };
    std::vector<Label> labels;  // joined one at a time, each over the query before (see below)
    int placed = 0, param = 0;
    for (const CubeDimensionColumn& d : dims) {
        const std::string col = "F." + identifier(d.column, "a dimensão " + d.name);
        if (d.filtered) {
            // An empty selection would select nothing: no member passes.
            std::string list;
            for (const std::string& key : d.filterKeys) {
                std::string name = "F" + std::to_string(param++);
                st.params[name] = key;
                list += (list.empty() ? ":" : ", :") + name;
            }
            where += (where.empty() ? " WHERE " : " AND ") + (list.empty() ? std::string("1 = 0") : col + " IN (" + list + ")");
        }
        if (!d.placed) continue;
        const std::string k = "K" + std::to_string(placed);
        inner += (inner.empty() ? "" : ", ") + col + " AS " + k;
        groupBy += (groupBy.empty() ? " GROUP BY " : ", ") + col;
        outer += (outer.empty() ? "" : ", ") + std::string("G.") + k;
        if (!d.ownTable.empty()) {
            outer += ", G.N" + std::to_string(placed);
            labels.push_back({std::to_string(placed), identifier(d.ownTable, "a dimensão " + d.name),
                              identifier(d.keyColumn, "a dimensão " + d.name), identifier(d.descriptionColumn, "a dimensão " + d.name)});
        }
        ++placed;
    }
    for (const CubeRestriction& r : restrictions) {
        where += (where.empty() ? " WHERE " : " AND ") + std::string("F.") + identifier(r.column, "uma regra de acesso") + " IN (" +
                 r.allowedKeys + ")";
        for (auto& [name, value] : r.params) st.params[name] = value;
    }
    if (rows) {
        where += (where.empty() ? " WHERE " : " AND ") + std::string("F.rowid > CAST(:DE AS INTEGER) AND F.rowid <= CAST(:ATE AS INTEGER)");
        st.params["DE"] = std::to_string(rows->after);
        st.params["ATE"] = std::to_string(rows->upTo);
    }
    std::vector<std::string> columns;  // what the query so far gives
    for (int p = 0; p < placed; ++p) columns.push_back("K" + std::to_string(p));
    for (size_t m = 0; m < measures.size(); ++m) {
        const std::string v = "V" + std::to_string(m);
        inner += (inner.empty() ? "" : ", ") + std::string("SUM(F.") + identifier(measures[m], "o fato") + ") AS " + v;
        outer += (outer.empty() ? "" : ", ") + std::string("G.") + v;
        columns.push_back(v);
    }
    // Each label joined over the query before it, one join per SELECT: some engines take no more.
    std::string query = "SELECT " + inner + " FROM " + factTable + " F" + where + groupBy;
    for (const Label& l : labels) {
        std::string list;
        for (const std::string& c : columns) list += "H." + c + ", ";
        query = "SELECT " + list + "L" + l.key + ".LB AS N" + l.key + " FROM (" + query + ") H LEFT JOIN (SELECT " + l.keyColumn +
                " AS K, MIN(" + l.descriptionColumn + ") AS LB FROM " + l.table + " GROUP BY " + l.keyColumn + ") L" + l.key + " ON L" +
                l.key + ".K = H.K" + l.key;
        columns.push_back("N" + l.key);
    }
    st.sql = "SELECT " + outer + " FROM (" + query + ") G";
    return st;
}
