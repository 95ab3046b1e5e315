// A copy of the screen's layout as values: the four zones' nodes (name, filter mark, whether a group
// is expanded, its members) and the two filter lists. The undo and redo history keeps these, so a
// step holds no pointer into the trees and outlives every node it describes.
#pragma once

#include <array>
#include <string>
#include <vector>

struct LayoutNode {
    std::string text;
    int image = -1;
    bool expanded = false;
    std::vector<LayoutNode> members;
    bool operator==(const LayoutNode&) const = default;
};

struct LayoutSnapshot {
    std::array<std::vector<LayoutNode>, 4> zones;  // pages, rows, columns, facts
    std::vector<std::string> filterNames, filterSelections;
    bool operator==(const LayoutSnapshot&) const = default;
};
