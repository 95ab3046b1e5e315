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
    // Each fact table is read once: a join of a table with itself (two facts of one table) or of two
    // tables on a column of few values multiplies the rows before DISTINCT, and ran for minutes on a
    // million rows. The other tables only say which keys they hold.
    const std::string base = t[0].alias + "." + t[0].column;
    std::string sql = "Select DISTINCT ' ' as IDMARCADO, " + base + " from " + t[0].table + " " + t[0].alias;
    std::set<std::string> read{t[0].table};
    std::string conditions;
    for (size_t j = 1; j < t.size(); ++j) {
        if (!read.insert(t[j].table).second) continue;
        conditions += (conditions.empty() ? "" : " AND ") + base + " IN (SELECT " + t[j].alias + "." + t[j].column + " FROM " +
                      t[j].table + " " + t[j].alias + ")";
    }
    if (!conditions.empty()) sql += " Where " + conditions;
    // Qualified: two fact tables of the view may share the column's name.
    return sql + " Order by " + base;
}
