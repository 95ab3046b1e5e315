#include "input.hpp"

#include "form.hpp"
#include "menu.hpp"
#include "tree_view.hpp"

void MousePress(TControl* c, TMouseButton button, int x, int y, TShiftState shift) {
    if (!c->Enabled) return;
    if (c->IsWindowed() && c->CanFocus())
        if (TForm* f = c->GetParentForm(); f && f != c) f->FocusControl(c);
    if (auto tree = dynamic_cast<TTreeView*>(c)) {
        TTreeNode* node = tree->GetNodeAt(x, y);
        if (node && (button == TMouseButton::mbLeft || tree->RightClickSelect)) tree->Select(node);
    }
    shift |= button == TMouseButton::mbLeft ? TShiftState::Left : button == TMouseButton::mbRight ? TShiftState::Right : TShiftState::Middle;
    if (c->OnMouseDown) c->OnMouseDown(c, button, shift, x, y);
    if (c->OnMouseUp) c->OnMouseUp(c, button, shift, x, y);
    if (button == TMouseButton::mbLeft && c->OnClick) c->OnClick(c);
}

void DoubleClick(TControl* c, int x, int y) {
    if (!c->Enabled) return;
    MousePress(c, TMouseButton::mbLeft, x, y);
    if (c->OnDblClick) c->OnDblClick(c);
    if (auto tree = dynamic_cast<TTreeView*>(c)) {
        if (TTreeNode* node = tree->GetNodeAt(x, y)) node->Expanded() ? node->Collapse() : node->Expand();
    }
}

bool DragAndDrop(TControl* source, int sx, int sy, TControl* target, int tx, int ty) {
    if (!source->Enabled) return false;
    // The press that starts the drag selects what is dragged, as any press does; it is not a click.
    if (source->IsWindowed() && source->CanFocus())
        if (TForm* f = source->GetParentForm(); f && f != source) f->FocusControl(source);
    if (auto tree = dynamic_cast<TTreeView*>(source)) {
        if (TTreeNode* node = tree->GetNodeAt(sx, sy)) tree->Select(node);
    }
    if (source->OnMouseDown) source->OnMouseDown(source, TMouseButton::mbLeft, TShiftState::Left, sx, sy);
    bool accept = false;
    if (target->OnDragOver) {
        target->OnDragOver(target, source, tx, ty, TDragState::dsDragEnter, accept);
        accept = false;
        target->OnDragOver(target, source, tx, ty, TDragState::dsDragMove, accept);
    }
    if (accept && target->OnDragDrop) target->OnDragDrop(target, source, tx, ty);
    return accept;
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
