// Rows of a statement written straight into the JSON text of a data packet, as the database hands
// them over: no copy of the rows is kept. Two forms:
//  - a catalogue packet has its record layout given up front and every value as text;
//  - a query packet writes its rows first and its fields after them, sized by the declared length
//    or by the longest value, typed "number" when every value of the column is a number.
// Binary values travel as hexadecimal text, invalid UTF-8 with U+FFFD. Past the row or size limit
// the writer raises EAnswerLimit, and the statement stops.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "data/packet.hpp"
#include "data/sql_connection.hpp"

class EAnswerLimit : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AnswerLimits {
    size_t maxRows = 1000000;
    size_t maxBytes = size_t{256} << 20;
};

class PacketWriter : public SqlRowSink {
public:
    // Catalogue form: `layout` gives the fields, in the statement's column order; `expectedRows`, when
    // known, goes before the rows as a hint for the reader.
    PacketWriter(std::string& out, const AnswerLimits& limits, const std::vector<FieldDef>& layout, long long expectedRows = -1);
    // Query form.
    PacketWriter(std::string& out, const AnswerLimits& limits);

    void Columns(const std::vector<SqlColumn>& columns) override;
    void Row(const SqlValue* values) override;
    // Closes the packet; call once the statement has run.
    void Finish();

private:
    [[noreturn]] void tooLarge() const;
    std::string& out_;
    AnswerLimits limits_;
    bool catalogue_;
    std::vector<FieldDef> layout_;
    std::vector<SqlColumn> columns_;
    std::vector<size_t> longest_;
    std::vector<bool> numeric_, seen_;
    size_t rows_ = 0;
};
