// Marks that the screen keeps in its nodes' image indexes, image and selected index always equal: the
// usable mark of a dimension in the list (1 usable, 0 not) and the filter mark of a layout item
// (0 filtered, -1 not).
#pragma once

#include "toolkit/tree_view.hpp"

inline void SetMark(TTreeNode* n, int image) {
    n->ImageIndex = image;
    n->SelectedIndex = image;
}

inline bool IsFiltered(const TTreeNode* n) { return n->ImageIndex == 0; }
