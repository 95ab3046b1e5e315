// JSON form of call values on the wire: null, bool, number, text, a data packet object, or a server
// result {"ok":true,"data":…} / {"ok":false,"error":"…"}.
#pragma once

#include <nlohmann/json.hpp>

#include "services/variant.hpp"

nlohmann::json VariantToJson(const Variant& v);
Variant VariantFromJson(const nlohmann::json& j);
Variant ResultFromJson(const nlohmann::json& j);  // the "result" member of an answer
