#include "clickhouse_load.hpp"

#include "data/sql_text.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A value as a ClickHouse literal: numbers as they are, text quoted.
std::string literal(const std::string& value, const std::string& type, bool null) {
    if (null) return "NULL";
    return type == "Nullable(String)" ? ClickHouseLiteral(value) : value;
}

// The rows of one SQLite table sent as INSERT statements of a few thousand rows each.
class Inserter : public SqlRowSink {
public:
    Inserter(SqlConnection& target, std::string table, std::vector<std::string> types)
        : target_(target), table_(std::move(table)), types_(std::move(types)) {}
    void Columns(const std::vector<SqlColumn>&) override {}
    void Row(const SqlValue* values) override {
        batch_ += rows_ % kBatch ? ",(" : "(";
        for (size_t c = 0; c < types_.size(); ++c) {
            if (c) batch_ += ',';
            batch_ += literal(std::string(values[c].bytes), types_[c], values[c].kind == SqlValue::Kind::Null);
        }
        batch_ += ')';
        if (++rows_ % kBatch == 0) Flush();
    }
    void Flush() {
        if (batch_.empty()) return;
        target_.Execute("INSERT INTO " + table_ + " VALUES " + batch_);
        batch_.clear();
    }
    size_t Rows() const { return rows_; }

private:
    static constexpr size_t kBatch = 20000;
    SqlConnection& target_;
    std::string table_;
    std::vector<std::string> types_;
    std::string batch_;
    size_t rows_ = 0;
};

}  // namespace

std::vector<std::pair<std::string, size_t>> CopyToClickHouse(SqlConnection& source, SqlConnection& target,
                                                             const ClickHouseCluster* cluster) {
    std::vector<SqlConnection*> shards{&target};
    if (cluster) shards.insert(shards.end(), cluster->others.begin(), cluster->others.end());
    // Fact tables: those the catalogue's facts live in, sorted by the columns their dimensions use.
    std::map<std::string, std::vector<std::string>> dimensionsOf;  // upper-case table -> columns
    for (auto& r : source.Query("SELECT DISTINCT CDTABELADW FROM ITEMDW").rows) dimensionsOf[upper(r.at(0))];
    for (auto& r : source.Query("SELECT CDTABELADW, CDITEMDIME FROM DIMENSAODW").rows) {
        auto it = dimensionsOf.find(upper(r.at(0)));
        if (it != dimensionsOf.end() && std::find(it->second.begin(), it->second.end(), upper(r.at(1))) == it->second.end())
            it->second.push_back(upper(r.at(1)));
    }
    std::vector<std::pair<std::string, size_t>> copied;
    for (auto& t : source.Query("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name").rows) {
        const std::string& table = t.at(0);
        if (!IsPlainSqlIdentifier(table) || table.find('.') != std::string::npos) continue;
        // Each column's type from what it holds: whole numbers, numbers, or text.
        std::vector<std::string> names, types;
        for (auto& c : source.Query("SELECT name FROM pragma_table_info('" + table + "')").rows) {
            const std::string& column = c.at(0);
            if (!IsPlainSqlIdentifier(column)) throw ESqlError("coluna com nome que o ClickHouse não aceita: " + table + "." + column);
            std::set<std::string> kinds;
            for (auto& k : source.Query("SELECT DISTINCT typeof(" + column + ") FROM " + table).rows) kinds.insert(k.at(0));
            kinds.erase("null");
            const bool text = kinds.count("text") || kinds.count("blob") || kinds.empty();
            names.push_back(column);
            types.push_back(text ? "Nullable(String)" : kinds.count("real") ? "Nullable(Float64)" : "Nullable(Int64)");
        }
        std::string columns, key, firstKey;
        for (size_t i = 0; i < names.size(); ++i) columns += (i ? ", " : "") + names[i] + " " + types[i];
        auto fact = dimensionsOf.find(upper(table));
        if (fact != dimensionsOf.end())
            for (size_t i = 0; i < names.size(); ++i)
                if (types[i] == "Nullable(String)" &&
                    std::find(fact->second.begin(), fact->second.end(), upper(names[i])) != fact->second.end()) {
                    const std::string sortable = "ifNull(" + names[i] + ", '')";
                    key += (key.empty() ? "" : ", ") + sortable;
                    if (firstKey.empty()) firstKey = sortable;
                }
        // A fact table is sorted by its dimension columns, which its views group by; the small
        // tables keep their rows in the order they were inserted.
        const std::string sorted = "MergeTree ORDER BY (" + (key.empty() ? std::string("tuple()") : key) + ")";
        const bool spread = cluster && fact != dimensionsOf.end();
        for (SqlConnection* shard : (fact == dimensionsOf.end() || spread) ? shards : std::vector<SqlConnection*>{&target}) {
            shard->Execute("DROP TABLE IF EXISTS " + table);
            if (!spread) {
                shard->Execute("CREATE TABLE " + table + " (" + columns + ") ENGINE = " + (fact != dimensionsOf.end() ? sorted : "Log"));
                continue;
            }
            const std::string hash = firstKey.empty() ? std::string("rand()") : "cityHash64(" + firstKey + ")";
            shard->Execute("DROP TABLE IF EXISTS " + table + "_LOCAL");
            shard->Execute("CREATE TABLE " + table + "_LOCAL (" + columns + ") ENGINE = " + sorted);
            shard->Execute("CREATE TABLE " + table + " (" + columns + ") ENGINE = Distributed(" + cluster->name + ", " + cluster->database +
                           ", " + table + "_LOCAL, " + hash + ")");
        }
        std::string select = "SELECT ";
        for (size_t i = 0; i < names.size(); ++i) select += (i ? ", " : "") + names[i];
        size_t count = 0;
        for (SqlConnection* shard : (fact == dimensionsOf.end() && cluster) ? shards : std::vector<SqlConnection*>{&target}) {
            Inserter rows(*shard, table, types);
            source.Stream(select + " FROM " + table + " ORDER BY rowid", {}, true, rows);
            rows.Flush();
            count = rows.Rows();
        }
        copied.emplace_back(table, count);
    }
    return copied;
}
