// TreeWidget draws one toolkit tree view (its visible rows, images, expand buttons and selection)
// and turns a person's mouse, keyboard and focus into the toolkit's events: a press is MouseDown,
// a release MouseUp, a move past the drag distance starts a drag whose target the front end finds,
// a right-click opens the control's context menu, keys go to the form's key routing. It holds no
// state of the tree: every paint reads the tree. The tree (not owned) belongs to a form; the front
// end detaches the widget before that form goes.
#pragma once

#include <QPoint>
#include <QWidget>

class FrontEnd;
class QScrollBar;
class TTreeView;
class TTreeNode;

class TreeWidget : public QWidget {
public:
    TreeWidget(FrontEnd& frontEnd, TTreeView* tree, QWidget* parent);
    TTreeView* Tree() const { return tree_; }
    // The form is going: every later event is ignored.
    void Detach() { tree_ = nullptr; }
    // Reads the tree again (rows, scroll bar, focus).
    void Sync();
    // The middle of a node's row, in this widget's coordinates (scrolling it into view), for tests.
    QPoint PointOf(const TTreeNode* node);
    // While a drag is over this tree and it would take the drop: highlighted, with a line where the
    // item would land (before the node under `at`, or after the last row).
    void ShowDropHint(bool on, QPoint at);
    bool DropHintShown() const { return hint_; }
    // Where a node's text begins, in this widget's coordinates.
    int TextLeft(const TTreeNode* node) const;
    int DropLineY() const { return hintY_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    bool event(QEvent* e) override;

private:
    int rowsShown() const;
    // The node whose expand button is at the point, or nullptr.
    TTreeNode* buttonAt(QPoint p) const;
    int contentLeft(const TTreeNode* node) const;
    bool isZone() const;  // one of the four layout zones

    FrontEnd& frontEnd_;
    TTreeView* tree_;
    QScrollBar* bar_;
    bool pressed_ = false, dragging_ = false;
    QPoint pressAt_;
    bool hint_ = false;
    int hintY_ = 0;
};
