#include "pivot_grid.hpp"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QGridLayout>
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
        return brazil.toString(*v, 'f', decimalsOf(col));  // each measure with its fixed decimals
    }

    // The text of one band of a column's header: a column dimension's member (or "Total"), then the measure.
    QString BandText(int col, int band) const {
        if (col < LabelColumns()) return rows_.empty() ? QString() : QString::fromStdString(rows_.at(static_cast<size_t>(col)));
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
        if (logical < model_.LabelColumns()) return drawCell(painter, rect, model_.BandText(logical, 0));
        const int bands = model_.Bands();
        for (int b = 0; b < bands; ++b) {
            QRect band(rect.left(), rect.top() + b * rect.height() / bands, rect.width(), (b + 1) * rect.height() / bands - b * rect.height() / bands);
            if (b < bands - 1) {
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

}  // namespace

PivotGridView::PivotGridView(QWidget* parent) : QWidget(parent), model_(new PivotModel) {
    model_->setParent(this);
    QItemSelectionModel* shared = nullptr;
    auto make = [&](bool header) {
        auto* v = new QTableView(this);
        if (header) v->setHorizontalHeader(new BandHeader(*model_, v));
        v->setModel(model_);
        if (!shared) shared = v->selectionModel();
        else v->setSelectionModel(shared);
        v->verticalHeader()->hide();
        v->verticalHeader()->setDefaultSectionSize(20);
        v->horizontalHeader()->setVisible(header);
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        v->setWordWrap(false);
        v->viewport()->installEventFilter(this);
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
    footCells_->setObjectName("gradeLinhaTotal");
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

    // One vertical position for the body, one horizontal position for the cells.
    auto follow = [](QScrollBar* from, std::initializer_list<QScrollBar*> to) {
        QObject::connect(from, &QScrollBar::valueChanged, from, [to = std::vector<QScrollBar*>(to)](int v) {
            for (QScrollBar* t : to) t->setValue(v);
        });
    };
    follow(totals_->verticalScrollBar(), {labels_->verticalScrollBar(), cells_->verticalScrollBar()});
    follow(cells_->verticalScrollBar(), {totals_->verticalScrollBar()});
    follow(labels_->verticalScrollBar(), {totals_->verticalScrollBar()});
    // The total line's views always show their last line, whatever their size turns out to be.
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) {
        v->setAutoScroll(false);  // the current cell, shared with the body, must not scroll them away
        connect(v->verticalScrollBar(), &QScrollBar::rangeChanged, v, [v](int, int max) { v->verticalScrollBar()->setValue(max); });
        connect(v->verticalScrollBar(), &QScrollBar::valueChanged, v, [v](int value) {
            if (value != v->verticalScrollBar()->maximum()) v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
        });
    }
    for (auto [body, foot] : {std::pair{labels_, footLabels_}, std::pair{cells_, footCells_}, std::pair{totals_, footTotals_}}) {
        follow(foot->horizontalScrollBar(), {body->horizontalScrollBar()});
        follow(body->horizontalScrollBar(), {foot->horizontalScrollBar()});
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
            if (!OnDimensionMenu) return;
            if (section < model_->LabelColumns()) {
                if (static_cast<size_t>(section) < model_->RowDimensions().size()) OnDimensionMenu(model_->RowDimensions()[static_cast<size_t>(section)], global);
            } else if (section < model_->TotalStart() && static_cast<size_t>(band) < model_->ColumnDimensions().size()) {
                OnDimensionMenu(model_->ColumnDimensions()[static_cast<size_t>(band)], global);
            }
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
    for (QTableView* v : {labels_, cells_, totals_})
        if (lines > 0) v->setRowHidden(lines - 1, true);  // the total line has its own views
    // Widths: the widest of the body, the total line and the header, the same in every view.
    for (QTableView* v : {labels_, cells_, totals_, footLabels_, footCells_, footTotals_}) v->resizeColumnsToContents();
    auto* header = labels_->horizontalHeader();
    for (int c = 0; c < columns; ++c) {
        QTableView* body = c < labelEnd ? labels_ : c < totalStart ? cells_ : totals_;
        QTableView* foot = c < labelEnd ? footLabels_ : c < totalStart ? footCells_ : footTotals_;
        int width = std::max({body->columnWidth(c), foot->columnWidth(c), header->sectionSizeHint(c)});
        // A member's name spans its measures' columns: together they are at least as wide as it.
        if (c >= labelEnd)
            for (int b = 0; b + 1 < model_->Bands(); ++b)
                width = std::max(width, (header->fontMetrics().horizontalAdvance(model_->BandText(c, b)) + 16) / std::max(model_->Measures(), 1));
        body->setColumnWidth(c, width);
        foot->setColumnWidth(c, width);
    }
    layOut();
    for (QTableView* v : {footLabels_, footCells_, footTotals_}) v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
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
    if (headerViewport == labels_->horizontalHeader()->viewport()) {
        int section = labels_->horizontalHeader()->logicalIndexAt(pos.x());
        return section >= 0 && static_cast<size_t>(section) < model_->RowDimensions().size() ? model_->RowDimensions()[static_cast<size_t>(section)] : "";
    }
    if (headerViewport == cells_->horizontalHeader()->viewport()) {
        int band = pos.y() * model_->Bands() / std::max(cells_->horizontalHeader()->height(), 1);
        return band >= 0 && static_cast<size_t>(band) < model_->ColumnDimensions().size() ? model_->ColumnDimensions()[static_cast<size_t>(band)] : "";
    }
    return "";
}

std::optional<std::pair<char, size_t>> PivotGridView::DropAt(QWidget* w, QPoint at) const {
    auto within = [&](QWidget* part) { return w && (w == part || part->isAncestorOf(w)); };
    if (within(labels_) || within(footLabels_)) {
        // Before the row dimension under the point, or after the last.
        QHeaderView* h = labels_->horizontalHeader();
        int section = h->logicalIndexAt(h->mapFromGlobal(at).x());
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
