// Gestures raised from code exactly as a person makes them with the mouse: a press (focus first, then
// the control's own reaction, then its handlers), a double-click, a drag from a press on a node over a
// target that may accept it, and a right-click that opens the control's context menu. Coordinates are
// the control's own. Used by the host's script runner, the front end and the tests.
#pragma once

#include "component.hpp"

class TTreeView;

// Press and release of a mouse button. Windowed controls that can take the focus receive it first;
// a tree then selects the node under the pointer (left button, or right with RightClickSelect).
void MousePress(TControl* c, TMouseButton button, int x, int y, TShiftState shift = {});
// The two halves of a press, for a front end that sees them apart: the button goes down (focus,
// selection, OnMouseDown), and comes up (OnMouseUp, then OnClick for the left button).
void MouseDown(TControl* c, TMouseButton button, int x, int y, TShiftState shift = {});
void MouseUp(TControl* c, TMouseButton button, int x, int y, TShiftState shift = {});
// Press, then the double-click: OnDblClick, after which a tree toggles the node under the pointer.
void DoubleClick(TControl* c, int x, int y);
// The double-click alone, after its press: OnDblClick and the tree's toggle.
void DoubleClickEvent(TControl* c, int x, int y);
// Whether the target would take what is dragged from the source at (x, y) (its OnDragOver), and the
// drop itself (OnDragDrop, when it accepts). A drag begins with MouseDown on the source.
bool DragOver(TControl* target, TControl* source, int x, int y, TDragState state);
bool Drop(TControl* target, TControl* source, int x, int y);
// Press on the source at (sx, sy), drag over target at (tx, ty), release. The drop happens only when
// the target's OnDragOver accepts; returns whether it did.
bool DragAndDrop(TControl* source, int sx, int sy, TControl* target, int tx, int ty);
// Right-click, then the control's context menu opens (if it has one); returns whether it opened.
bool ContextPopup(TControl* c, int x, int y);
// Point in the middle of a node's row, scrolling the node into view first; false when the node is
// under a collapsed parent.
bool PointOfNode(TTreeView* tree, TTreeNode* node, int& x, int& y);
// A point in the empty space below the last row (may lie past the control when the rows fill it).
void PointBelowRows(TTreeView* tree, int& x, int& y);
