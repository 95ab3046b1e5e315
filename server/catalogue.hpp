// The catalogue the server delivers through GetItemData: four tables of the server's database read
// into data packets with the record layouts the client expects (names, sizes, fixed flags), rows in
// insertion order. The dimension packet carries the client's local mark field ID as one blank.
#pragma once

#include "data/packet.hpp"
#include "data/sql_connection.hpp"

struct Catalogue {
    DataPacket dimensions, areas, items, links;
};

Catalogue ReadCatalogue(SqlConnection& db);
