#include "packet_writer.hpp"

#include <algorithm>

#include "data/json_text.hpp"
#include "data/sql_text.hpp"

namespace {

size_t utf8Chars(std::string_view s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// SQLite writes infinities as "Inf": such a text cannot stand as a JSON number.
bool jsonNumber(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (digits == 0 || (digits > 1 && s[i - digits] == '0')) return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        size_t d = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++d;
        if (d == 0) return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t d = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++d;
        if (d == 0) return false;
    }
    return i == s.size();
}

void appendField(std::string& out, const FieldDef& f) {
    out += "{\"name\":";
    AppendJsonString(out, f.name);
    out += ",\"type\":";
    AppendJsonString(out, f.type);
    out += ",\"size\":" + std::to_string(f.size) + (f.fixed ? ",\"fixed\":true}" : ",\"fixed\":false}");
}

}  // namespace

PacketWriter::PacketWriter(std::string& out, const AnswerLimits& limits, const std::vector<FieldDef>& layout, long long expectedRows)
    : out_(out), limits_(limits), catalogue_(true), layout_(layout) {
    out_ += "{\"fields\":[";
    for (size_t i = 0; i < layout_.size(); ++i) {
        if (i) out_ += ',';
        appendField(out_, layout_[i]);
    }
    out_ += "],";
    if (expectedRows >= 0) out_ += "\"count\":" + std::to_string(expectedRows) + ",";
    out_ += "\"rows\":[";
}

PacketWriter::PacketWriter(std::string& out, const AnswerLimits& limits) : out_(out), limits_(limits), catalogue_(false) {
    out_ += "{\"rows\":[";
}

void PacketWriter::Columns(const std::vector<SqlColumn>& columns) {
    columns_ = columns;
    longest_.assign(columns.size(), 1);
    numeric_.assign(columns.size(), true);
    seen_.assign(columns.size(), false);
}

void PacketWriter::Row(const SqlValue* values) {
    if (++rows_ > limits_.maxRows)
        throw EAnswerLimit("A consulta devolveu mais de " + std::to_string(limits_.maxRows) +
                           " linhas, o limite do servidor; restrinja a consulta");
    // What the row will take at the least, checked before any of it is written: a value of hundreds
    // of megabytes is refused without its copy.
    size_t least = out_.size();
    for (size_t i = 0; i < columns_.size(); ++i)
        least += values[i].kind == SqlValue::Kind::Blob ? values[i].bytes.size() * 2 : values[i].bytes.size();
    if (least > limits_.maxBytes) tooLarge();
    out_ += rows_ > 1 ? ",[" : "[";
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (i) out_ += ',';
        const SqlValue& v = values[i];
        if (v.kind == SqlValue::Kind::Null) {
            out_ += "null";
            continue;
        }
        bool number = !catalogue_ && (v.kind == SqlValue::Kind::Integer || v.kind == SqlValue::Kind::Real) && jsonNumber(v.bytes);
        if (number) {
            out_ += v.bytes;
        } else if (v.kind == SqlValue::Kind::Blob) {
            out_ += '"';
            AppendHex(out_, v.bytes);
            out_ += '"';
        } else {
            AppendJsonString(out_, v.bytes);
        }
        if (!catalogue_) {
            seen_[i] = true;
            if (!number) numeric_[i] = false;
            size_t length = v.kind == SqlValue::Kind::Blob ? v.bytes.size() * 2 : utf8Chars(v.bytes);
            longest_[i] = std::max(longest_[i], length);
        }
    }
    out_ += ']';
    if (out_.size() > limits_.maxBytes) tooLarge();
}

void PacketWriter::tooLarge() const {
    throw EAnswerLimit("A resposta passou de " + SizeText(limits_.maxBytes) + ", o limite do servidor; restrinja a consulta");
}

void PacketWriter::Finish() {
    if (catalogue_) {
        out_ += "]}";
        return;
    }
    out_ += "],\"fields\":[";
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (i) out_ += ',';
        FieldDef f{columns_[i].name, static_cast<int>(columns_[i].size > 0 ? static_cast<size_t>(columns_[i].size) : longest_[i]),
                   false, numeric_[i] && seen_[i] ? "number" : "string"};
        appendField(out_, f);
    }
    out_ += "]}";
}
