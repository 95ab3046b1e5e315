// PivotGridView draws the viewer's grid so that it can be read at any size: the row labels on the
// left, the grand-total columns on the right, the column headers on top and the grand-total line at
// the bottom stay in place while the cells between them scroll. Six table views share one model and
// one selection model (labels, cells and totals, over the body lines and over the total line), so
// what is selected anywhere is one selection, copied as tab-separated text with Ctrl+C.
//
// The column headers are drawn in bands: one per column dimension, each member spanning its columns,
// and one for the measures, where the sorted column shows its arrow; over the row labels the same
// bands name the column dimensions, and the last names the row dimensions. A group line carries a
// +/- box that collapses or expands its group. Every gesture has its keys on the current cell
// (arrows, Home, End and the page keys cross the parts, Shift+F10 or Menu opens the menu, -/+/Space/Left/Right collapse and
// expand, Ctrl+Shift+O sorts, Ctrl+Shift+L/C/P move the current dimension). Gestures go to the
// callbacks; the widget never changes the viewer itself, and reads it again only through Load, which
// sets every view's per-line state anew and puts the current cell back on the same line.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QKeyEvent;
class QTableView;
class TCubeViewer;
class PivotModel;

class PivotGridView : public QWidget {
public:
    explicit PivotGridView(QWidget* parent = nullptr);
    void Load(const TCubeViewer* viewer);

    QTableView* Labels() const { return labels_; }
    QTableView* Cells() const { return cells_; }
    QTableView* Totals() const { return totals_; }
    // The total line's three parts, under the labels, the cells and the totals.
    QTableView* TotalLineLabels() const { return footLabels_; }
    QTableView* TotalLine() const { return footCells_; }
    QTableView* TotalLineTotals() const { return footTotals_; }
    const PivotModel* Model() const { return model_; }
    // What the header draws in a band (0: the outermost column dimension; the last: the measures, or
    // over the labels the row dimensions) of a column, and how the columns are parted: the label
    // columns first, the grand-total columns from TotalStart on.
    QString BandText(int column, int band) const;
    int Bands() const;
    int LabelColumns() const;
    int TotalStart() const;
    // The selected cells as tab-separated lines (decimal comma, no thousands separator); the labels of a
    // line in full, not in outline form.
    QString CopyText() const;

    // The dimension whose header is at `pos` of a header's viewport (a row dimension in the labels'
    // header, a column dimension in its band of the cells' header), or empty.
    std::string DimensionAt(QObject* headerViewport, QPoint pos) const;
    // The dimension the current cell stands for: a label's row dimension, or the innermost column
    // dimension over a cell; empty in the grand-total columns or without a current cell.
    std::string CurrentDimension() const;
    // Where a dimension dropped on `w` at global `at` goes: 'r' rows or 'c' columns with the position
    // among them, or nullopt when `w` is not part of the grid.
    std::optional<std::pair<char, size_t>> DropAt(QWidget* w, QPoint at) const;
    // The header viewports a drag can start from.
    std::vector<QWidget*> HeaderViewports() const;

    // A click on a measure's header: the fact, and the column's labels (nullopt: the grand total).
    std::function<void(const std::string& fact, const std::optional<std::vector<std::string>>& column)> OnSortClicked;
    // A right click on a dimension's header, at a global position.
    std::function<void(const std::string& dimension, QPoint global)> OnDimensionMenu;
    // A click on a group line's +/- box: the row dimension, the member's label, and whether to collapse.
    std::function<void(const std::string& dimension, const std::string& label, bool collapse)> OnToggleGroup;
    // The menu of a value cell asked from the keyboard: its column (as for a sort) and where to show it.
    std::function<void(const std::string& fact, const std::optional<std::vector<std::string>>& column, QPoint global)> OnCellMenu;
    // A dimension sent from the keyboard to the rows ('r'), the columns ('c') or the pages ('p').
    std::function<void(const std::string& dimension, char axis)> OnMoveDimension;

private:
    void layOut();
    // The keys of the grid's parts; true when the key was taken.
    bool keyPressed(QKeyEvent* e);
    void openMenuAtCurrent();
    // The view that shows a cell: its part by column, the body or the total line by line.
    QTableView* partOf(int row, int column) const;
    void moveCurrentTo(int row, int column);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    PivotModel* model_;
    QTableView *labels_, *cells_, *totals_, *footLabels_, *footCells_, *footTotals_;
};
