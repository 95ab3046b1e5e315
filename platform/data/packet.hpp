// DataPacket: the unit in which records travel between the server, the providers and the client
// data sets: field metadata (name, type, size in characters, fixed flag) and rows of text cells in
// field order. Only string fields exist in this system. JSON form: wire.hpp.
#pragma once

#include <string>
#include <vector>

struct FieldDef {
    std::string name;
    int size = 0;
    bool fixed = false;
    std::string type = "string";
    bool operator==(const FieldDef&) const = default;
};

struct DataPacket {
    std::vector<FieldDef> fields;
    std::vector<std::vector<std::string>> rows;
    bool operator==(const DataPacket&) const = default;
    // Position of a field by name, without regard to case; -1 when absent.
    int FieldIndex(const std::string& name) const;
};
