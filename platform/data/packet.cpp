#include "packet.hpp"

#include <ostream>

#include "field_name.hpp"

int DataPacket::FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameFieldName(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

bool PacketRows::operator==(const std::vector<std::vector<std::string>>& other) const {
    if (other.size() != size()) return false;
    for (size_t r = 0; r < other.size(); ++r)
        if (!((*this)[r] == other[r])) return false;
    return true;
}

void PrintTo(const PacketRows& rows, std::ostream* out) {
    *out << '{';
    for (size_t r = 0; r < rows.size(); ++r) {
        *out << (r ? ", {" : "{");
        for (size_t c = 0; c < rows[r].size(); ++c) *out << (c ? ", \"" : "\"") << rows[r][c] << '"';
        *out << '}';
    }
    *out << '}';
}
