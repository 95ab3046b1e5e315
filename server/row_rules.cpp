#include "row_rules.hpp"

#include <algorithm>
#include <map>

#include "data/access_rules.hpp"
#include "data/aggregates.hpp"

namespace {

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::vector<SqlRowRule> RowRulesFor(SqlConnection& db, const std::string& operatorCode) {
    std::map<std::string, std::string> kinds;  // restricted sequence -> "O" or "G"
    for (auto& row : db.Query(kRestrictedDimensionsSql, {{"P_CDOPERADOR", operatorCode}}, true).rows) kinds.try_emplace(row.at(1), row.at(0));
    if (kinds.empty()) return {};
    std::map<std::string, std::string> conditions;  // table -> condition
    auto restrict = [&](const std::string& table, const std::string& column, const std::string& sequence) {
        if (table.empty() || !IsPlainSqlIdentifier(table) || !IsPlainSqlIdentifier(column))
            throw ESqlError("O catálogo traz um nome inválido para uma regra de acesso: " + table + "." + column);
        std::string& c = conditions[table];
        if (c == "1 = 0") return;
        c += (c.empty() ? "" : " AND ") + column + " IN (" + AllowedKeysSql(kinds.at(sequence), quoted(sequence), quoted(operatorCode)) + ")";
    };
    const auto links = db.Query("SELECT NRSEQUEDIME, CDTABELADW, CDITEMDIME FROM DIMENSAODW", {}, true).rows;
    for (auto& link : links)
        if (kinds.count(link.at(0))) restrict(link.at(1), link.at(2), link.at(0));
    // A fact table's summaries keep the rows their fact table keeps; one without the restricted
    // column cannot tell them apart, and shows nothing.
    if (!db.Query("SELECT name FROM sqlite_master WHERE name = 'QEL_AGREGADOS'", {}, true).rows.empty())
        for (const AggregateTable& a : AggregatesFromRows(db.Query("SELECT CDTABELAAGR, CDTABELADW, DSCOLUNAS, QTLINHAS FROM QEL_AGREGADOS", {}, true).rows))
            for (auto& link : links) {
                if (!kinds.count(link.at(0)) || !SameSqlName(link.at(1), a.base)) continue;
                if (std::any_of(a.columns.begin(), a.columns.end(), [&](const std::string& c) { return SameSqlName(c, link.at(2)); }))
                    restrict(a.table, link.at(2), link.at(0));
                else
                    conditions[a.table] = "1 = 0";
            }
    for (auto& dim : db.Query("SELECT NRSEQUEDIME, CDTABELADIME, DSPKDIME FROM DIMENSAODIME", {}, true).rows)
        if (kinds.count(dim.at(0)) && !dim.at(1).empty()) restrict(dim.at(1), dim.at(2), dim.at(0));
    std::vector<SqlRowRule> rules;
    for (auto& [table, condition] : conditions) rules.push_back({table, condition});
    return rules;
}
