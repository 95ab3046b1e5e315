// The catalogue as the cube module reads it from the application server (GetItemData): facts and
// dimensions looked up by name as the screen does (the first record of a name wins), and the column
// that links each dimension to each fact table.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "cube_statement.hpp"  // ECubeDefinition

class TNetConnection;

struct Catalogue {
    struct Fact {
        std::string table, measure;
    };
    struct Dimension {
        std::string sequence, table, key, description;
    };
    std::map<std::string, Fact> facts;
    std::map<std::string, Dimension> dimensions;
    std::map<std::pair<std::string, std::string>, std::string> columns;  // (sequence, fact table) -> column

    const Fact& fact(const std::string& name) const {
        auto it = facts.find(name);
        if (it == facts.end()) throw ECubeDefinition("O fato " + name + " não está no catálogo");
        return it->second;
    }
    const Dimension& dimension(const std::string& name) const {
        auto it = dimensions.find(name);
        if (it == dimensions.end()) throw ECubeDefinition("A dimensão " + name + " não está no catálogo");
        return it->second;
    }
    const std::string* column(const Dimension& d, const std::string& table) const {
        auto it = columns.find({d.sequence, table});
        return it == columns.end() ? nullptr : &it->second;
    }
};

// Reads the catalogue through `net` (not owned) for the session's operator; raises on a server error.
Catalogue ReadCatalogue(TNetConnection& net);
// The same through a connection of its own to the session's application server.
Catalogue ReadServerCatalogue();
