#include "member_dialog.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "cube/selection.hpp"
#include "data/field_name.hpp"
#include "toolkit/text_order.hpp"

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
        auto* mark = new QTableWidgetItem;
        mark->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        bool marked = keyColumn_ >= 0 && given.count(request.rows[r].at(static_cast<size_t>(keyColumn_)));
        mark->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
        table_->setItem(static_cast<int>(r), 0, mark);
        for (size_t k = 0; k < shownColumns_.size(); ++k)
            table_->setItem(static_cast<int>(r), static_cast<int>(k) + 1,
                            new QTableWidgetItem(QString::fromStdString(request.rows[r].at(static_cast<size_t>(shownColumns_[k])))));
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);

    auto* marks = new QHBoxLayout;
    auto* all = new QPushButton("Marcar todos", this);
    auto* none = new QPushButton("Desmarcar todos", this);
    all->setObjectName("btnMarcarTodos");
    none->setObjectName("btnDesmarcarTodos");
    count_ = new QLabel(this);
    marks->addWidget(all);
    marks->addWidget(none);
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
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem*) { count(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    count();
}

void MemberDialog::narrow(const QString& text) {
    // Rows whose shown values contain the text, without regard to case.
    std::string needle = LowerText(text.toStdString());
    for (int r = 0; r < table_->rowCount(); ++r) {
        bool shown = needle.empty();
        for (int c = 1; c < table_->columnCount() && !shown; ++c)
            shown = LowerText(table_->item(r, c)->text().toStdString()).find(needle) != std::string::npos;
        table_->setRowHidden(r, !shown);
    }
}

void MemberDialog::MarkShown(bool marked) {
    for (int r = 0; r < table_->rowCount(); ++r)
        if (!table_->isRowHidden(r)) table_->item(r, 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
    count();
}

int MemberDialog::Marked() const {
    int n = 0;
    for (int r = 0; r < table_->rowCount(); ++r) n += table_->item(r, 0)->checkState() == Qt::Checked;
    return n;
}

void MemberDialog::count() { count_->setText(QString::number(Marked()) + " marcado(s)"); }

std::string MemberDialog::Selection() const {
    std::string out;
    if (keyColumn_ < 0) return out;
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (table_->item(r, 0)->checkState() != Qt::Checked) continue;
        if (!out.empty()) out += ',';
        out += '\'';
        for (char c : request_.rows[static_cast<size_t>(r)].at(static_cast<size_t>(keyColumn_))) out += c == '\'' ? std::string("''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

ListDialogAnswer MemberDialogService::Show(const ListDialogRequest& request) {
    MemberDialog dialog(request, parent_);
    bool ok = dialog.exec() == QDialog::Accepted;
    return {ok, ok ? dialog.Selection() : request.given};
}
