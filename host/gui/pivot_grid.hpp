// PivotGridView draws the viewer's grid so that it can be read at any size: the row labels on the
// left, the grand-total columns on the right, the column headers on top and the grand-total line at
// the bottom stay in place while the cells between them scroll. Six table views share one model and
// one selection model (labels, cells and totals, over the body lines and over the total line), so
// what is selected anywhere is one selection, copied as tab-separated text with Ctrl+C.
//
// The column headers are drawn in bands: one per column dimension, each member spanning its columns,
// and one for the measures, where the sorted column shows its arrow. A group line carries a +/- box
// that collapses or expands its group. Gestures go to the callbacks; the widget never changes the
// viewer itself, and reads it again only through Load.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
    QTableView* TotalLine() const { return footCells_; }
    const PivotModel* Model() const { return model_; }
    // The selected cells as tab-separated lines (decimal comma, no thousands separator); the labels of a
    // line in full, not in outline form.
    QString CopyText() const;

    // The dimension whose header is at `pos` of a header's viewport (a row dimension in the labels'
    // header, a column dimension in its band of the cells' header), or empty.
    std::string DimensionAt(QObject* headerViewport, QPoint pos) const;
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

private:
    void layOut();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    PivotModel* model_;
    QTableView *labels_, *cells_, *totals_, *footLabels_, *footCells_, *footTotals_;
};
