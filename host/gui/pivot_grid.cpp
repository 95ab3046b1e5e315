#include "pivot_grid.hpp"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <set>

#include "cube/saved_view.hpp"
#include "services/cube.hpp"

namespace {

// Text of a number with fixed decimals and a decimal comma, without thousands separators: what a
// spreadsheet pastes into a numeric cell.
QString plainNumber(double v, int decimals) { return QString::number(v, 'f', decimals).replace('.', ','); }

QPixmap groupBox(bool collapsed) {
    QPixmap p(11, 11);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(QColor(0x70, 0x70, 0x70));
    g.setBrush(Qt::white);
    g.drawRect(0, 0, 10, 10);
    g.setPen(Qt::black);
    g.drawLine(3, 5, 7, 5);
    if (collapsed) g.drawLine(5, 3, 5, 7);
    return p;
}

}  // namespace

// The grid of the viewer as one table: the row label columns (one per row dimension), then one column
// per column key and measure, then the grand-total columns; every line, the grand total last.
class PivotModel : public QAbstractTableModel {
public:
    void Load(const TCubeViewer* v) {
        beginResetModel();
        grid_ = v ? v->Grid : PivotGrid{};
        rows_ = v ? v->Rows : std::vector<std::string>{};
        columns_ = v ? v->Columns : std::vector<std::string>{};
        facts_ = v ? v->Facts : std::vector<std::string>{};
        decimals_.clear();
        for (size_t m = 0; v && m < facts_.size(); ++m) decimals_.push_back(v->Decimals(m));
        percent_ = v && v->Settings().show != ShowAs::Values;
        sort_ = {};
        if (v && v->Settings().sortFact) sort_ = {*v->Settings().sortFact, v->Settings().sortColumn, v->Settings().sortDescending};
        endResetModel();
    }
    int LabelColumns() const { return static_cast<int>(std::max<size_t>(rows_.size(), 1)); }
    int TotalStart() const { return LabelColumns() + static_cast<int>(grid_.columnKeys.size() * facts_.size()); }
    int Measures() const { return static_cast<int>(facts_.size()); }
    int Bands() const { return static_cast<int>(std::max<size_t>(columns_.size(), 1)) + 1; }
    const std::vector<std::string>& RowDimensions() const { return rows_; }
    const std::vector<std::string>& ColumnDimensions() const { return columns_; }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : static_cast<int>(grid_.Lines()); }
    int columnCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid() || grid_.Empty()) return 0;
        return TotalStart() + static_cast<int>(facts_.size());
    }

    // The column key (columnKeys.size() for the grand total) and the measure of a value column.
    std::pair<size_t, size_t> Place(int col) const {
        size_t k = static_cast<size_t>(col - LabelColumns());
        return {k / facts_.size(), k % facts_.size()};
    }
    const std::string& Fact(int col) const { return facts_.at(Place(col).second); }
    std::optional<std::vector<std::string>> ColumnLabels(int col) const {
        size_t key = Place(col).first;
        if (key >= grid_.columnKeys.size()) return std::nullopt;
        return grid_.columnKeys[key];
    }

    // A group line (a subtotal) and, when it is one, whether its group is collapsed: no deeper line follows.
    bool Group(int row, bool* collapsed) const {
        if (grid_.Kind(static_cast<size_t>(row)) != "subtotal") return false;
        *collapsed = !HasLinesBelow(grid_, static_cast<size_t>(row));
        return true;
    }
    const PivotGrid& Grid() const { return grid_; }

    // What a cell holds for a copy: a label in full, a number in plain form.
    QString CopyText(const QModelIndex& index) const {
        const size_t line = static_cast<size_t>(index.row());
        int col = index.column();
        if (col < LabelColumns()) {
            if (grid_.Kind(line) == "total") return col == 0 ? QString("Total") : QString();
            return static_cast<size_t>(col) < grid_.Depth(line) ? QString::fromStdString(grid_.Label(line, static_cast<size_t>(col))) : QString();
        }
        const auto v = valueAt(line, col);
        return v ? plainNumber(*v, decimalsOf(col)) : QString();
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const size_t line = static_cast<size_t>(index.row());
        const std::string_view kind = grid_.Kind(line);
        int col = index.column();
        bool label = col < LabelColumns();
        if (role == Qt::TextAlignmentRole) return label ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::FontRole && kind != "detail") {
            QFont f;
            f.setBold(true);
            return f;
        }
        if (role == Qt::BackgroundRole && kind != "detail") return QColor(kind == "total" ? 0xDB : 0xEE, kind == "total" ? 0xE4 : 0xF2, 0xF8);
        if (role == Qt::ForegroundRole && !label) {
            const auto v = valueAt(line, col);
            if (v && *v < 0) return QColor(0xC0, 0x00, 0x00);  // negatives in red
            return {};
        }
        if (role == Qt::DecorationRole && label) {
            bool collapsed = false;
            if (Group(index.row(), &collapsed) && static_cast<size_t>(col) + 1 == grid_.Depth(line)) {
                static const QPixmap minus = groupBox(false), plus = groupBox(true);
                return collapsed ? plus : minus;
            }
            return {};
        }
        if (role != Qt::DisplayRole) return {};
        if (label) {
            if (kind == "total") return col == 0 ? QString("Total") : QString();
            // Outline: a label shows on the first line of its group only.
            size_t c = static_cast<size_t>(col);
            if (c >= grid_.Depth(line)) return QString();
            if (line > 0 && grid_.Depth(line - 1) > c && grid_.SameMembers(line, line - 1, c + 1)) return QString();
            return QString::fromStdString(grid_.Label(line, c));
        }
        const auto v = valueAt(line, col);
        if (!v) return QString();
        static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        QString text = brazil.toString(*v, 'f', decimalsOf(col));  // each measure with its fixed decimals
        return percent_ ? text + '%' : text;
    }

    // The text of one band of a column's header: a column dimension's member (or "Total"), then the
    // measure. Over the labels: the column dimensions' names, then the row dimension's.
    QString BandText(int col, int band) const {
        if (col < LabelColumns()) {
            if (band < Bands() - 1) return static_cast<size_t>(band) < columns_.size() ? QString::fromStdString(columns_[static_cast<size_t>(band)]) : QString();
            return rows_.empty() ? QString() : QString::fromStdString(rows_.at(static_cast<size_t>(col)));
        }
        auto [key, measure] = Place(col);
        if (band < Bands() - 1) {
            if (key >= grid_.columnKeys.size()) return band == 0 ? QString("Total") : QString();
            const auto& labels = grid_.columnKeys[key];
            return static_cast<size_t>(band) < labels.size() ? QString::fromStdString(labels[static_cast<size_t>(band)]) : QString();
        }
        QString text = QString::fromStdString(facts_.at(measure));
        if (sort_ && sort_->fact == facts_[measure] && sort_->column == ColumnLabels(col)) text += sort_->descending ? " \u25BC" : " \u25B2";
        return text;
    }
    // Columns whose headers span together in a band: the same members down to that band.
    bool SameGroup(int a, int b, int band) const {
        if (a < LabelColumns() || b < LabelColumns()) return false;
        size_t ka = Place(a).first, kb = Place(b).first;
        size_t keys = grid_.columnKeys.size();
        if (ka >= keys || kb >= keys) return ka >= keys && kb >= keys;
        for (int d = 0; d <= band; ++d)
            if (grid_.columnKeys[ka].at(static_cast<size_t>(d)) != grid_.columnKeys[kb].at(static_cast<size_t>(d))) return false;
        return true;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole || o != Qt::Horizontal) return {};
        return BandText(section, Bands() - 1);  // sizes the column
    }
    // The dimension named by a band of a column's header: a column dimension in the upper bands
    // (over the labels too), a row dimension in the last band over the labels; empty elsewhere.
    std::string BandDimension(int col, int band) const {
        if (band < Bands() - 1) {
            if (col >= TotalStart() && col >= LabelColumns()) return "";
            return static_cast<size_t>(band) < columns_.size() ? columns_[static_cast<size_t>(band)] : "";
        }
        return col < LabelColumns() && static_cast<size_t>(col) < rows_.size() ? rows_[static_cast<size_t>(col)] : "";
    }

private:
    std::optional<double> valueAt(size_t line, int col) const {
        auto [key, measure] = Place(col);
        return grid_.Value(line, key, measure);
    }
    int decimalsOf(int col) const {
        size_t measure = Place(col).second;
        return measure < decimals_.size() ? decimals_[measure] : 2;
    }

    struct Sort {
        std::string fact;
        std::optional<std::vector<std::string>> column;
        bool descending;
    };
    PivotGrid grid_;
    std::vector<std::string> rows_, columns_, facts_;
    std::vector<int> decimals_;  // per measure
    bool percent_ = false;       // the cells show percentages, not sums
    std::optional<Sort> sort_;
};

namespace {

// A header drawn in bands, each member spanning the columns of its group.
class BandHeader : public QHeaderView {
public:
    BandHeader(PivotModel& model, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), model_(model) {
        setSectionsClickable(true);
        setHighlightSections(false);
        setDefaultAlignment(Qt::AlignCenter);
    }
    std::function<void(int section, int band, QPoint global)> OnMenu;
    std::function<void(int section, Qt::KeyboardModifiers)> OnClick;

    QSize sizeHint() const override {
        QSize s = QHeaderView::sizeHint();
        s.setHeight(model_.Bands() * (fontMetrics().height() + 8));
        return s;
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logical) const override {
        if (!rect.isValid()) return;
        const int bands = model_.Bands();
        const bool label = logical < model_.LabelColumns();
        for (int b = 0; b < bands; ++b) {
            QRect band(rect.left(), rect.top() + b * rect.height() / bands, rect.width(), (b + 1) * rect.height() / bands - b * rect.height() / bands);
            if (b < bands - 1 && label) {  // a column dimension's name over every label column
                band.setLeft(sectionViewportPosition(0));
                band.setRight(sectionViewportPosition(model_.LabelColumns() - 1) + sectionSize(model_.LabelColumns() - 1) - 1);
            } else if (b < bands - 1) {
                int first = logical, last = logical;
                while (first > 0 && !isSectionHidden(first - 1) && model_.SameGroup(first - 1, logical, b)) --first;
                while (last + 1 < count() && !isSectionHidden(last + 1) && model_.SameGroup(last + 1, logical, b)) ++last;
                band.setLeft(sectionViewportPosition(first));
                band.setRight(sectionViewportPosition(last) + sectionSize(last) - 1);
            }
            drawCell(painter, band, model_.BandText(logical, b));
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        modifiers_ = e->modifiers();
        QHeaderView::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        int section = logicalIndexAt(e->position().toPoint());
        QHeaderView::mouseReleaseEvent(e);
        bool dragged = viewport()->property("qelArrastou").toBool();  // the viewer moved a dimension instead
        viewport()->setProperty("qelArrastou", false);
        if (e->button() == Qt::LeftButton && section >= 0 && OnClick && !dragged) OnClick(section, modifiers_);
    }
    void contextMenuEvent(QContextMenuEvent* e) override {
        int section = logicalIndexAt(e->pos());
        if (section < 0 || !OnMenu) return;
        int band = std::clamp(e->pos().y() * model_.Bands() / std::max(height(), 1), 0, model_.Bands() - 1);
        OnMenu(section, band, e->globalPos());
    }

private:
    void drawCell(QPainter* painter, const QRect& r, const QString& text) const {
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        opt.rect = r;
        opt.text = text;
        opt.textAlignment = Qt::AlignCenter;
        opt.position = QStyleOptionHeader::Middle;
        painter->save();
        painter->setClipRect(r.intersected(viewport()->rect()));
        style()->drawControl(QStyle::CE_Header, &opt, painter, this);
        painter->restore();
    }

    PivotModel& model_;
    Qt::KeyboardModifiers modifiers_;
};

// A part of the total line. Under the totals it keeps, on the right, the room the body's vertical
// scroll bar takes above it: both viewports are then as wide, and scroll sideways alike.
class FootView : public QTableView {
public:
    using QTableView::QTableView;
    void SetRightMargin(int margin) { setViewportMargins(0, 0, margin, 0); }
};

}  // namespace

PivotGridView::PivotGridView(QWidget* parent) : QWidget(parent), model_(new PivotModel) {
    model_->setParent(this);
    QItemSelectionModel* shared = nullptr;
    auto make = [&](bool header) {
        QTableView* v = header ? new QTableView(this) : new FootView(this);
        if (header) v->setHorizontalHeader(new BandHeader(*model_, v));
        v->setModel(model_);
        if (!shared) shared = v->selectionModel();
        else v->setSelectionModel(shared);
        v->verticalHeader()->hide();
        v->verticalHeader()->setDefaultSectionSize(20);
        v->horizontalHeader()->setVisible(header);
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // By pixels: a body and its total line scroll sideways by the same value, whatever their columns.
        v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        v->setWordWrap(false);
        v->viewport()->installEventFilter(this);
        v->installEventFilter(this);  // the keys
        return v;
    };
    labels_ = make(true);
    cells_ = make(true);
    totals_ = make(true);
    footLabels_ = make(false);
    footCells_ = make(false);
    footTotals_ = make(false);
    labels_->setObjectName("gradeRotulos");
    cells_->setObjectName("gradeCelulas");
    totals_->setObjectName("gradeTotais");
    footLabels_->setObjectName("gradeRotulosTotal");
    footCells_->setObjectName("gradeLinhaTotal");
    footTotals_->setObjectName("gradeTotaisTotal");
    totals_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The horizontal scroll bars stand under the total line, one per part: the frozen parts scroll
    // sideways too when they are narrower than their labels.
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QTableView* v : {labels_, cells_, totals_, footLabels_, footCells_, footTotals_}) v->setFrameShape(QFrame::NoFrame);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(labels_, 0, 0);
    grid->addWidget(cells_, 0, 1);
    grid->addWidget(totals_, 0, 2);
    grid->addWidget(footLabels_, 1, 0);
    grid->addWidget(footCells_, 1, 1);
    grid->addWidget(footTotals_, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(0, 1);

    // One vertical position for the body, one horizontal position per part for its body and its total
    // line. Each bar follows the other's moves, and takes the other's value again when its own range
    // changes: ranges are updated one view after the other, and a value clamped by a range not yet
    // updated would otherwise stay apart. A hidden part (the cells without a column dimension) leads
    // nothing: its range is stale.
    auto link = [](QTableView* a, QTableView* b, Qt::Orientation o) {
        auto bar = [o](QTableView* v) { return o == Qt::Vertical ? v->verticalScrollBar() : v->horizontalScrollBar(); };
        for (auto [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
            QObject::connect(bar(from), &QScrollBar::valueChanged, to, [from, to, bar](int v) {
                if (!from->isHidden()) bar(to)->setValue(v);
            });
            QObject::connect(bar(from), &QScrollBar::rangeChanged, from, [from, to, bar] {
                if (!to->isHidden()) bar(from)->setValue(bar(to)->value());
            });
        }
    };
    link(totals_, labels_, Qt::Vertical);
    link(totals_, cells_, Qt::Vertical);
    for (auto [body, foot] : {std::pair{labels_, footLabels_}, std::pair{cells_, footCells_}, std::pair{totals_, footTotals_}})
        link(body, foot, Qt::Horizontal);
    // The total line's views always show their last line, whatever their size turns out to be.
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) {
        v->setAutoScroll(false);  // the current cell, shared with the body, must not scroll them away
        connect(v->verticalScrollBar(), &QScrollBar::rangeChanged, v, [v](int, int max) { v->verticalScrollBar()->setValue(max); });
        connect(v->verticalScrollBar(), &QScrollBar::valueChanged, v, [v](int value) {
            if (value != v->verticalScrollBar()->maximum()) v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
        });
    }

    for (QTableView* v : {labels_, cells_, totals_}) {
        auto* header = static_cast<BandHeader*>(v->horizontalHeader());
        header->OnClick = [this, v](int section, Qt::KeyboardModifiers modifiers) {
            if (section < model_->LabelColumns() || model_->rowCount() == 0) return;
            if (modifiers & Qt::ControlModifier) {  // Ctrl+click selects the column instead of sorting
                v->selectionModel()->select(QItemSelection(model_->index(0, section), model_->index(model_->rowCount() - 1, section)),
                                            QItemSelectionModel::Select | QItemSelectionModel::Columns);
                return;
            }
            if (OnSortClicked) OnSortClicked(model_->Fact(section), model_->ColumnLabels(section));
        };
        header->OnMenu = [this](int section, int band, QPoint global) {
            const std::string dimension = model_->BandDimension(section, band);
            if (OnDimensionMenu && !dimension.empty()) OnDimensionMenu(dimension, global);
        };
    }
    // Clicking a line's label selects the whole line.
    connect(labels_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        labels_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    });
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, [this] { QApplication::clipboard()->setText(CopyText()); });
}

void PivotGridView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

bool PivotGridView::eventFilter(QObject* watched, QEvent* event) {
    const bool part = watched == labels_ || watched == cells_ || watched == totals_ || watched == footLabels_ || watched == footCells_ ||
                      watched == footTotals_;
    if (part && event->type() == QEvent::KeyPress) return keyPressed(static_cast<QKeyEvent*>(event));
    if (part && event->type() == QEvent::ContextMenu && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        openMenuAtCurrent();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress && watched == labels_->viewport()) {
        auto* e = static_cast<QMouseEvent*>(event);
        QModelIndex index = labels_->indexAt(e->position().toPoint());
        bool collapsed = false;
        if (index.isValid() && model_->Group(index.row(), &collapsed) &&
            static_cast<size_t>(index.column()) + 1 == model_->Grid().Depth(static_cast<size_t>(index.row())) &&
            e->position().x() - labels_->visualRect(index).left() < 20 && OnToggleGroup) {
            const size_t line = static_cast<size_t>(index.row());
            const size_t level = model_->Grid().Depth(line) - 1;
            OnToggleGroup(model_->RowDimensions().at(level), model_->Grid().Label(line, level), !collapsed);
            return true;
        }
    }
    // The total line never scrolls away from itself.
    if (event->type() == QEvent::Wheel && (watched == footLabels_->viewport() || watched == footTotals_->viewport())) return true;
    return QWidget::eventFilter(watched, event);
}

void PivotGridView::Load(const TCubeViewer* viewer) {
    // Where the current cell was: its line by its members, so that it comes back on the same line
    // (or the group standing for it) after a collapse, a sort or a pivot.
    const QModelIndex was = labels_->selectionModel()->currentIndex();
    const bool focused = labels_->hasFocus() || cells_->hasFocus() || totals_->hasFocus() || footLabels_->hasFocus() ||
                         footCells_->hasFocus() || footTotals_->hasFocus();
    std::vector<std::string> wasLabels;
    bool wasTotal = false;
    if (was.isValid()) {
        wasLabels = model_->Grid().Labels(static_cast<size_t>(was.row()));
        wasTotal = model_->Grid().Kind(static_cast<size_t>(was.row())) == "total";
    }

    model_->Load(viewer);
    const int columns = model_->columnCount(), lines = model_->rowCount();
    const int labelEnd = model_->LabelColumns(), totalStart = model_->TotalStart();
    auto part = [&](QTableView* v, int from, int to) {
        for (int c = 0; c < columns; ++c) v->setColumnHidden(c, c < from || c >= to);
    };
    part(labels_, 0, labelEnd);
    part(footLabels_, 0, labelEnd);
    part(cells_, labelEnd, totalStart);
    part(footCells_, labelEnd, totalStart);
    part(totals_, totalStart, columns);
    part(footTotals_, totalStart, columns);
    // A reset keeps each view's per-line state by position: a line hidden or spanned in the previous
    // layout would hide or cover whatever line now stands there. Every line is set anew: the body
    // hides only the total line, which has its own views.
    for (QTableView* v : {labels_, cells_, totals_, footLabels_, footCells_, footTotals_}) {
        v->clearSpans();
        const bool body = v == labels_ || v == cells_ || v == totals_;
        for (int r = 0; r < lines; ++r) {
            const bool hide = body && r == lines - 1;
            if (v->isRowHidden(r) != hide) v->setRowHidden(r, hide);
        }
    }
    // Widths: the widest of the body, the total line and the header, the same in every view.
    for (QTableView* v : {labels_, cells_, totals_, footLabels_, footCells_, footTotals_}) v->resizeColumnsToContents();
    auto* header = labels_->horizontalHeader();
    for (int c = 0; c < columns; ++c) {
        QTableView* body = c < labelEnd ? labels_ : c < totalStart ? cells_ : totals_;
        QTableView* foot = c < labelEnd ? footLabels_ : c < totalStart ? footCells_ : footTotals_;
        int width = std::max({body->columnWidth(c), foot->columnWidth(c), header->sectionSizeHint(c)});
        // A member's name spans its measures' columns, a column dimension's name the label columns:
        // together they are at least as wide as it.
        const int sharing = c < labelEnd ? labelEnd : std::max(model_->Measures(), 1);
        for (int b = 0; b + 1 < model_->Bands(); ++b)
            width = std::max(width, (header->fontMetrics().horizontalAdvance(model_->BandText(c, b)) + 16 + sharing - 1) / sharing);
        body->setColumnWidth(c, width);
        foot->setColumnWidth(c, width);
    }
    layOut();
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());

    if (was.isValid() && lines > 0) {
        // The same line, else the deepest line whose members start its own (its group, collapsed).
        int row = -1;
        size_t best = 0;
        for (int r = 0; r < lines && !(row >= 0 && best == wasLabels.size() + 1); ++r) {
            const bool total = model_->Grid().Kind(static_cast<size_t>(r)) == "total";
            if (total || wasTotal) {
                if (total && wasTotal) row = r, best = wasLabels.size() + 1;
                continue;
            }
            const std::vector<std::string> labels = model_->Grid().Labels(static_cast<size_t>(r));
            if (labels.size() > wasLabels.size() || !std::equal(labels.begin(), labels.end(), wasLabels.begin())) continue;
            const size_t score = labels.size() == wasLabels.size() ? labels.size() + 1 : labels.size();
            if (row < 0 || score > best) row = r, best = score;
        }
        if (row < 0) row = 0;
        const int column = std::min(was.column(), columns - 1);
        const QModelIndex index = model_->index(row, column);
        labels_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        QTableView* v = partOf(row, column);
        if (focused) v->setFocus();
        v->scrollTo(index);
    }
}

void PivotGridView::layOut() {
    const int columns = model_->columnCount();
    int labelsWidth = 0, totalsWidth = 0;
    for (int c = 0; c < model_->LabelColumns() && c < columns; ++c) labelsWidth += labels_->columnWidth(c);
    for (int c = model_->TotalStart(); c < columns; ++c) totalsWidth += totals_->columnWidth(c);
    // The frozen parts take what they need, but never so much that the cells between them vanish.
    const int bar = totals_->verticalScrollBar()->sizeHint().width();
    const bool cellsPart = model_->TotalStart() > model_->LabelColumns();
    labelsWidth = std::min(labelsWidth + 2, cellsPart ? width() * 2 / 5 : width() / 2);
    totalsWidth = cellsPart ? std::min(totalsWidth + bar + 2, width() / 3) : totalsWidth + bar + 2;
    labels_->setFixedWidth(labelsWidth);
    footLabels_->setFixedWidth(labelsWidth);
    totals_->setFixedWidth(totalsWidth);
    footTotals_->setFixedWidth(totalsWidth);
    static_cast<FootView*>(footTotals_)->SetRightMargin(bar);
    const int header = labels_->horizontalHeader()->sizeHint().height();
    for (QTableView* v : {labels_, cells_, totals_}) v->horizontalHeader()->setFixedHeight(header);
    // The total line's views show one line, with room for their scroll bars below it.
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) v->setFixedHeight(20 + v->horizontalScrollBar()->sizeHint().height());
    // The cells' part disappears when there is no column dimension: only the grand total stands.
    cells_->setVisible(cellsPart);
    // Without a column dimension the totals stand right beside the labels; the room left is after them.
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->setColumnStretch(1, cellsPart ? 1 : 0);
    grid->setColumnStretch(3, cellsPart ? 0 : 1);
    footCells_->setVisible(cellsPart);
}

QString PivotGridView::BandText(int column, int band) const { return model_->BandText(column, band); }
int PivotGridView::Bands() const { return model_->Bands(); }
int PivotGridView::LabelColumns() const { return model_->LabelColumns(); }
int PivotGridView::TotalStart() const { return model_->TotalStart(); }

QString PivotGridView::CopyText() const {
    const QModelIndexList selected = labels_->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return {};
    std::set<int> rows, cols;
    std::set<std::pair<int, int>> cells;
    for (const QModelIndex& i : selected) {
        rows.insert(i.row());
        cols.insert(i.column());
        cells.insert({i.row(), i.column()});
    }
    QStringList out;
    for (int r : rows) {
        QStringList fields;
        for (int c : cols) fields << (cells.count({r, c}) ? model_->CopyText(model_->index(r, c)) : QString());
        out << fields.join('\t');
    }
    return out.join('\n') + '\n';
}

std::vector<QWidget*> PivotGridView::HeaderViewports() const {
    return {labels_->horizontalHeader()->viewport(), cells_->horizontalHeader()->viewport()};
}

std::string PivotGridView::DimensionAt(QObject* headerViewport, QPoint pos) const {
    for (QTableView* v : {labels_, cells_}) {
        QHeaderView* h = v->horizontalHeader();
        if (headerViewport != h->viewport()) continue;
        const int section = h->logicalIndexAt(pos.x());
        const int band = pos.y() * model_->Bands() / std::max(h->height(), 1);
        return section >= 0 ? model_->BandDimension(section, band) : "";
    }
    return "";
}

std::string PivotGridView::CurrentDimension() const {
    const QModelIndex current = labels_->selectionModel()->currentIndex();
    if (!current.isValid()) return "";
    if (current.column() < model_->LabelColumns())
        return static_cast<size_t>(current.column()) < model_->RowDimensions().size() ? model_->RowDimensions()[static_cast<size_t>(current.column())] : "";
    if (current.column() < model_->TotalStart() && !model_->ColumnDimensions().empty()) return model_->ColumnDimensions().back();
    return "";
}

QTableView* PivotGridView::partOf(int row, int column) const {
    const bool foot = row == model_->rowCount() - 1;
    if (column < model_->LabelColumns()) return foot ? footLabels_ : labels_;
    if (column < model_->TotalStart()) return foot ? footCells_ : cells_;
    return foot ? footTotals_ : totals_;
}

void PivotGridView::moveCurrentTo(int row, int column) {
    const QModelIndex index = model_->index(row, column);
    if (!index.isValid()) return;
    QTableView* v = partOf(row, column);
    v->setFocus();
    labels_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    v->scrollTo(index);
}

void PivotGridView::openMenuAtCurrent() {
    QModelIndex current = labels_->selectionModel()->currentIndex();
    if (!current.isValid()) current = model_->index(0, 0);
    if (!current.isValid()) return;
    QTableView* v = partOf(current.row(), current.column());
    const QRect cell = v->visualRect(current);
    const QPoint global = cell.isEmpty() ? v->mapToGlobal(QPoint(0, 0)) : v->viewport()->mapToGlobal(cell.bottomLeft());
    if (current.column() < model_->LabelColumns()) {
        const std::string dimension = CurrentDimension();
        if (OnDimensionMenu && !dimension.empty()) OnDimensionMenu(dimension, global);
    } else if (OnCellMenu) {
        OnCellMenu(model_->Fact(current.column()), model_->ColumnLabels(current.column()), global);
    }
}

bool PivotGridView::keyPressed(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const int key = e->key();
    if ((key == Qt::Key_F10 && mods == Qt::ShiftModifier) || key == Qt::Key_Menu) {
        openMenuAtCurrent();
        return true;
    }
    const QModelIndex current = labels_->selectionModel()->currentIndex();
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (key == Qt::Key_O) {  // "ordenar": as a click on the current column's header
            if (current.isValid() && current.column() >= model_->LabelColumns() && OnSortClicked)
                OnSortClicked(model_->Fact(current.column()), model_->ColumnLabels(current.column()));
            return true;
        }
        if (key == Qt::Key_L || key == Qt::Key_C || key == Qt::Key_P) {
            const std::string dimension = CurrentDimension();
            if (!dimension.empty() && OnMoveDimension) OnMoveDimension(dimension, key == Qt::Key_L ? 'r' : key == Qt::Key_C ? 'c' : 'p');
            return true;
        }
        return false;
    }
    if (!current.isValid()) return false;
    const int row = current.row(), column = current.column();
    const size_t line = static_cast<size_t>(row);
    bool collapsed = false;
    const bool group = model_->Group(row, &collapsed);
    const size_t depth = model_->Grid().Depth(line);
    auto toggle = [&](size_t level, bool collapse) {
        if (OnToggleGroup && level < model_->RowDimensions().size())
            OnToggleGroup(model_->RowDimensions()[level], model_->Grid().Label(line, level), collapse);
    };
    const bool onGroupLabel = group && static_cast<size_t>(column) + 1 == depth;
    const bool plain = mods == Qt::NoModifier;
    switch (key) {
        case Qt::Key_Minus:  // the line's group, or the group a detail line belongs to
            if (group && !collapsed) toggle(depth - 1, true);
            else if (!group && model_->Grid().Kind(line) == "detail" && depth >= 2) toggle(depth - 2, true);
            return true;
        case Qt::Key_Plus:
            if (group && collapsed) toggle(depth - 1, false);
            return true;
        case Qt::Key_Space:
            if (!plain || !group) return false;
            toggle(depth - 1, !collapsed);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down: {
            if (!plain) return false;  // Shift extends the selection within a part, as Qt does
            if (key == Qt::Key_Left && onGroupLabel && !collapsed) return toggle(depth - 1, true), true;
            if (key == Qt::Key_Right && onGroupLabel && collapsed) return toggle(depth - 1, false), true;
            // The arrows cross from one part to the next: labels, cells, totals, and the total line.
            const int r = std::clamp(row + (key == Qt::Key_Down) - (key == Qt::Key_Up), 0, model_->rowCount() - 1);
            const int c = std::clamp(column + (key == Qt::Key_Right) - (key == Qt::Key_Left), 0, model_->columnCount() - 1);
            moveCurrentTo(r, c);
            return true;
        }
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            // Across the parts too: Home and End to the line's first and last cells (with Ctrl, the
            // grid's), a page up or down by the body's height.
            if (mods != Qt::NoModifier && mods != Qt::ControlModifier) return false;
            const int last = model_->rowCount() - 1;
            int r = row, c = column;
            if (key == Qt::Key_Home) c = 0, r = mods == Qt::ControlModifier ? 0 : row;
            if (key == Qt::Key_End) c = model_->columnCount() - 1, r = mods == Qt::ControlModifier ? last : row;
            const int page = std::max(1, labels_->viewport()->height() / std::max(1, labels_->verticalHeader()->defaultSectionSize()) - 1);
            if (key == Qt::Key_PageUp) r = std::max(0, row - page);
            if (key == Qt::Key_PageDown) r = std::min(last, row + page);
            moveCurrentTo(r, c);
            return true;
        }
        default:
            return false;
    }
}

std::optional<std::pair<char, size_t>> PivotGridView::DropAt(QWidget* w, QPoint at) const {
    auto within = [&](QWidget* part) { return w && (w == part || part->isAncestorOf(w)); };
    if (within(labels_) || within(footLabels_)) {
        // In an upper band of the header, before that column dimension; elsewhere before the row
        // dimension under the point, or after the last.
        QHeaderView* h = labels_->horizontalHeader();
        const QPoint local = h->mapFromGlobal(at);
        const int band = local.y() * model_->Bands() / std::max(h->height(), 1);
        if (h->rect().contains(local) && band + 1 < model_->Bands())
            return std::pair{'c', std::min(static_cast<size_t>(band), model_->ColumnDimensions().size())};
        int section = h->logicalIndexAt(local.x());
        size_t rows = model_->RowDimensions().size();
        return std::pair{'r', section >= 0 && static_cast<size_t>(section) < rows ? static_cast<size_t>(section) : rows};
    }
    if (within(cells_) || within(totals_) || within(footCells_) || within(footTotals_)) {
        // In the header, before the band's dimension; elsewhere after the last column dimension.
        QHeaderView* h = cells_->isVisible() ? cells_->horizontalHeader() : totals_->horizontalHeader();
        size_t columns = model_->ColumnDimensions().size();
        QPoint local = h->mapFromGlobal(at);
        if (h->rect().contains(local) && cells_->isVisible()) {
            int band = local.y() * model_->Bands() / std::max(h->height(), 1);
            return std::pair{'c', std::min(static_cast<size_t>(band), columns)};
        }
        return std::pair{'c', columns};
    }
    return std::nullopt;
}
