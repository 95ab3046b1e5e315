// TTreeView, its node collection TTreeNodes and TTreeNode.
// Nodes are owned by their parent node (top-level nodes by the collection) through std::unique_ptr;
// every TTreeNode* handed out is non-owning and stays valid until that node is deleted. Index access
// goes in display order with every node counted, expanded or not (pre-order). At most one node is
// selected. Rows have a fixed height; only nodes whose ancestors are all expanded occupy rows, and the
// first shown row is TopRow (scrolling). With SortType stText every level is kept in text order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "component.hpp"

class TTreeView;
class TTreeNodes;
class TImageList;

enum class TNodeAttachMode { naAdd, naAddFirst, naAddChild, naAddChildFirst, naInsert };
enum class TSortType { stNone, stText };

class TTreeNode {
public:
    TTreeNode(TTreeNodes* owner, TTreeNode* parent, std::string text) : Text(std::move(text)), owner_(owner), parent_(parent) {}

    std::string Text;
    int ImageIndex = -1;
    int SelectedIndex = -1;

    TTreeView* TreeView() const;
    TTreeNode* Parent() const { return parent_; }
    int Level() const;
    int Count() const { return static_cast<int>(children_.size()); }
    bool HasChildren() const { return !children_.empty(); }
    TTreeNode* Item(int i) const { return children_.at(static_cast<size_t>(i)).get(); }
    TTreeNode* getFirstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
    TTreeNode* getNextSibling() const;
    TTreeNode* getPrevSibling() const;
    int Index() const;          // position among its siblings
    int AbsoluteIndex() const;  // position in the whole collection, display order
    bool HasAsParent(const TTreeNode* ancestor) const;  // ancestor anywhere above it
    bool IsVisible() const;     // every ancestor expanded

    bool Expanded() const { return expanded_; }
    // Expanding or collapsing raises the tree's OnExpanding / OnCollapsing first; a handler that
    // clears the allow flag stops it. A node without children neither expands nor raises anything.
    void Expand(bool recurse = false);
    void Collapse(bool recurse = false);
    void SetExpanded(bool e) { e ? Expand(false) : Collapse(false); }
    bool Selected() const;

    // naInsert: becomes the sibling just before dest; naAdd: last sibling of dest; naAddChild: last
    // child of dest. Moving a node into its own subtree throws std::logic_error and changes nothing.
    void MoveTo(TTreeNode* dest, TNodeAttachMode mode);
    // Deletes the node with its subtree; the pointer is invalid afterwards.
    void Delete();

private:
    friend class TTreeNodes;
    friend class TTreeView;
    std::vector<std::unique_ptr<TTreeNode>>& siblings() const;
    TTreeNodes* owner_;
    TTreeNode* parent_;
    std::vector<std::unique_ptr<TTreeNode>> children_;
    bool expanded_ = false;
    int absIndex_ = -1;
};

class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* tree) : tree_(tree) {}
    ~TTreeNodes();
    TTreeView* Owner() const { return tree_; }

    int Count() const;
    TTreeNode* Item(int index) const;  // display order, every node counted
    TTreeNode* operator[](int index) const { return Item(index); }
    TTreeNode* GetFirstNode() const { return roots_.empty() ? nullptr : roots_.front().get(); }
    int TopCount() const { return static_cast<int>(roots_.size()); }
    TTreeNode* Top(int i) const { return roots_.at(static_cast<size_t>(i)).get(); }

    TTreeNode* Add(TTreeNode* sibling, std::string text);       // last sibling (top level when null)
    TTreeNode* AddFirst(TTreeNode* sibling, std::string text);  // first sibling
    TTreeNode* AddChild(TTreeNode* parent, std::string text);   // last child (top level when null)
    TTreeNode* AddChildFirst(TTreeNode* parent, std::string text);
    TTreeNode* Insert(TTreeNode* sibling, std::string text);    // just before sibling
    void Delete(TTreeNode* node) { node->Delete(); }
    void Clear();

private:
    friend class TTreeNode;
    friend class TTreeView;
    std::vector<std::unique_ptr<TTreeNode>>& listOf(TTreeNode* parent) { return parent ? parent->children_ : roots_; }
    TTreeNode* insertAt(TTreeNode* parent, size_t pos, std::string text);
    void changed() { dirty_ = true; }
    void flatten() const;

    TTreeView* tree_;
    std::vector<std::unique_ptr<TTreeNode>> roots_;
    mutable std::vector<TTreeNode*> flat_;
    mutable bool dirty_ = true;
};

class TTreeView : public TControl {
public:
    static constexpr int RowHeight = 16;

    explicit TTreeView(TComponent* owner);
    ~TTreeView() override;
    bool IsWindowed() const override { return true; }

    TTreeNodes& Items() { return items_; }
    const TTreeNodes& Items() const { return items_; }

    TTreeNode* Selected() const { return selected_; }
    // Selects the node (or none) and raises OnChange when the selection changes. With AutoExpand the
    // new node expands and the one selected before collapses with its parents, up to the first of them
    // that is an ancestor of the new one.
    void Select(TTreeNode* node);

    bool ReadOnly = false;
    bool ShowLines = true;
    bool ShowRoot = true;
    bool ShowButtons = true;
    bool AutoExpand = false;
    bool RightClickSelect = false;
    bool RowSelect = false;
    bool HideSelection = true;
    int Indent = 19;
    TImageList* Images = nullptr;  // not owned

    TSortType SortType() const { return sortType_; }
    void SetSortType(TSortType t);  // switching to stText sorts at once
    void AlphaSort();               // sorts every level by text

    void FullCollapse();
    void FullExpand();
    // Drops the selection and scrolls to the top without OnChange, as deleting every node does: for
    // a caller that keeps nodes it would otherwise build again unchanged.
    void ForgetSelection();

    // Node whose row contains the point (control coordinates); none below the last row or outside.
    TTreeNode* GetNodeAt(int x, int y) const;
    // Row of a visible node counted from the top of the control (may be outside the view), or -1.
    int RowOf(const TTreeNode* node) const;
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    int VisibleRowCount() const;      // rows that fit in the control's height
    void MakeVisible(TTreeNode* node);  // expands its ancestors and scrolls its row into view
    // A tree's own answer to the arrows, Home and End that its key handler left alone: the selection
    // moves through the visible rows; Left closes a node or goes to its parent, Right opens it.
    void KeyNavigate(Word key);
    std::vector<TTreeNode*> VisibleNodes() const;

    TTVChangedEvent OnChange;
    TTVExpandingEvent OnExpanding, OnCollapsing;

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    bool fireExpanding(TTreeNode* n, bool expanding);
    void sortList(std::vector<std::unique_ptr<TTreeNode>>& list, bool recurse);

    TTreeNodes items_;
    TTreeNode* selected_ = nullptr;
    TSortType sortType_ = TSortType::stNone;
    int topRow_ = 0;
    bool clearing_ = false;
};
