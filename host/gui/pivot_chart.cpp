#include "pivot_chart.hpp"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

PivotChartView::PivotChartView(QWidget* parent) : QChartView(new QChart, parent) {
    setObjectName("grafico");
    setRenderHint(QPainter::Antialiasing);
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->legend()->setShowToolTips(true);  // a name cut short shows whole under the mouse
    QFont small = chart()->legend()->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    chart()->legend()->setFont(small);
    chart()->setLocalizeNumbers(true);
    setMinimumHeight(200);
}

void PivotChartView::Show(const PivotChart& data, const std::string& kind) {
    QChart* c = chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    QStringList categories;
    for (auto& name : data.categories) categories << QString::fromStdString(name);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(categories.size() > 6 ? -45 : 0);
    // A row of legend entries never wraps: past a few series they stand in a column on the right.
    c->legend()->setAlignment(data.series.size() > 3 ? Qt::AlignRight : Qt::AlignBottom);
    
    auto* y = new QValueAxis;
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);
    double low = 0, high = 0;
    auto track = [&](double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    };
    if (kind == "line") {
        for (auto& s : data.series) {
            auto* line = new QLineSeries;
            line->setPointsVisible(true);  // a lone value shows as a point
            line->setName(QString::fromStdString(s.name));
            for (size_t i = 0; i < s.values.size(); ++i)
                if (s.values[i]) {  // a category without a value leaves a gap, not a false zero
                    line->append(static_cast<double>(i), *s.values[i]);
                    track(*s.values[i]);
                }
            c->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(y);
        }
    } else {
        auto* bars = new QBarSeries;
        for (auto& s : data.series) {
            auto* set = new QBarSet(QString::fromStdString(s.name));
            for (auto& v : s.values) {
                *set << v.value_or(0);
                track(v.value_or(0));
            }
            bars->append(set);
        }
        c->addSeries(bars);
        bars->attachAxis(x);
        bars->attachAxis(y);
    }
    y->setRange(low, high > low ? high : low + 1);
    y->applyNiceNumbers();
    y->setLabelFormat("%.0f");
}

int PivotChartView::SeriesCount() const {
    int n = 0;
    for (QAbstractSeries* s : chart()->series())
        n += s->type() == QAbstractSeries::SeriesTypeBar ? static_cast<QBarSeries*>(s)->count() : 1;
    return n;
}

QStringList PivotChartView::Categories() const {
    for (QAbstractAxis* axis : chart()->axes(Qt::Horizontal))
        if (auto* x = qobject_cast<QBarCategoryAxis*>(axis)) return x->categories();
    return {};
}
