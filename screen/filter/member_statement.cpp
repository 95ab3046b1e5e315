#include "member_statement.hpp"

#include <algorithm>
#include <set>

#include "data/sql_connection.hpp"

void RequireIdentifier(const std::string& name, const std::string& dimension) {
    if (!IsPlainSqlIdentifier(name))
        throw EBadCatalogueName("O catálogo traz um nome de tabela ou coluna inválido para a dimensão " + dimension + ": '" +
                                name + "'");
}

std::string OwnTableStatement(const std::string& table, const std::string& key, const std::string& description,
                              const std::string& restriction) {
    std::string columns = key == description ? description : key + ", " + description;
    return "Select DISTINCT ' ' as IDMARCADO, " + columns + " from " + table + restriction + " Order by " + description;
}

std::string FactAlias(int i) {
    // Bijective base 26 (A..Z, AA..ZZ, AAA...), skipping the short words SQL reserves.
    static const std::set<std::string> reserved{
        "AS",  "AT",  "BY",  "DO",  "IF",  "IN",  "IS",  "NO",  "OF",  "ON",  "OR",  "TO",  "ADD", "ALL", "AND",
        "ANY", "ASC", "END", "FOR", "KEY", "NOT", "OFF", "OLD", "OUT", "ROW", "SET", "TOP", "USE", "NEW"};
    for (int k = 0, seen = 0;; ++k) {
        std::string alias;
        for (int n = k + 1; n > 0; n = (n - 1) / 26) alias.insert(alias.begin(), static_cast<char>('A' + (n - 1) % 26));
        if (alias.size() > 1 && reserved.count(alias)) continue;
        if (seen++ == i) return alias;
    }
}

std::string FactTablesStatement(const std::vector<FactTable>& t) {
    const std::string base = t[0].alias + "." + t[0].column;
    std::string sql = "Select DISTINCT ' ' as IDMARCADO, " + base + " from " + t[0].table + " " + t[0].alias;
    if (t.size() > 1) {
        sql += " , ";
        for (size_t i = 1; i < t.size(); ++i) sql += " " + t[i].table + " " + t[i].alias + (i + 1 < t.size() ? " , " : "");
        sql += " Where ";
        for (size_t j = 1; j < t.size(); ++j)
            sql += base + " = " + t[j].alias + "." + t[j].column + (j + 1 < t.size() ? " AND " : "");
    }
    // Qualified: two fact tables of the view may share the column's name.
    return sql + " Order by " + base;
}
