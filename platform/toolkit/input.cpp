#include "input.hpp"

#include "form.hpp"
#include "menu.hpp"
#include "tree_view.hpp"

namespace {

TShiftState withButton(TShiftState shift, TMouseButton button) {
    shift |= button == TMouseButton::mbLeft ? TShiftState::Left : button == TMouseButton::mbRight ? TShiftState::Right : TShiftState::Middle;
    return shift;
}

}  // namespace

void MouseDown(TControl* c, TMouseButton button, int x, int y, TShiftState shift) {
    if (!c->Enabled) return;
    if (c->IsWindowed() && c->CanFocus())
        if (TForm* f = c->GetParentForm(); f && f != c) f->FocusControl(c);
    if (auto tree = dynamic_cast<TTreeView*>(c)) {
        TTreeNode* node = tree->GetNodeAt(x, y);
        if (node && (button == TMouseButton::mbLeft || tree->RightClickSelect)) tree->Select(node);
    }
    if (c->OnMouseDown) c->OnMouseDown(c, button, withButton(shift, button), x, y);
}

void MouseUp(TControl* c, TMouseButton button, int x, int y, TShiftState shift) {
    if (!c->Enabled) return;
    if (c->OnMouseUp) c->OnMouseUp(c, button, withButton(shift, button), x, y);
    if (button == TMouseButton::mbLeft && c->OnClick) c->OnClick(c);
}

void MousePress(TControl* c, TMouseButton button, int x, int y, TShiftState shift) {
    MouseDown(c, button, x, y, shift);
    MouseUp(c, button, x, y, shift);
}

void DoubleClickEvent(TControl* c, int x, int y) {
    if (!c->Enabled) return;
    if (c->OnDblClick) c->OnDblClick(c);
    if (auto tree = dynamic_cast<TTreeView*>(c)) {
        if (TTreeNode* node = tree->GetNodeAt(x, y)) node->Expanded() ? node->Collapse() : node->Expand();
    }
}

void DoubleClick(TControl* c, int x, int y) {
    if (!c->Enabled) return;
    MousePress(c, TMouseButton::mbLeft, x, y);
    DoubleClickEvent(c, x, y);
}

bool DragOver(TControl* target, TControl* source, int x, int y, TDragState state) {
    bool accept = false;
    if (target->OnDragOver) target->OnDragOver(target, source, x, y, state, accept);
    return accept;
}

bool Drop(TControl* target, TControl* source, int x, int y) {
    if (!DragOver(target, source, x, y, TDragState::dsDragMove)) return false;
    if (target->OnDragDrop) target->OnDragDrop(target, source, x, y);
    return true;
}

bool DragAndDrop(TControl* source, int sx, int sy, TControl* target, int tx, int ty) {
    if (!source->Enabled) return false;
    // The press that starts the drag selects what is dragged, as any press does; it is not a click.
    MouseDown(source, TMouseButton::mbLeft, sx, sy);
    DragOver(target, source, tx, ty, TDragState::dsDragEnter);
    return Drop(target, source, tx, ty);
}

bool ContextPopup(TControl* c, int x, int y) {
    MousePress(c, TMouseButton::mbRight, x, y);
    if (!c->PopupMenu) return false;
    c->PopupMenu->Popup(c);
    return true;
}

bool PointOfNode(TTreeView* tree, TTreeNode* node, int& x, int& y) {
    if (!node->IsVisible()) return false;
    tree->MakeVisible(node);
    int row = tree->RowOf(node);
    if (row < 0) return false;
    x = tree->Indent * (node->Level() + 1) + 4;
    y = row * TTreeView::RowHeight + TTreeView::RowHeight / 2;
    return true;
}

void PointBelowRows(TTreeView* tree, int& x, int& y) {
    int rows = static_cast<int>(tree->VisibleNodes().size()) - tree->TopRow();
    x = 4;
    y = rows * TTreeView::RowHeight + TTreeView::RowHeight / 2;
}
