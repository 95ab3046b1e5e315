// CubeView shows the cube viewer's computed view: a drop-down list for each page selector, the
// member filters in force, the grid as a model/view table (column headers, row labels in outline
// form with their subtotals, grand totals; numbers right-aligned in the Brazilian style), the
// viewer's message when there is no grid, and a button that exports the grid to CSV. The viewer
// form (not owned) is read again whenever its version changes.
#pragma once

#include <QWidget>
#include <functional>

class FrontEnd;
class TfrmCubo;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QHBoxLayout;
class CubeModel;

class CubeView : public QWidget {
public:
    CubeView(FrontEnd& frontEnd, TfrmCubo* viewer, QWidget* parent = nullptr);
    TfrmCubo* Viewer() const { return viewer_; }
    void Detach() { viewer_ = nullptr; }
    void Sync();
    QComboBox* Page(int i) const;
    QTableView* Table() const { return table_; }
    QPushButton* ExportButton() const { return export_; }
    const CubeModel* Model() const { return model_; }

private:
    void rebuildPages();

    FrontEnd& frontEnd_;
    TfrmCubo* viewer_;
    int shown_ = -1;  // the viewer's version on screen
    QWidget* pagesBox_;
    QHBoxLayout* pagesLayout_;
    std::vector<QComboBox*> pages_;
    QLabel* filters_;
    QLabel* message_;
    QTableView* table_;
    CubeModel* model_;
    QPushButton* export_;
};

// A number as the Brazilian reads it: 1.234.567,89 (whole numbers without decimals).
QString BrazilianNumber(double v);
