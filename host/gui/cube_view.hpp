// CubeView shows the cube viewer's computed view and lets the operator work it: a drop-down list
// for each page selector, the member filters in force, the grid (PivotGridView: frozen labels,
// headers and totals, selection and copy), a chart beside it, the viewer's message when there is no
// grid, and a bar with the subtotals, what the cells show, the chart and the export. Pivoting, order,
// drill and sort come from the headers' gestures and context menus, and from the keyboard: the
// grid's keys, and on a page's list Shift+F10 or Menu for its dimension's menu and Ctrl+Shift+L / C
// to move it. Every gesture goes to the viewer form (not owned), and the view is read again whenever
// the viewer's version changes.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FrontEnd;
class TCubeViewer;
class QComboBox;
class QMenu;
class QLabel;
class QCheckBox;
class QPushButton;
class QTableView;
class QHBoxLayout;
class PivotGridView;
class PivotChartView;

class CubeView : public QWidget {
public:
    CubeView(FrontEnd& frontEnd, TCubeViewer* viewer, QWidget* parent = nullptr);
    TCubeViewer* Viewer() const { return viewer_; }
    void Detach() { viewer_ = nullptr; }
    void Sync();
    QComboBox* Page(int i) const;
    QTableView* Table() const;
    PivotGridView* Grid() const { return grid_; }
    PivotChartView* Chart() const { return chart_; }
    QPushButton* ExportButton() const { return export_; }
    // The context menu of a dimension of the view: move it to another axis (each entry naming it), its
    // member order, and for a row dimension its level collapsed or expanded. The caller owns the menu.
    QMenu* DimensionMenu(const std::string& dimension);
    // The menu of a value cell, opened from the keyboard: sort by its column, and each column
    // dimension's menu. The caller owns the menu.
    QMenu* CellMenu(const std::string& fact, const std::optional<std::vector<std::string>>& column);

private:
    void rebuildPages();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Where a dimension dropped at a global point goes, or false when nowhere.
    bool dropTarget(QPoint at, int& axis, size_t& position) const;
    void act(const std::function<void(TCubeViewer&)>& change);
    // A dimension sent by a key to the rows ('r'), the columns ('c') or the pages ('p').
    void moveByKey(const std::string& dimension, char axis);

    FrontEnd& frontEnd_;
    TCubeViewer* viewer_;
    int shown_ = -1;  // the viewer's version on screen
    QWidget* pagesBox_;
    QHBoxLayout* pagesLayout_;
    std::vector<QComboBox*> pages_;
    QLabel* filters_;
    QLabel* message_;
    PivotGridView* grid_;
    PivotChartView* chart_;
    QCheckBox* subtotals_;
    QComboBox* show_;
    QComboBox* chartKind_;
    QPushButton* export_;
    // A dimension being dragged between the axes: pressed on its header or page caption, then moved.
    struct Drag {
        std::string dimension;
        QPoint start;
        bool moving = false;
    } drag_;
};

// A number as the Brazilian reads it: 1.234.567,89 (whole numbers without decimals).
QString BrazilianNumber(double v);
