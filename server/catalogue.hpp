// The catalogue the server delivers through GetItemData: four tables of the server's database
// written as data packets with the record layouts the client expects (names, sizes, fixed flags),
// rows in insertion order, in the order dimensions, areas, items, links, separated by commas. The
// dimension packet carries the client's local mark field ID as one blank.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/sql_connection.hpp"
#include "packet_writer.hpp"

// `insertionOrder` names the column that orders rows as they were inserted (empty: the table reads
// them back in that order itself).
void WriteCataloguePackets(SqlConnection& db, const char* insertionOrder, std::string& out, const AnswerLimits& limits);

// The four tables with the stored columns the answer carries (the local mark is not stored): what a
// change key must see change.
std::vector<std::pair<std::string, std::vector<std::string>>> CatalogueColumns();
