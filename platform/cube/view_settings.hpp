// How the viewer's grid is read, kept by dimension and fact name so that it survives a recomputation,
// a pivot and a saved view: member order, sort, collapsed groups, subtotals, what the cells show and
// the chart. As JSON it is the "settings" object of the viewer's state and of a saved view.
#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pivot.hpp"

struct ViewSettings {
    std::map<std::string, MemberOrder> order;  // dimensions not by key
    std::optional<std::string> sortFact;
    bool sortDescending = true;
    std::optional<std::vector<std::string>> sortColumn;  // a column's labels; nullopt: the grand total
    struct Collapsed {
        bool all = false;
        std::set<std::string> members;  // labels
        bool operator==(const Collapsed&) const = default;
    };
    std::map<std::string, Collapsed> collapsed;  // row dimensions
    bool subtotals = true;
    ShowAs show = ShowAs::Values;
    std::optional<std::string> chart;  // "bar" or "line" beside the grid; nullopt: none
    bool operator==(const ViewSettings&) const = default;
};

nlohmann::json SettingsJson(const ViewSettings& s);
// Raises std::invalid_argument, naming the field, when the JSON is not such an object.
ViewSettings SettingsFromJson(const nlohmann::json& j);
