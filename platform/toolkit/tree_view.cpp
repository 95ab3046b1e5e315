#include "tree_view.hpp"

#include <algorithm>
#include <stdexcept>

#include "core/text_order.hpp"

// ---- TTreeNode -------------------------------------------------------------------------------

TTreeView* TTreeNode::TreeView() const { return owner_->Owner(); }

int TTreeNode::Level() const {
    int level = 0;
    for (auto p = parent_; p; p = p->parent_) ++level;
    return level;
}

std::vector<std::unique_ptr<TTreeNode>>& TTreeNode::siblings() const { return owner_->listOf(parent_); }

int TTreeNode::Index() const {
    auto& list = siblings();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this) return static_cast<int>(i);
    return -1;
}

TTreeNode* TTreeNode::getNextSibling() const {
    auto& list = siblings();
    size_t i = static_cast<size_t>(Index()) + 1;
    return i < list.size() ? list[i].get() : nullptr;
}

TTreeNode* TTreeNode::getPrevSibling() const {
    int i = Index();
    return i > 0 ? siblings()[static_cast<size_t>(i - 1)].get() : nullptr;
}

int TTreeNode::AbsoluteIndex() const {
    owner_->flatten();
    return absIndex_;
}

bool TTreeNode::HasAsParent(const TTreeNode* ancestor) const {
    if (!ancestor) return false;
    for (auto p = parent_; p; p = p->parent_)
        if (p == ancestor) return true;
    return false;
}

bool TTreeNode::IsVisible() const {
    for (auto p = parent_; p; p = p->parent_)
        if (!p->expanded_) return false;
    return true;
}

bool TTreeNode::Selected() const { return TreeView()->Selected() == this; }

void TTreeNode::Expand(bool recurse) {
    if (!children_.empty() && !expanded_ && TreeView()->fireExpanding(this, true)) expanded_ = true;
    if (recurse)
        for (size_t i = 0; i < children_.size(); ++i) children_[i]->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
    if (recurse)
        for (size_t i = 0; i < children_.size(); ++i) children_[i]->Collapse(true);
    if (expanded_ && TreeView()->fireExpanding(this, false)) {
        expanded_ = false;
        // A selection hidden by the collapse moves up to the collapsed node, as users expect.
        TTreeView* tv = TreeView();
        if (tv->selected_ && tv->selected_->HasAsParent(this)) {
            tv->selected_ = this;
            if (tv->OnChange) tv->OnChange(tv, this);
        }
    }
}

void TTreeNode::MoveTo(TTreeNode* dest, TNodeAttachMode mode) {
    if (!dest) throw std::invalid_argument("Nó de destino inválido");
    bool asChild = mode == TNodeAttachMode::naAddChild || mode == TNodeAttachMode::naAddChildFirst;
    if (dest == this) {
        if (asChild) throw std::logic_error("Um nó não pode ser movido para dentro de si mesmo");
        return;
    }
    if (dest->HasAsParent(this)) throw std::logic_error("Um nó não pode ser movido para dentro de si mesmo");

    auto& from = siblings();
    auto it = std::find_if(from.begin(), from.end(), [this](auto& p) { return p.get() == this; });
    std::unique_ptr<TTreeNode> self = std::move(*it);
    from.erase(it);
    TTreeNode* oldParent = parent_;
    if (oldParent && oldParent->children_.empty()) oldParent->expanded_ = false;

    TTreeNode* newParent = asChild ? dest : dest->parent_;
    auto& to = owner_->listOf(newParent);
    size_t pos = to.size();
    switch (mode) {
        case TNodeAttachMode::naInsert: pos = static_cast<size_t>(dest->Index()); break;
        case TNodeAttachMode::naAddFirst:
        case TNodeAttachMode::naAddChildFirst: pos = 0; break;
        default: break;
    }
    parent_ = newParent;
    to.insert(to.begin() + static_cast<long>(pos), std::move(self));
    owner_->changed();
}

void TTreeNode::Delete() {
    TTreeView* tv = TreeView();
    TTreeNode* parent = parent_;
    // A selected node inside the subtree hands the selection on: next sibling, previous, parent.
    TTreeNode* heir = nullptr;
    bool selectionGoes = tv->selected_ == this || (tv->selected_ && tv->selected_->HasAsParent(this));
    if (selectionGoes) {
        heir = getNextSibling();
        if (!heir) heir = getPrevSibling();
        if (!heir) heir = parent;
        tv->selected_ = nullptr;
    }
    auto& list = siblings();
    auto it = std::find_if(list.begin(), list.end(), [this](auto& p) { return p.get() == this; });
    std::unique_ptr<TTreeNode> doomed = std::move(*it);
    list.erase(it);
    if (parent && parent->children_.empty()) parent->expanded_ = false;
    owner_->changed();
    doomed.reset();
    if (selectionGoes && !tv->clearing_) tv->Select(heir);
}

// ---- TTreeNodes ------------------------------------------------------------------------------

TTreeNodes::~TTreeNodes() = default;

void TTreeNodes::flatten() const {
    if (!dirty_) return;
    flat_.clear();
    std::vector<TTreeNode*> stack;
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        n->absIndex_ = static_cast<int>(flat_.size());
        flat_.push_back(n);
        for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) stack.push_back(it->get());
    }
    dirty_ = false;
}

int TTreeNodes::Count() const {
    flatten();
    return static_cast<int>(flat_.size());
}

TTreeNode* TTreeNodes::Item(int index) const {
    flatten();
    if (index < 0 || static_cast<size_t>(index) >= flat_.size()) throw std::out_of_range("Índice de nó fora dos limites");
    return flat_[static_cast<size_t>(index)];
}

TTreeNode* TTreeNodes::insertAt(TTreeNode* parent, size_t pos, std::string text) {
    auto& list = listOf(parent);
    auto node = std::make_unique<TTreeNode>(this, parent, std::move(text));
    if (tree_->SortType() == TSortType::stText) {
        auto it = std::upper_bound(list.begin(), list.end(), node->Text,
                                   [](const std::string& t, auto& n) { return CompareTextOrder(t, n->Text) < 0; });
        pos = static_cast<size_t>(it - list.begin());
    }
    TTreeNode* raw = node.get();
    list.insert(list.begin() + static_cast<long>(std::min(pos, list.size())), std::move(node));
    changed();
    return raw;
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, std::string text) {
    TTreeNode* parent = sibling ? sibling->parent_ : nullptr;
    return insertAt(parent, listOf(parent).size(), std::move(text));
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* sibling, std::string text) {
    return insertAt(sibling ? sibling->parent_ : nullptr, 0, std::move(text));
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, std::string text) {
    return insertAt(parent, listOf(parent).size(), std::move(text));
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, std::string text) { return insertAt(parent, 0, std::move(text)); }

TTreeNode* TTreeNodes::Insert(TTreeNode* sibling, std::string text) {
    if (!sibling) return Add(nullptr, std::move(text));
    return insertAt(sibling->parent_, static_cast<size_t>(sibling->Index()), std::move(text));
}

void TTreeNodes::Clear() {
    tree_->selected_ = nullptr;
    tree_->topRow_ = 0;
    roots_.clear();
    changed();
}

// ---- TTreeView -------------------------------------------------------------------------------

TTreeView::TTreeView(TComponent* owner) : TControl(owner), items_(this) { Color = "clWindow"; }

TTreeView::~TTreeView() {
    clearing_ = true;
    OnChange = nullptr;
}

bool TTreeView::fireExpanding(TTreeNode* n, bool expanding) {
    bool allow = true;
    auto& handler = expanding ? OnExpanding : OnCollapsing;
    if (handler) handler(this, n, allow);
    return allow;
}

void TTreeView::Select(TTreeNode* node) {
    if (node == selected_) return;
    TTreeNode* prev = selected_;
    selected_ = node;
    if (OnChange) OnChange(this, node);
    if (AutoExpand) {
        // The previous selection closes, and so do its parents, up to the first one that also
        // holds the new selection: one branch stays open at a time.
        for (TTreeNode* p = prev; p && selected_ == node; p = p->Parent()) {
            if (node && (node == p || node->HasAsParent(p))) break;
            p->Collapse(false);
        }
        if (node && selected_ == node) node->Expand(false);
    }
}

void TTreeView::sortList(std::vector<std::unique_ptr<TTreeNode>>& list, bool recurse) {
    std::stable_sort(list.begin(), list.end(), [](auto& a, auto& b) { return CompareTextOrder(a->Text, b->Text) < 0; });
    if (recurse)
        for (auto& n : list) sortList(n->children_, true);
}

void TTreeView::AlphaSort() {
    sortList(items_.roots_, true);
    items_.changed();
}

void TTreeView::SetSortType(TSortType t) {
    bool resort = t == TSortType::stText && sortType_ != TSortType::stText;
    sortType_ = t;
    if (resort) AlphaSort();
}

void TTreeView::FullCollapse() {
    for (int i = 0; i < items_.TopCount(); ++i) items_.Top(i)->Collapse(true);
}

void TTreeView::ForgetSelection() {
    selected_ = nullptr;
    topRow_ = 0;
    items_.changed();
}

void TTreeView::FullExpand() {
    for (int i = 0; i < items_.TopCount(); ++i) items_.Top(i)->Expand(true);
}

std::vector<TTreeNode*> TTreeView::VisibleNodes() const {
    std::vector<TTreeNode*> out;
    std::vector<TTreeNode*> stack;
    for (int i = items_.TopCount() - 1; i >= 0; --i) stack.push_back(items_.Top(i));
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        if (n->expanded_)
            for (int i = n->Count() - 1; i >= 0; --i) stack.push_back(n->Item(i));
    }
    return out;
}

int TTreeView::VisibleRowCount() const { return std::max(1, Height / RowHeight); }

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
    if (x < 0 || y < 0 || (Width > 0 && x >= Width) || (Height > 0 && y >= Height)) return nullptr;
    auto rows = VisibleNodes();
    size_t row = static_cast<size_t>(topRow_ + y / RowHeight);
    return row < rows.size() ? rows[row] : nullptr;
}

int TTreeView::RowOf(const TTreeNode* node) const {
    auto rows = VisibleNodes();
    auto it = std::find(rows.begin(), rows.end(), node);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin()) - topRow_;
}

void TTreeView::SetTopRow(int row) {
    int last = static_cast<int>(VisibleNodes().size()) - 1;
    topRow_ = std::max(0, std::min(row, last));
}

void TTreeView::MakeVisible(TTreeNode* node) {
    std::vector<TTreeNode*> chain;
    for (auto q = node->Parent(); q; q = q->Parent()) chain.push_back(q);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->Expand(false);
    if (!node->IsVisible()) return;  // a handler refused to open a parent
    int row = RowOf(node);
    if (row < 0) {
        topRow_ += row;
    } else if (row >= VisibleRowCount()) {
        topRow_ += row - VisibleRowCount() + 1;
    }
}

void TTreeView::KeyNavigate(Word key) {
    std::vector<TTreeNode*> rows = VisibleNodes();
    if (rows.empty()) return;
    auto at = std::find(rows.begin(), rows.end(), selected_);
    TTreeNode* next = nullptr;
    switch (key) {
        case VK_UP: next = at == rows.end() ? rows.front() : at == rows.begin() ? *at : *(at - 1); break;
        case VK_DOWN: next = at == rows.end() ? rows.front() : at + 1 == rows.end() ? *at : *(at + 1); break;
        case VK_HOME: next = rows.front(); break;
        case VK_END: next = rows.back(); break;
        case VK_LEFT:
            if (!selected_) return;
            if (selected_->Expanded()) return selected_->Collapse();
            next = selected_->Parent();
            break;
        case VK_RIGHT:
            if (!selected_ || !selected_->HasChildren()) return;
            if (!selected_->Expanded()) return selected_->Expand();
            next = selected_->getFirstChild();
            break;
        default: return;
    }
    if (next) {
        Select(next);
        MakeVisible(next);
    }
}
