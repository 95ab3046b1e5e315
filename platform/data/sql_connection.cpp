// What every connection shares, whatever the engine: the whole-result form of a statement, a result
// as a data packet, and the check of names placed into statements.
#include <algorithm>
#include <cctype>

#include "json_text.hpp"
#include "sql_connection.hpp"

namespace {

size_t utf8Length(const std::string& s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Keeps every row as text, the way the client's data sets hold them.
class CollectingSink : public SqlRowSink {
public:
    CollectingSink(SqlResult& r, std::atomic<size_t>* counted) : r_(r), counted_(counted) {}
    void Columns(const std::vector<SqlColumn>& columns) override { r_.columns = columns; }
    void Row(const SqlValue* values) override {
        for (size_t i = 0; i < r_.columns.size(); ++i) {
            const SqlValue& v = values[i];
            if (v.kind == SqlValue::Kind::Blob) AppendHex(r_.rows.AddCell(), v.bytes);
            else r_.rows.AddCell() = v.bytes;
        }
        r_.rows.EndRow();
        if (counted_) counted_->store(r_.rows.size(), std::memory_order_relaxed);
    }

private:
    SqlResult& r_;
    std::atomic<size_t>* counted_;
};

}  // namespace

SqlResult SqlConnection::Query(const std::string& sql, const SqlParams& params, bool readOnly, std::atomic<size_t>* rowsRead) {
    SqlResult r;
    CollectingSink sink(r, rowsRead);
    Stream(sql, params, readOnly, sink);
    return r;
}

DataPacket SqlResult::ToPacket() const& {
    SqlResult copy{columns, rows};
    return std::move(copy).ToPacket();
}

DataPacket SqlResult::ToPacket() && {
    DataPacket p;
    for (size_t i = 0; i < columns.size(); ++i) {
        size_t size = static_cast<size_t>(columns[i].size);
        if (size == 0) {
            size = 1;
            for (auto& row : rows) size = std::max(size, utf8Length(row[i]));
        }
        p.fields.push_back({columns[i].name, static_cast<int>(size), false, "string"});
    }
    p.rows = std::move(rows);
    return p;
}

bool IsPlainSqlIdentifier(const std::string& name) {
    auto part = [](const std::string& s) {
        if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
        return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    };
    auto dot = name.find('.');
    if (dot == std::string::npos) return part(name);
    return part(name.substr(0, dot)) && part(name.substr(dot + 1));
}
