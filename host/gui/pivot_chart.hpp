// PivotChartView draws the viewer's chart beside the grid: bars or lines, the grid's lines as
// categories and its columns × measures as series, as the pivot code lays them out (at most twelve
// series and forty categories, the rest as "Outros"). It only draws what it is given.
#pragma once

#include <QChartView>
#include <string>

#include "cube/pivot.hpp"

class PivotChartView : public QChartView {
public:
    explicit PivotChartView(QWidget* parent = nullptr);
    // Redraws as `kind` ("bar" or "line").
    void Show(const PivotChart& data, const std::string& kind);
    // How many series and categories are drawn now.
    int SeriesCount() const;
    QStringList Categories() const;
};
