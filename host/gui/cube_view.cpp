#include "cube_view.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

#include "cube/saved_view.hpp"
#include "fwk/host_bridge.hpp"
#include "services/cube.hpp"
#include "front_end.hpp"
#include "pivot_chart.hpp"
#include "pivot_grid.hpp"
#include "toolkit/application.hpp"

QString BrazilianNumber(double v) {
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    bool whole = std::fabs(v - std::round(v)) < 1e-9 && std::fabs(v) < 1e15;
    return brazil.toString(v, 'f', whole ? 0 : 2);
}

namespace {

// A name as a menu shows it: an ampersand of its own, not a mnemonic.
QString menuText(const std::string& name) { return QString::fromStdString(name).replace('&', "&&"); }

const char* const kShowNames[] = {"Valores", "% do total geral", "% do total da linha", "% do total da coluna"};
const char* const kChartNames[] = {"Sem gráfico", "Barras", "Linhas"};

}  // namespace

CubeView::CubeView(FrontEnd& frontEnd, TCubeViewer* viewer, QWidget* parent)
    : QWidget(parent), frontEnd_(frontEnd), viewer_(viewer) {
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
    auto* split = new QSplitter(Qt::Vertical, this);  // the chart under the grid: both keep the full width
    grid_ = new PivotGridView(split);
    chart_ = new PivotChartView(split);
    split->addWidget(grid_);
    split->addWidget(chart_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    chart_->hide();
    layout->addWidget(split, 1);

    auto* bottom = new QHBoxLayout;
    subtotals_ = new QCheckBox("Subtotais", this);
    subtotals_->setObjectName("chkSubtotais");
    bottom->addWidget(subtotals_);
    bottom->addWidget(new QLabel("Mostrar:", this));
    show_ = new QComboBox(this);
    show_->setObjectName("cbxMostrar");
    for (const char* name : kShowNames) show_->addItem(name);
    bottom->addWidget(show_);
    bottom->addWidget(new QLabel("Gráfico:", this));
    chartKind_ = new QComboBox(this);
    chartKind_->setObjectName("cbxGrafico");
    for (const char* name : kChartNames) chartKind_->addItem(name);
    bottom->addWidget(chartKind_);
    bottom->addStretch(1);
    auto* edit = new QPushButton("Editar visão", this);
    edit->setObjectName("btnEditarVisao");
    bottom->addWidget(edit);
    connect(edit, &QPushButton::clicked, this, [this] { act([](TCubeViewer& v) { v.EditView(); }); });
    auto* save = new QPushButton("Salvar visão…", this);
    save->setObjectName("btnSalvarVisao");
    bottom->addWidget(save);
    connect(save, &QPushButton::clicked, this, [this] { frontEnd_.SaveView(); });
    export_ = new QPushButton("Exportar…", this);
    export_->setObjectName("btnExportar");
    bottom->addWidget(export_);
    // How long the next computations may take (the host's --view-timeout, changed here for the session).
    auto* limit = new QPushButton("Tempo limite…", this);
    limit->setObjectName("btnTempoLimite");
    bottom->addWidget(limit);
    connect(limit, &QPushButton::clicked, this, [this] {
        const auto now = ViewTimeout().value_or(std::chrono::duration_cast<std::chrono::seconds>(GetCallLimits().deadline));
        bool ok = false;
        int seconds = QInputDialog::getInt(this, "Tempo limite", "Segundos que o cálculo de uma visão pode levar:",
                                           static_cast<int>(now.count()), 1, 86400, 10, &ok);
        if (ok) SetViewTimeout(std::chrono::seconds(seconds));
    });
    layout->addLayout(bottom);

    connect(subtotals_, &QCheckBox::clicked, this, [this](bool on) { act([&](TCubeViewer& v) { v.SetSubtotals(on); }); });
    connect(show_, &QComboBox::activated, this, [this](int index) { act([&](TCubeViewer& v) { v.SetShow(static_cast<ShowAs>(index)); }); });
    connect(chartKind_, &QComboBox::activated, this, [this](int index) {
        static const std::optional<std::string> kinds[] = {std::nullopt, "bar", "line"};
        act([&](TCubeViewer& v) { v.SetChart(kinds[index]); });
    });
    for (QWidget* header : grid_->HeaderViewports()) header->installEventFilter(this);
    grid_->OnSortClicked = [this](const std::string& fact, const std::optional<std::vector<std::string>>& column) {
        act([&](TCubeViewer& v) { v.CycleSort(fact, column); });
    };
    grid_->OnToggleGroup = [this](const std::string& dimension, const std::string& label, bool collapse) {
        act([&](TCubeViewer& v) { v.SetCollapsed(dimension, label, collapse); });
    };
    grid_->OnDimensionMenu = [this](const std::string& dimension, QPoint global) {
        QMenu* menu = DimensionMenu(dimension);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(global);
    };
    grid_->OnCellMenu = [this](const std::string& fact, const std::optional<std::vector<std::string>>& column, QPoint global) {
        QMenu* menu = CellMenu(fact, column);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(global);
    };
    grid_->OnMoveDimension = [this](const std::string& dimension, char axis) { moveByKey(dimension, axis); };
    connect(export_, &QPushButton::clicked, this, [this] {
        QString path = frontEnd_.ChooseExportFile ? frontEnd_.ChooseExportFile() : QString();
        if (path.isEmpty()) return;
        const std::string file = path.toStdString();
        act([&](TCubeViewer& v) {
            if (path.endsWith(".xlsx", Qt::CaseInsensitive)) v.ExportXlsx(file);
            else v.ExportCsv(file);
            Application->MessageDlg("Visão exportada para " + file, TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
        });
    });
    Sync();
}

bool CubeView::dropTarget(QPoint at, int& axis, size_t& position) const {
    QWidget* w = QApplication::widgetAt(at);
    if (auto grid = grid_->DropAt(w, at)) {
        axis = static_cast<int>(grid->first == 'r' ? TCubeViewer::Axis::Rows : TCubeViewer::Axis::Columns);
        position = grid->second;
        return true;
    }
    if (w && (w == pagesBox_ || pagesBox_->isAncestorOf(w))) {
        axis = static_cast<int>(TCubeViewer::Axis::Pages);
        position = 0;  // before the first page whose caption starts right of the point
        const int x = pagesBox_->mapFromGlobal(at).x();
        for (QObject* child : pagesBox_->children())
            if (auto* caption = qobject_cast<QLabel*>(child); caption && caption->property("dimension").isValid() && caption->x() < x) ++position;
        return true;
    }
    return false;
}

// Dragging a dimension: pressed on a header or a page caption, moved past the drag distance, released
// over another place of the grid or the pages bar. Released nowhere, nothing changes.
bool CubeView::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::KeyPress && watched->property("pageDimension").isValid()) {
        auto* k = static_cast<QKeyEvent*>(event);
        const std::string dimension = watched->property("pageDimension").toString().toStdString();
        const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
        if ((k->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) || k->key() == Qt::Key_Menu) {
            auto* combo = static_cast<QWidget*>(watched);
            QMenu* menu = DimensionMenu(dimension);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(combo->mapToGlobal(QPoint(0, combo->height())));
            return true;
        }
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && (k->key() == Qt::Key_L || k->key() == Qt::Key_C)) {
            moveByKey(dimension, k->key() == Qt::Key_L ? 'r' : 'c');
            return true;
        }
        return false;
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
    auto* e = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress) {
        drag_ = {};
        if (e->button() != Qt::LeftButton) return false;
        QVariant page = watched->property("dimension");
        drag_.dimension = page.isValid() ? page.toString().toStdString() : grid_->DimensionAt(watched, e->position().toPoint());
        drag_.start = e->globalPosition().toPoint();
        return false;
    }
    if (drag_.dimension.empty()) return false;
    if (type == QEvent::MouseMove) {
        if (!(e->buttons() & Qt::LeftButton)) return false;
        if (!drag_.moving && (e->globalPosition().toPoint() - drag_.start).manhattanLength() >= QApplication::startDragDistance()) {
            drag_.moving = true;
            QApplication::setOverrideCursor(Qt::ClosedHandCursor);
        }
        if (drag_.moving) {
            int axis = 0;
            size_t position = 0;
            QApplication::changeOverrideCursor(dropTarget(e->globalPosition().toPoint(), axis, position) ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
        }
        return drag_.moving;
    }
    Drag done = drag_;
    drag_ = {};
    if (!done.moving) return false;
    QApplication::restoreOverrideCursor();
    int axis = 0;
    size_t position = 0;
    bool target = dropTarget(e->globalPosition().toPoint(), axis, position);
    // The header still hears the release, to end its own press, but knows it was a drag, not a click.
    watched->setProperty("qelArrastou", true);
    if (target) {
        // The headers are rebuilt by the move: the release goes first.
        QMouseEvent release(QEvent::MouseButtonRelease, e->position(), e->globalPosition(), e->button(), e->buttons(), e->modifiers());
        QApplication::sendEvent(watched, &release);
        act([&](TCubeViewer& v) { v.MoveDimension(done.dimension, static_cast<TCubeViewer::Axis>(axis), position); });
        return true;
    }
    return false;
}

QTableView* CubeView::Table() const { return grid_->Cells(); }

void CubeView::moveByKey(const std::string& dimension, char axis) {
    const auto to = axis == 'r' ? TCubeViewer::Axis::Rows : axis == 'c' ? TCubeViewer::Axis::Columns : TCubeViewer::Axis::Pages;
    act([&](TCubeViewer& v) { v.MoveDimension(dimension, to, std::nullopt); });
}

QMenu* CubeView::CellMenu(const std::string& fact, const std::optional<std::vector<std::string>>& column) {
    auto* menu = new QMenu(this);
    menu->setObjectName("mnuCelulaCubo");
    connect(menu->addAction("Ordenar por esta coluna\tCtrl+Shift+O"), &QAction::triggered, this,
            [this, fact, column] { act([&](TCubeViewer& v) { v.CycleSort(fact, column); }); });
    // The column dimensions, each with its own menu: the cell stands under all of them.
    if (viewer_ && !viewer_->Columns.empty()) menu->addSeparator();
    for (const std::string& dimension : viewer_ ? viewer_->Columns : std::vector<std::string>{}) {
        QMenu* sub = DimensionMenu(dimension);
        sub->setParent(menu, sub->windowFlags());  // goes with the menu
        sub->setTitle(menuText(dimension));
        menu->addMenu(sub);
    }
    return menu;
}

void CubeView::act(const std::function<void(TCubeViewer&)>& change) {
    TCubeViewer* v = viewer_;
    if (v) frontEnd_.Act([&] { change(*v); });
}

QMenu* CubeView::DimensionMenu(const std::string& dimension) {
    auto* menu = new QMenu(this);
    menu->setObjectName("mnuDimensaoCubo");
    TCubeViewer* v = viewer_;
    if (!v) return menu;
    const bool row = std::count(v->Rows.begin(), v->Rows.end(), dimension) > 0;
    const bool column = std::count(v->Columns.begin(), v->Columns.end(), dimension) > 0;
    // Each move names the dimension it moves, whichever header, cell or page list it was opened from.
    auto move = [this, menu, dimension](const char* axisName, TCubeViewer::Axis axis, bool here) {
        QAction* a = menu->addAction(QString("Mover %1 para %2").arg(menuText(dimension), QString::fromUtf8(axisName)));
        a->setEnabled(!here);
        connect(a, &QAction::triggered, this, [this, dimension, axis] { act([&](TCubeViewer& c) { c.MoveDimension(dimension, axis, std::nullopt); }); });
    };
    move("Linhas", TCubeViewer::Axis::Rows, row);
    move("Colunas", TCubeViewer::Axis::Columns, column);
    move("Páginas", TCubeViewer::Axis::Pages, !row && !column);
    menu->addSeparator();
    auto order = v->Settings().order.find(dimension);
    const bool byLabel = order != v->Settings().order.end() && order->second == MemberOrder::Label;
    QAction* label = menu->addAction("Ordenar pelo nome");
    label->setCheckable(true);
    label->setChecked(byLabel);
    connect(label, &QAction::triggered, this, [this, dimension](bool on) {
        act([&](TCubeViewer& c) { c.SetOrder(dimension, on ? MemberOrder::Label : MemberOrder::Key); });
    });
    if (row && v->Rows.back() != dimension) {  // the innermost level has nothing below it to hide
        menu->addSeparator();
        connect(menu->addAction("Recolher nível"), &QAction::triggered, this,
                [this, dimension] { act([&](TCubeViewer& c) { c.SetCollapsed(dimension, std::nullopt, true); }); });
        connect(menu->addAction("Expandir nível"), &QAction::triggered, this,
                [this, dimension] { act([&](TCubeViewer& c) { c.SetCollapsed(dimension, std::nullopt, false); }); });
    }
    return menu;
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
        auto* caption = new QLabel(QString::fromStdString(page.dimension) + ":", pagesBox_);
        caption->setProperty("dimension", QString::fromStdString(page.dimension));
        caption->setCursor(Qt::OpenHandCursor);
        caption->installEventFilter(this);
        caption->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(caption, &QLabel::customContextMenuRequested, this, [this, caption, d = page.dimension](QPoint at) {
            QMenu* menu = DimensionMenu(d);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(caption->mapToGlobal(at));
        });
        pagesLayout_->addWidget(caption);
        auto* combo = new QComboBox(pagesBox_);
        combo->setObjectName(QString::fromStdString("page_" + page.dimension));
        combo->addItem(TCubeViewer::kAllMembers);
        int current = 0;
        for (size_t m = 0; m < page.members.size(); ++m) {
            combo->addItem(QString::fromStdString(page.members[m].label));
            if (page.current && *page.current == page.members[m].key) current = static_cast<int>(m) + 1;
        }
        combo->setCurrentIndex(current);
        combo->setProperty("pageDimension", QString::fromStdString(page.dimension));
        combo->installEventFilter(this);  // its keys: the menu and the moves of its dimension
        std::string dimension = page.dimension;
        connect(combo, &QComboBox::activated, this, [this, combo, dimension](int index) {
            TCubeViewer* v = viewer_;
            if (!v) return;
            std::optional<std::string> label;
            if (index > 0) label = combo->itemText(index).toStdString();
            frontEnd_.Act([&] { v->ChoosePage(dimension, label); });
        });
        pagesLayout_->addWidget(combo);
        pages_.push_back(combo);
    }
    if (viewer_->Pages.empty()) {
        // Where a dimension dragged from the grid becomes a page.
        auto* hint = new QLabel("Páginas: arraste para cá uma dimensão da grade", pagesBox_);
        hint->setObjectName("dicaPaginas");
        hint->setStyleSheet("color: gray");
        pagesLayout_->addWidget(hint);
    }
    pagesLayout_->addStretch(1);
    pagesBox_->setVisible(!viewer_->Grid.Empty() || !viewer_->Pages.empty());
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
    grid_->Load(viewer_);
    grid_->setVisible(!viewer_->Grid.Empty());
    const TCubeViewer::ViewSettings& settings = viewer_->Settings();
    subtotals_->setChecked(settings.subtotals);
    show_->setCurrentIndex(static_cast<int>(settings.show));
    chartKind_->setCurrentIndex(!settings.chart ? 0 : *settings.chart == "bar" ? 1 : 2);
    chart_->setVisible(settings.chart.has_value() && !viewer_->Grid.Empty());
    if (chart_->isVisible()) chart_->Show(viewer_->Chart(), *settings.chart);
    export_->setEnabled(!viewer_->Grid.Empty());
}
