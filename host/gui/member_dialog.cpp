#include "member_dialog.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "cube/selection.hpp"
#include "data/field_name.hpp"
#include "core/text_order.hpp"

namespace {

constexpr int kRowRole = Qt::UserRole + 1;  // on the mark item: the data set's row

// A cell that sorts as the viewer sorts labels; the mark column sorts the marked rows first.
class MemberItem : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override {
        if (column() == 0) return (checkState() == Qt::Checked) > (other.checkState() == Qt::Checked);
        return CompareNaturalText(text().toStdString(), other.text().toStdString()) < 0;
    }
};

}  // namespace

MemberDialog::MemberDialog(const ListDialogRequest& request, QWidget* parent) : QDialog(parent), request_(request) {
    setWindowTitle(QString::fromStdString(request.caption));
    setObjectName("dlgPesquisaLista");
    resize(460, 420);
    for (size_t c = 0; c < request.columns.size(); ++c) {
        if (SameFieldName(request.columns[c], request.keyField)) keyColumn_ = static_cast<int>(c);
        // The data set's mark column is the check box itself.
        if (!SameFieldName(request.columns[c], "IDMARCADO")) shownColumns_.push_back(static_cast<int>(c));
    }
    std::set<std::string> given;
    try {
        for (auto& key : ParseSelection(request.given)) given.insert(key);
    } catch (const ESelectionError&) {
        // A selection this dialog cannot read starts with nothing marked.
    }

    auto* layout = new QVBoxLayout(this);
    search_ = new QLineEdit(this);
    search_->setPlaceholderText("Pesquisar");
    search_->setObjectName("edtPesquisa");
    layout->addWidget(search_);
    table_ = new QTableWidget(static_cast<int>(request.rows.size()), static_cast<int>(shownColumns_.size()) + 1, this);
    QStringList headers{""};
    for (int c : shownColumns_) headers << QString::fromStdString(request.labels.at(static_cast<size_t>(c)));
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (size_t r = 0; r < request.rows.size(); ++r) {
        auto* mark = new MemberItem;
        mark->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        mark->setData(kRowRole, static_cast<int>(r));
        bool marked = keyColumn_ >= 0 && given.count(request.rows[r].at(static_cast<size_t>(keyColumn_)));
        mark->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
        table_->setItem(static_cast<int>(r), 0, mark);
        for (size_t k = 0; k < shownColumns_.size(); ++k)
            table_->setItem(static_cast<int>(r), static_cast<int>(k) + 1,
                            new MemberItem(QString::fromStdString(request.rows[r].at(static_cast<size_t>(shownColumns_[k])))));
    }
    // In label order: the first column shown that is not the key, else the key.
    int labelColumn = 1;
    for (size_t k = 0; k < shownColumns_.size(); ++k)
        if (shownColumns_[k] != keyColumn_) {
            labelColumn = static_cast<int>(k) + 1;
            break;
        }
    labelColumn_ = labelColumn;
    table_->setSortingEnabled(true);
    table_->sortByColumn(labelColumn, Qt::AscendingOrder);
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->installEventFilter(this);
    layout->addWidget(table_, 1);
    noneMarked_ = new QLabel("Sem nenhum membro marcado, a dimensão fica sem filtro: entram todos os membros.", this);
    noneMarked_->setObjectName("lblSemMarcados");
    noneMarked_->setWordWrap(true);
    noneMarked_->setStyleSheet("color: #505050");
    layout->addWidget(noneMarked_);

    auto* marks = new QHBoxLayout;
    auto* all = new QPushButton("Marcar todos", this);
    auto* none = new QPushButton("Desmarcar todos", this);
    auto* invert = new QPushButton("Inverter seleção", this);
    all->setObjectName("btnMarcarTodos");
    none->setObjectName("btnDesmarcarTodos");
    invert->setObjectName("btnInverterSelecao");
    count_ = new QLabel(this);
    count_->setObjectName("lblMarcados");
    marks->addWidget(all);
    marks->addWidget(none);
    marks->addWidget(invert);
    marks->addStretch(1);
    marks->addWidget(count_);
    layout->addLayout(marks);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancelar");
    layout->addWidget(buttons);

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& t) { narrow(t); });
    connect(all, &QPushButton::clicked, this, [this] { MarkShown(true); });
    connect(none, &QPushButton::clicked, this, [this] { MarkShown(false); });
    connect(invert, &QPushButton::clicked, this, [this] { InvertShown(); });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem*) { count(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    count();
}

void MemberDialog::narrow(const QString& text) {
    // Rows whose shown values contain the text, without regard to case or accents.
    std::string needle = FoldText(text.toStdString());
    for (int r = 0; r < table_->rowCount(); ++r) {
        bool shown = needle.empty();
        for (int c = 1; c < table_->columnCount() && !shown; ++c)
            shown = FoldText(table_->item(r, c)->text().toStdString()).find(needle) != std::string::npos;
        table_->setRowHidden(r, !shown);
    }
}

void MemberDialog::InvertShown() {
    table_->setSortingEnabled(false);
    for (int r = 0; r < table_->rowCount(); ++r)
        if (!table_->isRowHidden(r)) {
            QTableWidgetItem* mark = table_->item(r, 0);
            mark->setCheckState(mark->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        }
    table_->setSortingEnabled(true);
    count();
}

bool MemberDialog::eventFilter(QObject* watched, QEvent* event) {
    // Space marks or unmarks the current row, whichever of its cells has the focus.
    if (watched == table_ && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        int row = table_->currentRow();
        if (row >= 0) {
            QTableWidgetItem* mark = table_->item(row, 0);
            mark->setCheckState(mark->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            count();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

int MemberDialog::requestRow(int tableRow) const { return table_->item(tableRow, 0)->data(kRowRole).toInt(); }

void MemberDialog::MarkShown(bool marked) {
    // Rows keep their places while marks change (sorted by the mark, they would move under the loop).
    table_->setSortingEnabled(false);
    for (int r = 0; r < table_->rowCount(); ++r)
        if (!table_->isRowHidden(r)) table_->item(r, 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
    table_->setSortingEnabled(true);
    count();
}

int MemberDialog::Marked() const {
    int n = 0;
    for (int r = 0; r < table_->rowCount(); ++r) n += table_->item(r, 0)->checkState() == Qt::Checked;
    return n;
}

void MemberDialog::count() {
    const int marked = Marked();
    count_->setText(QString("%1 de %2 marcados").arg(marked).arg(table_->rowCount()));
    noneMarked_->setVisible(marked == 0);  // what an empty selection means, only while it is empty
}

// The marked rows, in the data set's order.
static std::vector<int> markedRows(const QTableWidget* table) {
    std::vector<int> rows;
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0)->checkState() == Qt::Checked) rows.push_back(table->item(r, 0)->data(kRowRole).toInt());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string MemberDialog::Selection() const {
    std::string out;
    if (keyColumn_ < 0) return out;
    for (int r : markedRows(table_)) {
        if (!out.empty()) out += ',';
        out += '\'';
        for (char c : request_.rows[static_cast<size_t>(r)].at(static_cast<size_t>(keyColumn_))) out += c == '\'' ? std::string("''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

std::vector<std::string> MemberDialog::MarkedLabels() const {
    std::vector<std::string> out;
    if (shownColumns_.empty()) return out;
    const size_t column = static_cast<size_t>(shownColumns_.at(static_cast<size_t>(labelColumn_ - 1)));
    for (int r : markedRows(table_)) out.push_back(request_.rows[static_cast<size_t>(r)].at(column));
    return out;
}

ListDialogAnswer MemberDialogService::Show(const ListDialogRequest& request) {
    MemberDialog dialog(request, parent_);
    bool ok = dialog.exec() == QDialog::Accepted;
    if (ok) labels_[dialog.Selection()] = dialog.MarkedLabels();
    return {ok, ok ? dialog.Selection() : request.given};
}

std::vector<std::string> MemberDialogService::LabelsOf(const std::string& selection) const {
    auto it = labels_.find(selection);
    return it == labels_.end() ? std::vector<std::string>{} : it->second;
}
