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

std::vector<SqlRowRule> RowRulesFor(SqlConnection& db, const std::string& operatorCode, const RowRuleOptions& options) {
    std::map<std::string, std::string> conditions;  // table -> condition
    if (options.ruleTables) {
        // The rules themselves: an operator reads their own at most (the member lists need them).
        const std::string op = options.literal ? options.literal(operatorCode) : quoted(operatorCode);
        for (const char* table : {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP"}) conditions[table] = "CDOPERADOR = " + op;
        conditions["FILDIMEGRUPOP"] = "CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = " + op + ")";
    }
    auto finish = [&] {
        std::vector<SqlRowRule> rules;
        for (auto& [table, condition] : conditions) rules.push_back({table, condition});
        return rules;
    };
    if (operatorCode.empty()) {
        // No operator named: nothing that any rule could restrict is shown.
        for (auto& row : db.Query("SELECT CDTABELADW FROM DIMENSAODW UNION SELECT CDTABELADIME FROM DIMENSAODIME", {}, true).rows)
            if (!row.at(0).empty()) conditions[row.at(0)] = "1 = 0";
        if (options.aggregates)
            for (auto& row : db.Query("SELECT CDTABELAAGR FROM QEL_AGREGADOS", {}, true).rows) conditions[row.at(0)] = "1 = 0";
        for (auto& [table, condition] : conditions)
            if (!IsPlainSqlIdentifier(table)) throw ESqlError("O catálogo traz um nome inválido para uma regra de acesso: " + table);
        return finish();
    }
    std::map<std::string, std::string> kinds;  // restricted sequence -> "O" or "G"
    for (auto& row : db.Query(kRestrictedDimensionsSql, {{"P_CDOPERADOR", operatorCode}}, true).rows) kinds.try_emplace(row.at(1), row.at(0));
    if (kinds.empty()) return finish();
    std::map<std::string, std::string> allowed;     // restricted sequence -> its keys' SQL
    auto allowedKeys = [&](const std::string& sequence) -> const std::string& {
        auto [it, fresh] = allowed.try_emplace(sequence);
        if (!fresh) return it->second;
        if (!options.literal) return it->second = AllowedKeysSql(kinds.at(sequence), quoted(sequence), quoted(operatorCode));
        for (auto& key : db.Query(AllowedKeysSql(kinds.at(sequence), ":S", ":O"), {{"S", sequence}, {"O", operatorCode}}, true).rows)
            it->second += (it->second.empty() ? "" : ", ") + options.literal(key.at(0));
        return it->second;
    };
    auto restrict = [&](const std::string& table, const std::string& column, const std::string& sequence) {
        if (table.empty() || !IsPlainSqlIdentifier(table) || !IsPlainSqlIdentifier(column))
            throw ESqlError("O catálogo traz um nome inválido para uma regra de acesso: " + table + "." + column);
        std::string& c = conditions[table];
        if (c == "1 = 0") return;
        const std::string& keys = allowedKeys(sequence);
        if (keys.empty()) c = "1 = 0";  // no key allowed (an empty IN list is not SQL)
        else c += (c.empty() ? "" : " AND ") + column + " IN (" + keys + ")";
    };
    const auto links = db.Query("SELECT NRSEQUEDIME, CDTABELADW, CDITEMDIME FROM DIMENSAODW", {}, true).rows;
    for (auto& link : links)
        if (kinds.count(link.at(0))) restrict(link.at(1), link.at(2), link.at(0));
    // A fact table's summaries keep the rows their fact table keeps; one without the restricted
    // column cannot tell them apart, and shows nothing.
    if (options.aggregates)
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
    return finish();
}
