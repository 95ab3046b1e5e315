// JSON form of a data packet: {"fields":[{"name","type","size","fixed"}...],"rows":[[...]...]}.
// A null cell reads as empty text. Malformed JSON raises std::runtime_error with a clear message.
#pragma once

#include <nlohmann/json.hpp>

#include "packet.hpp"

nlohmann::json PacketToJson(const DataPacket& p);
DataPacket PacketFromJson(const nlohmann::json& j);
bool LooksLikePacket(const nlohmann::json& j);
