#include "packet.hpp"

#include "field_name.hpp"

int DataPacket::FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameFieldName(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}
