#include "cube_view.hpp"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

#include "cube/viewer.hpp"
#include "front_end.hpp"
#include "toolkit/application.hpp"

QString BrazilianNumber(double v) {
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    bool whole = std::fabs(v - std::round(v)) < 1e-9 && std::fabs(v) < 1e15;
    return brazil.toString(v, 'f', whole ? 0 : 2);
}

// The grid of the viewer as a table: the row label columns (one per row dimension), then one column
// per column key and measure, then the grand-total columns. Only the visible cells are ever drawn.
class CubeModel : public QAbstractTableModel {
public:
    void Load(const TfrmCubo* v) {
        beginResetModel();
        grid_ = v ? v->Grid : PivotGrid{};
        rows_ = v ? v->Rows : std::vector<std::string>{};
        columns_ = v ? v->Columns : std::vector<std::string>{};
        facts_ = v ? v->Facts : std::vector<std::string>{};
        decimals_.clear();
        for (size_t m = 0; v && m < facts_.size(); ++m) decimals_.push_back(v->Decimals(m));
        endResetModel();
    }
    int labelColumns() const { return static_cast<int>(std::max<size_t>(rows_.size(), 1)); }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : static_cast<int>(grid_.lines.size()); }
    int columnCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid() || grid_.lines.empty()) return 0;
        return labelColumns() + static_cast<int>((grid_.columnKeys.size() + 1) * facts_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const PivotLine& line = grid_.lines.at(static_cast<size_t>(index.row()));
        int col = index.column();
        bool label = col < labelColumns();
        if (role == Qt::TextAlignmentRole) return label ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::FontRole && line.kind != "detail") {
            QFont f;
            f.setBold(true);
            return f;
        }
        if (role == Qt::BackgroundRole && line.kind != "detail") return QColor(line.kind == "total" ? 0xDB : 0xEE, line.kind == "total" ? 0xE4 : 0xF2, 0xF8);
        if (role == Qt::ForegroundRole && !label) {
            const auto& v = valueAt(line, col);
            if (v && *v < 0) return QColor(0xC0, 0x00, 0x00);  // negatives in red
            return {};
        }
        if (role != Qt::DisplayRole) return {};
        if (label) {
            if (line.kind == "total") return col == 0 ? QString("Total") : QString();
            // Outline: each line shows the label of its own level; the outer ones stand on the
            // subtotal lines above it.
            if (line.labels.empty() || static_cast<size_t>(col) != line.labels.size() - 1) return QString();
            return QString::fromStdString(line.labels.at(static_cast<size_t>(col)));
        }
        const auto& v = valueAt(line, col);
        if (!v) return QString();
        static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        size_t measure = static_cast<size_t>(col - labelColumns()) % facts_.size();
        // Each measure with its fixed decimals: none when every stored value is whole, else two.
        return brazil.toString(*v, 'f', measure < decimals_.size() ? decimals_[measure] : 2);
    }
    const std::optional<double>& valueAt(const PivotLine& line, int col) const {
        int k = col - labelColumns();
        size_t key = static_cast<size_t>(k) / facts_.size(), measure = static_cast<size_t>(k) % facts_.size();
        return line.values.at(key).at(measure);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole || o != Qt::Horizontal) return {};
        if (section < labelColumns()) return rows_.empty() ? QString() : QString::fromStdString(rows_.at(static_cast<size_t>(section)));
        int k = section - labelColumns();
        size_t key = static_cast<size_t>(k) / facts_.size(), measure = static_cast<size_t>(k) % facts_.size();
        QStringList parts;
        if (key < grid_.columnKeys.size())
            for (auto& l : grid_.columnKeys[key]) parts << QString::fromStdString(l);
        else
            parts << "Total";
        parts << QString::fromStdString(facts_.at(measure));
        return parts.join("\n");
    }

private:
    PivotGrid grid_;
    std::vector<std::string> rows_, columns_, facts_;
    std::vector<int> decimals_;  // per measure
};

CubeView::CubeView(FrontEnd& frontEnd, TfrmCubo* viewer, QWidget* parent)
    : QWidget(parent), frontEnd_(frontEnd), viewer_(viewer), model_(new CubeModel) {
    setObjectName("frmCubo");
    auto* layout = new QVBoxLayout(this);
    pagesBox_ = new QWidget(this);
    pagesLayout_ = new QHBoxLayout(pagesBox_);
    pagesLayout_->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pagesBox_);
    filters_ = new QLabel(this);
    filters_->setWordWrap(true);
    layout->addWidget(filters_);
    message_ = new QLabel(this);
    message_->setAlignment(Qt::AlignCenter);
    layout->addWidget(message_);
    table_ = new QTableView(this);
    table_->setModel(model_);
    model_->setParent(table_);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(table_, 1);
    export_ = new QPushButton("Exportar…", this);
    export_->setObjectName("btnExportar");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(export_);
    layout->addLayout(bottom);
    connect(export_, &QPushButton::clicked, this, [this] {
        QString path = frontEnd_.ChooseExportFile ? frontEnd_.ChooseExportFile() : QString();
        TfrmCubo* v = viewer_;
        if (path.isEmpty() || !v) return;
        const std::string file = path.toStdString();
        frontEnd_.Act([&] {
            if (path.endsWith(".xlsx", Qt::CaseInsensitive)) v->ExportXlsx(file);
            else v->ExportCsv(file);
            Application->MessageDlg("Visão exportada para " + file, TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
        });
    });
    Sync();
}

QComboBox* CubeView::Page(int i) const { return i >= 0 && static_cast<size_t>(i) < pages_.size() ? pages_[static_cast<size_t>(i)] : nullptr; }

void CubeView::rebuildPages() {
    for (QComboBox* c : pages_) c->deleteLater();
    pages_.clear();
    while (QLayoutItem* item = pagesLayout_->takeAt(0)) {
        if (item->widget()) item->widget()->deleteLater();
        delete item;
    }
    for (size_t p = 0; p < viewer_->Pages.size(); ++p) {
        const auto& page = viewer_->Pages[p];
        pagesLayout_->addWidget(new QLabel(QString::fromStdString(page.dimension) + ":", pagesBox_));
        auto* combo = new QComboBox(pagesBox_);
        combo->setObjectName(QString::fromStdString("page_" + page.dimension));
        combo->addItem(TfrmCubo::kAllMembers);
        int current = 0;
        for (size_t m = 0; m < page.members.size(); ++m) {
            combo->addItem(QString::fromStdString(page.members[m].label));
            if (page.current && *page.current == page.members[m].key) current = static_cast<int>(m) + 1;
        }
        combo->setCurrentIndex(current);
        std::string dimension = page.dimension;
        connect(combo, &QComboBox::activated, this, [this, combo, dimension](int index) {
            TfrmCubo* v = viewer_;
            if (!v) return;
            std::optional<std::string> label;
            if (index > 0) label = combo->itemText(index).toStdString();
            frontEnd_.Act([&] { v->ChoosePage(dimension, label); });
        });
        pagesLayout_->addWidget(combo);
        pages_.push_back(combo);
    }
    pagesLayout_->addStretch(1);
    pagesBox_->setVisible(!viewer_->Pages.empty());
}

void CubeView::Sync() {
    if (!viewer_ || viewer_->Version() == shown_) return;
    shown_ = viewer_->Version();
    rebuildPages();
    // Filters by their members' labels: a few on the line, all of them in its tooltip.
    QStringList filters, full;
    for (auto& [dimension, labels] : viewer_->FilterLabels()) {
        QStringList names;
        for (auto& l : labels) names << QString::fromStdString(l);
        QString shown = names.mid(0, 3).join(", ");
        if (names.size() > 3) shown += QString(" e mais %1").arg(names.size() - 3);
        filters << QString::fromStdString(dimension) + ": " + shown;
        full << QString::fromStdString(dimension) + ": " + names.join(", ");
    }
    filters_->setText(filters.isEmpty() ? QString() : "Filtros: " + filters.join("; "));
    filters_->setToolTip(full.join("\n"));
    filters_->setVisible(!filters.isEmpty());
    message_->setText(viewer_->Message ? QString::fromStdString(*viewer_->Message) : QString());
    message_->setVisible(viewer_->Message.has_value());
    model_->Load(viewer_);
    table_->resizeColumnsToContents();
    export_->setEnabled(!viewer_->Grid.lines.empty());
}
