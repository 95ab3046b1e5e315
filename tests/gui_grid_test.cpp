// The viewer's grid read back as the window draws it. After every gesture of long random sequences
// (pivots by drag, by menu and by key, sorts by header and by key, group boxes and keys, subtotals,
// percentages, page choices, scrolling, maximizing) the texts of every cell the six views show (each
// view's model, rows and columns not hidden, spans honoured) must be the lines the viewer holds, as
// the runner's dump gives them, formatted as the grid formats them and never clipped; every cell
// must stand under its header and the total line under the body's columns. A failing sequence
// prints its seed; QEL_GRID_SEED=N repeats it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <nlohmann/json.hpp>

#include "cube_view.hpp"
#include "front_end.hpp"
#include "pivot_grid.hpp"
#include "services/cube.hpp"
#include "shell.hpp"
#include "support/processes.hpp"

namespace {

// The test warehouse, with Região d'Oeste a dimension of the sales too (three row levels and two
// column levels fit in one view) and more sales, some with cents and one negative, so that every
// level has several members and the measures differ in decimals.
std::string gridCatalogue() {
    std::string sql = ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
                      ReadFile(QEL_TEST_DIR "/catalogue.sql") + ReadFile(QEL_TEST_DIR "/warehouse.sql");
    sql += "ALTER TABLE FVENDA ADD COLUMN CDREGIAO VARCHAR(20);\nUPDATE FVENDA SET CDREGIAO = 'S';\n"
           "INSERT INTO DIMENSAODW VALUES ('5', 'FVENDA', 'CDREGIAO');\n";
    const char* products[] = {"P01", "P02", "P03", "P04"};
    const char* clients[] = {"C01", "C02", "C''03"};
    const char* branches[] = {"01", "02", "03"};
    const char* months[] = {"2026-01", "2026-02", "2026-03", "2026-04"};
    const char* regions[] = {"S", "N"};
    std::mt19937 fixed(20261211);  // the same warehouse every run
    for (int i = 0; i < 48; ++i) {
        const double value = i == 17 ? -35.5 : static_cast<double>(fixed() % 90000) / 100.0;
        sql += std::string("INSERT INTO FVENDA VALUES ('") + products[fixed() % 4] + "', '" + clients[fixed() % 3] + "', '" +
               branches[fixed() % 3] + "', '" + months[fixed() % 4] + "', " + std::to_string(value) + ", " +
               std::to_string(1 + fixed() % 9) + ", '" + regions[fixed() % 2] + "');\n";
    }
    return sql;
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

using Lines = std::vector<QStringList>;

// What one view shows: per row not hidden, the texts of its columns not hidden, in visual order. A
// cell under another's span is not drawn: it reads as nothing. The total line's views never scroll
// (they stay on their last line): of them only the rows inside the viewport count.
Lines shownBy(QTableView* v, bool viewportOnly) {
    Lines out;
    QAbstractItemModel* m = v->model();
    std::set<std::pair<int, int>> covered;
    for (int vr = 0; vr < m->rowCount(); ++vr) {
        const int r = v->verticalHeader()->logicalIndex(vr);
        if (v->isRowHidden(r)) continue;
        if (viewportOnly) {
            const int y = v->rowViewportPosition(r);
            if (y + v->rowHeight(r) <= 0 || y >= v->viewport()->height()) continue;
        }
        QStringList line;
        for (int vc = 0; vc < m->columnCount(); ++vc) {
            const int c = v->horizontalHeader()->logicalIndex(vc);
            if (v->isColumnHidden(c) || covered.count({r, c})) continue;
            for (int dr = 0; dr < v->rowSpan(r, c); ++dr)
                for (int dc = 0; dc < v->columnSpan(r, c); ++dc)
                    if (dr || dc) covered.insert({r + dr, c + dc});
            line << m->data(m->index(r, c)).toString();
        }
        out.push_back(line);
    }
    return out;
}

// A shown cell whose text does not fit its column ("26," for "26,32%"), or empty.
std::string clippedIn(QTableView* v) {
    for (int r = 0; r < v->model()->rowCount(); ++r) {
        if (v->isRowHidden(r)) continue;
        for (int c = 0; c < v->model()->columnCount(); ++c) {
            if (v->isColumnHidden(c)) continue;
            const QModelIndex index = v->model()->index(r, c);
            if (v->sizeHintForIndex(index).width() > v->columnWidth(c))
                return v->objectName().toStdString() + ": \"" + index.data().toString().toStdString() + "\" não cabe na coluna " +
                       std::to_string(c) + " (" + std::to_string(v->columnWidth(c)) + " pontos)";
        }
    }
    return {};
}

QString number(const nlohmann::json& v, int decimals, bool percent) {
    if (v.is_null()) return {};
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(v.get<double>(), 'f', decimals) + (percent ? "%" : "");
}

// The six views' texts as the viewer's lines say they must be: the labels in outline form (a label
// on the first line of its group only), each measure with its decimals, the total line apart.
struct Expected {
    Lines labels, cells, totals, footLabels, footCells, footTotals;
};
Expected expectedOf(const nlohmann::json& viewer, const std::vector<int>& decimals) {
    Expected e;
    const auto& lines = viewer["lines"];
    const size_t levels = std::max<size_t>(viewer["rows"].size(), 1), keys = viewer["columnKeys"].size(), measures = viewer["facts"].size();
    const bool percent = viewer["settings"]["show"] != "values";
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        const bool total = line["kind"] == "total";
        QStringList labels, cells, totals;
        for (size_t c = 0; c < levels; ++c) {
            const auto& own = line["labels"];
            QString text;
            if (total) {
                text = c == 0 ? "Total" : "";
            } else if (c < own.size()) {
                bool repeated = false;
                if (i > 0 && lines[i - 1]["labels"].size() > c) {
                    repeated = true;
                    for (size_t d = 0; d <= c; ++d) repeated = repeated && lines[i - 1]["labels"][d] == own[d];
                }
                if (!repeated) text = QString::fromStdString(own[c].get<std::string>());
            }
            labels << text;
        }
        for (size_t k = 0; k <= keys; ++k)
            for (size_t m = 0; m < measures; ++m) (k < keys ? cells : totals) << number(line["values"][k][m], decimals.at(m), percent);
        // The last line is the grand total, shown by the total line's views only.
        const bool last = i + 1 == lines.size();
        (last ? e.footLabels : e.labels).push_back(labels);
        if (keys > 0) (last ? e.footCells : e.cells).push_back(cells);
        (last ? e.footTotals : e.totals).push_back(totals);
    }
    return e;
}

// The first difference between what a view shows and what it must show, or empty.
std::string compare(const char* part, const Lines& shown, const Lines& expected) {
    if (shown == expected) return {};
    size_t i = 0;
    while (i < shown.size() && i < expected.size() && shown[i] == expected[i]) ++i;
    auto line = [](const Lines& l, size_t at) { return at < l.size() ? "[" + l[at].join(" | ").toStdString() + "]" : std::string("nada"); };
    return std::string(part) + ": " + std::to_string(shown.size()) + " linhas mostradas, " + std::to_string(expected.size()) +
           " esperadas; a linha " + std::to_string(i) + " mostra " + line(shown, i) + " em vez de " + line(expected, i);
}

// The viewer's state as the runner's dump gives it.
nlohmann::json dumpOf(Shell& shell) { return shell.State()["cube"]["viewer"]; }

std::string checkPlaces(PivotGridView* g);

// What the grid shows against what the viewer holds: texts, headers and the cells' places. Empty
// when they agree; else a description of the first disagreement.
std::string checkGrid(CubeView* view, const nlohmann::json& viewer) {
    if (viewer["lines"].empty()) return view->Grid()->isVisible() ? "a grade aparece sem linhas" : "";
    std::vector<int> decimals;
    for (size_t m = 0; m < viewer["facts"].size(); ++m) decimals.push_back(view->Viewer()->Decimals(m));
    const Expected e = expectedOf(viewer, decimals);
    PivotGridView* g = view->Grid();
    std::string out = compare("rótulos", shownBy(g->Labels(), false), e.labels);
    if (out.empty() && g->Cells()->isVisible()) out = compare("células", shownBy(g->Cells(), false), e.cells);
    if (out.empty()) out = compare("totais", shownBy(g->Totals(), false), e.totals);
    if (out.empty()) out = compare("rótulos da linha de total", shownBy(g->TotalLineLabels(), true), e.footLabels);
    if (out.empty() && g->TotalLine()->isVisible()) out = compare("linha de total", shownBy(g->TotalLine(), true), e.footCells);
    if (out.empty()) out = compare("totais da linha de total", shownBy(g->TotalLineTotals(), true), e.footTotals);
    if (out.empty() && viewer["columnKeys"].empty() == g->Cells()->isVisible()) out = "a parte das células aparece sem membros de coluna, ou falta";
    for (QTableView* v : {g->Labels(), g->Cells(), g->Totals(), g->TotalLineLabels(), g->TotalLine(), g->TotalLineTotals()})
        if (out.empty() && v->isVisible()) out = clippedIn(v);
    if (!out.empty()) return out;

    // The headers: each column's members band by band and its measure, with the arrow of the sort.
        const auto& keys = viewer["columnKeys"];
    const auto& facts = viewer["facts"];
    const auto& sort = viewer["settings"]["sort"];
    const size_t levels = std::max<size_t>(viewer["rows"].size(), 1), dims = viewer["columns"].size();
    const int bands = static_cast<int>(std::max<size_t>(dims, 1)) + 1;
    for (size_t c = levels; c < levels + (keys.size() + 1) * facts.size(); ++c) {
        const size_t k = (c - levels) / facts.size(), m = (c - levels) % facts.size();
        for (int b = 0; b < bands; ++b) {
            QString want;
            if (b + 1 < bands) {
                if (k < keys.size()) want = static_cast<size_t>(b) < keys[k].size() ? QString::fromStdString(keys[k][b].get<std::string>()) : "";
                else want = b == 0 ? "Total" : "";
            } else {
                want = QString::fromStdString(facts[m].get<std::string>());
                const bool sorted = !sort.is_null() && sort["fact"] == facts[m] &&
                                    (k < keys.size() ? sort.contains("column") && sort["column"] == keys[k] : !sort.contains("column"));
                if (sorted) want += sort["direction"] == "desc" ? " \u25BC" : " \u25B2";
            }
            const QString shown = g->BandText(static_cast<int>(c), b);
            if (shown != want)
                return "cabeçalho da coluna " + std::to_string(c) + ", faixa " + std::to_string(b) + ": \"" + shown.toStdString() +
                       "\" em vez de \"" + want.toStdString() + "\"";
        }
    }
    // The row dimensions name the label columns, under the column dimensions' names.
    for (size_t c = 0; c < viewer["rows"].size(); ++c) {
        const QString row = QString::fromStdString(viewer["rows"][c].get<std::string>());
        if (g->BandText(static_cast<int>(c), bands - 1) != row) return "cabeçalho da dimensão de linha " + row.toStdString();
        for (int b = 0; b + 1 < bands; ++b) {
            const QString column = static_cast<size_t>(b) < dims ? QString::fromStdString(viewer["columns"][b].get<std::string>()) : "";
            if (g->BandText(static_cast<int>(c), b) != column) return "cabeçalho com o nome da dimensão de coluna " + column.toStdString();
        }
    }

    return checkPlaces(g);
}

// Places: in each part a column starts where its header's section starts, and the total line's
// column where the body's does; the three parts of the body show the same lines side by side.
std::string checkPlaces(PivotGridView* g) {
    auto globalX = [](QWidget* w, int x) { return w->mapToGlobal(QPoint(x, 0)).x(); };
    const std::pair<QTableView*, QTableView*> parts[] = {
        {g->Labels(), g->TotalLineLabels()}, {g->Cells(), g->TotalLine()}, {g->Totals(), g->TotalLineTotals()}};
    for (auto [body, foot] : parts) {
        if (!body->isVisible()) continue;
        QHeaderView* h = body->horizontalHeader();
        for (int c = 0; c < body->model()->columnCount(); ++c) {
            if (body->isColumnHidden(c)) continue;
            const int cell = globalX(body->viewport(), body->columnViewportPosition(c));
            const int header = globalX(h->viewport(), h->sectionViewportPosition(c));
            const int total = globalX(foot->viewport(), foot->columnViewportPosition(c));
            if (cell != header || cell != total || body->columnWidth(c) != foot->columnWidth(c))
                return body->objectName().toStdString() + ": a coluna " + std::to_string(c) + " começa em " + std::to_string(cell) +
                       ", o cabeçalho em " + std::to_string(header) + ", a linha de total em " + std::to_string(total);
        }
    }
    // A part's bar at its start shows its first column from the left edge; at its end, its last
    // column whole (not under the frozen totals beside it).
    for (auto [body, foot] : parts) {
        if (!body->isVisible()) continue;
        std::vector<int> shown;
        for (int c = 0; c < body->model()->columnCount(); ++c)
            if (!body->isColumnHidden(c)) shown.push_back(c);
        if (shown.empty()) continue;
        QScrollBar* bar = foot->horizontalScrollBar();
        if (bar->value() == bar->minimum() && body->columnViewportPosition(shown.front()) != 0)
            return body->objectName().toStdString() + ": a barra no começo não mostra a primeira coluna";
        const int right = body->columnViewportPosition(shown.back()) + body->columnWidth(shown.back());
        if (bar->value() == bar->maximum() && bar->maximum() > bar->minimum() && right > body->viewport()->width())
            return body->objectName().toStdString() + ": a barra no fim não mostra a última coluna inteira (" + std::to_string(right) + " > " +
                   std::to_string(body->viewport()->width()) + ")";
    }
    const int first = g->Labels()->rowAt(0);
    if (first >= 0)
        for (QTableView* v : {g->Cells(), g->Totals()})
            if (v->isVisible() && v->rowAt(0) != first) return "as partes do corpo mostram linhas diferentes";
    return {};
}

struct GridWindow : ::testing::Test {
    TempDatabase db{gridCatalogue()};
    ServerProcess server{db.Path()};
    std::unique_ptr<Shell> shell;
    std::unique_ptr<FrontEnd> fe;

    void SetUp() override {
        ShellOptions o;
        o.server = server.Address();
        o.database = db.Path();
        o.modules = QEL_BIN_DIR;
        shell = std::make_unique<Shell>(o);
        fe = std::make_unique<FrontEnd>(*shell, false);
        fe->Window()->resize(800, 600);  // the offscreen screen: widgets are found there by position
        fe->Window()->show();
        run({"open"});
    }
    void TearDown() override {
        fe.reset();
        shell.reset();
    }
    void run(const std::vector<std::string>& words) {
        fe->Act([&] { shell->Run(words); });
        QApplication::processEvents();
    }
    // Faturamento and Quantidade by Produto, Cliente and Filial in rows, Período and Região d'Oeste
    // in columns.
    CubeView* build(const std::vector<std::pair<std::string, std::string>>& layout) {
        run({"press", "trvFatos", "Vendas"});
        run({"dblclick", "trvFatos", "Vendas", "Faturamento"});
        run({"dblclick", "trvFatos", "Vendas", "Quantidade"});
        for (auto& [dimension, zone] : layout) run({"drag", "trvDimensoes", dimension, "--to", zone});
        run({"key", "Ctrl+F2"});
        CubeView* view = fe->Viewer();
        if (view) {
            view->parentWidget()->move(0, 0);
            view->parentWidget()->resize(760, 500);
            QApplication::processEvents();
        }
        return view;
    }
    CubeView* view() { return fe->Viewer(); }
};

const std::vector<std::pair<std::string, std::string>> kThreeByTwo = {
    {"Produto", "trvRows"}, {"Cliente", "trvRows"}, {"Filial", "trvRows"}, {"Período", "trvCols"}, {"Região d'Oeste", "trvCols"}};

// The gestures a person makes on the viewer, each picked at random, each by its real events.
class Gestures {
public:
    Gestures(GridWindow& w, std::mt19937& random) : w_(w), random_(random) {}

    // Performs one gesture; what it was, for the failure message.
    std::string Next() {
        switch (pick(11)) {
            case 0: case 1: return dragDimension();
            case 2: case 3: return menuMove();
            case 4: return sortByHeader();
            case 5: return toggleGroup();
            case 6: return pick(2) ? subtotals() : show();
            case 7: return choosePage();
            case 8: return scroll();
            case 9: return key();
            default: return resizeWindow();
        }
    }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
    CubeView* view() { return w_.view(); }
    TCubeViewer& viewer() { return *view()->Viewer(); }
    void settle() { QApplication::processEvents(); }

    // Where a dimension of the view can be taken by the mouse: its header section or band, or its
    // page caption; the widget and the point in it.
    std::pair<QWidget*, QPoint> handleOf(const std::string& dimension) {
        PivotGridView* g = view()->Grid();
        const auto& rows = viewer().Rows;
        const auto& columns = viewer().Columns;
        if (auto r = std::find(rows.begin(), rows.end(), dimension); r != rows.end()) {
            QHeaderView* h = g->Labels()->horizontalHeader();
            const int s = static_cast<int>(r - rows.begin());
            return {h->viewport(), QPoint(h->sectionViewportPosition(s) + 4, h->height() - 4)};
        }
        if (auto c = std::find(columns.begin(), columns.end(), dimension); c != columns.end()) {
            // Its band over the cells, or its name over the row labels.
            QHeaderView* h = (pick(2) ? g->Cells() : g->Labels())->horizontalHeader();
            const int bands = static_cast<int>(columns.size()) + 1;
            const int band = static_cast<int>(c - columns.begin());
            return {h->viewport(), QPoint(4, band * h->height() / bands + h->height() / bands / 2)};
        }
        for (QLabel* l : view()->findChildren<QLabel*>())
            if (l->isVisible() && l->property("dimension").toString().toStdString() == dimension) return {l, QPoint(4, 4)};
        return {nullptr, {}};
    }

    std::string anyDimension() {
        std::vector<std::string> all = viewer().Rows;
        all.insert(all.end(), viewer().Columns.begin(), viewer().Columns.end());
        for (auto& p : viewer().Pages) all.push_back(p.dimension);
        return all.at(pick(all.size()));
    }

    std::string dragDimension() {
        const std::string dimension = anyDimension();
        auto [source, start] = handleOf(dimension);
        if (!source) return "nada a arrastar";
        PivotGridView* g = view()->Grid();
        QWidget* target = nullptr;
        QPoint end;
        std::string where;
        switch (pick(3)) {
            case 0: {  // before a row dimension's header, or past the last
                QHeaderView* h = g->Labels()->horizontalHeader();
                const int s = static_cast<int>(pick(viewer().Rows.size() + 1));
                target = s < static_cast<int>(viewer().Rows.size()) ? static_cast<QWidget*>(h->viewport()) : g->Labels()->viewport();
                end = s < static_cast<int>(viewer().Rows.size()) ? QPoint(h->sectionViewportPosition(s) + 3, h->height() - 3) : QPoint(3, 3);
                where = "linhas";
                break;
            }
            case 1: {  // a band of the cells' header (the totals' without a column dimension), or an upper band over the labels
                const bool overLabels = pick(2);
                QTableView* part = overLabels ? g->Labels() : g->Cells()->isVisible() ? g->Cells() : g->Totals();
                QHeaderView* h = part->horizontalHeader();
                const int bands = static_cast<int>(std::max<size_t>(viewer().Columns.size(), 1)) + 1;
                const int band = static_cast<int>(pick(static_cast<size_t>(overLabels ? bands - 1 : bands)));
                target = h->viewport();
                end = QPoint(6, band * h->height() / bands + 2);
                where = "colunas, faixa " + std::to_string(band);
                break;
            }
            default: {  // the pages bar
                QWidget* hint = view()->findChild<QLabel*>("dicaPaginas");
                target = hint && hint->isVisible() ? hint : view()->Page(static_cast<int>(viewer().Pages.size()) - 1);
                if (!target) return "sem barra de páginas";
                end = QPoint(target->width() - 2, 4);
                where = "páginas";
                break;
            }
        }
        const QPoint at = source->mapFromGlobal(target->mapToGlobal(end));
        mouse(source, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, start + QPoint(15, 0), Qt::NoButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        mouse(source, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        settle();
        return "arrasta " + dimension + " para " + where;
    }

    // A right click on the dimension's header (or page caption), then one of the menu's moves.
    std::string menuMove() {
        const std::string dimension = anyDimension();
        auto [source, at] = handleOf(dimension);
        if (!source) return "nada a mover";
        for (QMenu* old : view()->findChildren<QMenu*>()) old->close();
        settle();
        if (qobject_cast<QLabel*>(source)) {
            emit static_cast<QLabel*>(source)->customContextMenuRequested(at);
        } else {
            QContextMenuEvent e(QContextMenuEvent::Mouse, at, source->mapToGlobal(at));
            QApplication::sendEvent(source, &e);
        }
        QMenu* menu = nullptr;
        for (QMenu* m : view()->findChildren<QMenu*>("mnuDimensaoCubo"))
            if (m->isVisible()) menu = m;
        if (!menu) return "menu de " + dimension + " não abriu";
        std::vector<QAction*> moves;
        for (QAction* a : menu->actions())
            if (a->text().startsWith("Mover") && a->isEnabled()) moves.push_back(a);
        QAction* chosen = moves.at(pick(moves.size()));
        const std::string caption = chosen->text().toStdString();
        chosen->trigger();
        menu->close();
        settle();
        return "menu: " + caption;
    }

    std::string sortByHeader() {
        PivotGridView* g = view()->Grid();
        QTableView* part = g->Cells()->isVisible() && pick(2) ? g->Cells() : g->Totals();
        std::vector<int> shown;
        for (int c = 0; c < part->model()->columnCount(); ++c)
            if (!part->isColumnHidden(c)) shown.push_back(c);
        if (shown.empty()) return "nenhuma coluna";
        const int section = shown.at(pick(shown.size()));
        QHeaderView* h = part->horizontalHeader();
        part->horizontalScrollBar()->setValue(part->horizontalScrollBar()->maximum());  // then back to the column
        part->scrollTo(part->model()->index(0, section), QAbstractItemView::PositionAtCenter);
        settle();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(h->sectionViewportPosition(section) + 3, h->height() - 4));
        settle();
        return "ordena pela coluna " + std::to_string(section);
    }

    std::string toggleGroup() {
        PivotGridView* g = view()->Grid();
        const PivotGrid& grid = viewer().Grid;
        std::vector<int> groups;
        for (size_t l = 0; l + 1 < grid.Lines(); ++l)
            if (grid.Kind(l) == "subtotal") groups.push_back(static_cast<int>(l));
        if (groups.empty()) return "nenhum grupo";
        const int line = groups.at(pick(groups.size()));
        const QModelIndex index = g->Labels()->model()->index(line, static_cast<int>(grid.Depth(static_cast<size_t>(line))) - 1);
        const std::string what = grid.Label(static_cast<size_t>(line), grid.Depth(static_cast<size_t>(line)) - 1);
        g->Labels()->scrollTo(index);
        settle();
        const QRect r = g->Labels()->visualRect(index);
        QTest::mouseClick(g->Labels()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.left() + 7, r.center().y()));
        settle();
        return "caixa do grupo " + what + " (linha " + std::to_string(line) + ")";
    }

    std::string subtotals() {
        auto* box = view()->findChild<QCheckBox*>("chkSubtotais");
        QTest::mouseClick(box, Qt::LeftButton);
        settle();
        return "subtotais";
    }

    std::string show() {
        auto* combo = view()->findChild<QComboBox*>("cbxMostrar");
        const int index = static_cast<int>(pick(static_cast<size_t>(combo->count())));
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        settle();
        return "mostrar " + combo->itemText(index).toStdString();
    }

    // A key on a cell taken at random: the group keys, the arrows, the sort and the moves.
    std::string key() {
        PivotGridView* g = view()->Grid();
        QAbstractItemModel* m = g->Labels()->model();
        if (m->rowCount() == 0 || m->columnCount() == 0) return "sem células";
        const int row = static_cast<int>(pick(static_cast<size_t>(m->rowCount())));
        const int column = static_cast<int>(pick(static_cast<size_t>(m->columnCount())));
        const bool foot = row == m->rowCount() - 1;
        QTableView* part = column < g->LabelColumns() ? (foot ? g->TotalLineLabels() : g->Labels())
                           : column < g->TotalStart() ? (foot ? g->TotalLine() : g->Cells())
                                                      : (foot ? g->TotalLineTotals() : g->Totals());
        part->setFocus();
        g->Labels()->selectionModel()->setCurrentIndex(m->index(row, column), QItemSelectionModel::ClearAndSelect);
        const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::ShiftModifier;
        static const std::pair<Qt::Key, const char*> keys[] = {
            {Qt::Key_Minus, "-"}, {Qt::Key_Plus, "+"}, {Qt::Key_Space, "Espaço"}, {Qt::Key_Left, "←"}, {Qt::Key_Right, "→"},
            {Qt::Key_Up, "↑"},    {Qt::Key_Down, "↓"}, {Qt::Key_O, "Ctrl+Shift+O"}, {Qt::Key_L, "Ctrl+Shift+L"},
            {Qt::Key_C, "Ctrl+Shift+C"}, {Qt::Key_P, "Ctrl+Shift+P"}};
        const auto& [k, name] = keys[pick(std::size(keys))];
        QTest::keyClick(part, k, k == Qt::Key_O || k == Qt::Key_L || k == Qt::Key_C || k == Qt::Key_P ? both : Qt::NoModifier);
        settle();
        return std::string("tecla ") + name + " na célula " + std::to_string(row) + ", " + std::to_string(column);
    }

    // The scroll bars a person drags: the one under the cells (or the totals), and the body's.
    std::string scroll() {
        PivotGridView* g = view()->Grid();
        QScrollBar* across = (g->TotalLine()->isVisible() ? g->TotalLine() : g->TotalLineTotals())->horizontalScrollBar();
        QScrollBar* down = g->Totals()->verticalScrollBar();
        const int x = across->minimum() + static_cast<int>(pick(static_cast<size_t>(across->maximum() - across->minimum() + 1)));
        const int y = down->minimum() + static_cast<int>(pick(static_cast<size_t>(down->maximum() - down->minimum() + 1)));
        across->setValue(x);
        down->setValue(y);
        settle();
        return "rola para " + std::to_string(x) + ", " + std::to_string(y);
    }

    // The viewer's window maximized, or back to its size.
    std::string resizeWindow() {
        auto* window = qobject_cast<QMdiSubWindow*>(view()->parentWidget());
        if (!window) return "sem janela";
        const bool maximize = !window->isMaximized();
        if (maximize) window->showMaximized();
        else window->showNormal();
        settle();
        return maximize ? "maximiza" : "restaura";
    }

    std::string choosePage() {
        if (viewer().Pages.empty()) return dragDimension();
        const int p = static_cast<int>(pick(viewer().Pages.size()));
        QComboBox* combo = view()->Page(p);
        const int index = static_cast<int>(pick(static_cast<size_t>(combo->count())));
        const std::string what = combo->itemText(index).toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        settle();
        return "página " + what;
    }

    GridWindow& w_;
    std::mt19937& random_;
};

}  // namespace

TEST_F(GridWindow, APivotRoundTripToColumnsAndBackKeepsEveryLine) {
    ASSERT_NE(build({{"Produto", "trvRows"}, {"Cliente", "trvRows"}}), nullptr);
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "");
    run({"pivot", "Cliente", "columns"});
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "");
    std::unique_ptr<QMenu> menu(view()->DimensionMenu("Cliente"));
    QAction* back = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == "Mover Cliente para Linhas") back = a;
    ASSERT_NE(back, nullptr) << "the menu names the dimension it moves";
    back->trigger();
    QApplication::processEvents();
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "") << "back in the rows, every detail line shows again";
    run({"collapse", "Produto", "Café"});
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "");
    run({"expand", "Produto"});
    run({"sort", "Faturamento", "asc"});
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "");
    run({"pivot", "Cliente", "pages"});
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "") << "the total line stays under its columns";
}

TEST_F(GridWindow, LongRandomSequencesOfGesturesKeepTheWindowTrue) {
    unsigned seed = std::random_device{}();
    if (const char* given = std::getenv("QEL_GRID_SEED")) seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    ASSERT_NE(build(kThreeByTwo), nullptr);
    ASSERT_EQ(checkGrid(view(), dumpOf(*shell)), "") << "as the viewer opens";
    std::mt19937 random(seed);
    Gestures gestures(*this, random);
    // Four sequences, each from three row levels and two column levels, put back by the runner.
    for (int sequence = 0; sequence < 4; ++sequence) {
        for (size_t d = 0; d < kThreeByTwo.size(); ++d)
            run({"pivot", kThreeByTwo[d].first, d < 3 ? "rows" : "columns", std::to_string(d < 3 ? d : d - 3)});
        for (const char* dimension : {"Produto", "Cliente"}) run({"expand", dimension});
        run({"subtotals", "on"});
        run({"show", "values"});
        run({"sort", "none"});
        ASSERT_EQ(view()->Viewer()->Rows.size(), 3u);
        ASSERT_EQ(view()->Viewer()->Columns.size(), 2u);
        std::string story;
        for (int step = 0; step < 40; ++step) {
            story += "  " + gestures.Next() + "\n";
            const std::string wrong = checkGrid(view(), dumpOf(*shell));
            if (!wrong.empty())
                FAIL() << "semente " << seed << " (QEL_GRID_SEED=" << seed << " repete), sequência " << sequence << ", passo " << step
                       << ":\n" << story << wrong;
        }
    }
}

// Every cell column stays under its header, and the total line under both, at every horizontal
// scroll position; the bar scrolls forward (its thumb on the left shows the first column), and
// maximized, the last column comes fully into view beside the frozen totals.
TEST_F(GridWindow, TheCellsStayUnderTheirHeadersAtEveryScrollPosition) {
    ASSERT_NE(build(kThreeByTwo), nullptr);
    auto* window = qobject_cast<QMdiSubWindow*>(view()->parentWidget());
    ASSERT_NE(window, nullptr);
    const nlohmann::json state = dumpOf(*shell);  // resizing changes nothing the viewer holds
    // Each pass starts where the last left the bar, at its end: maximized, then back to its size.
    for (const char* size : {"normal", "maximized", "restored"}) {
        if (size == std::string("maximized")) window->showMaximized();
        if (size == std::string("restored")) window->showNormal();
        QApplication::processEvents();
        ASSERT_EQ(checkGrid(view(), state), "") << size << ", before any scroll";
        PivotGridView* g = view()->Grid();
        QTableView* cells = g->Cells();
        QScrollBar* bar = g->TotalLine()->horizontalScrollBar();  // the bar a person drags
        ASSERT_TRUE(bar->isVisible());
        ASSERT_GT(bar->maximum(), bar->minimum()) << "the cells are wider than their part";
        int previous = -1;
        for (int value = bar->minimum(); value <= bar->maximum(); ++value) {
            bar->setValue(value);
            ASSERT_EQ(checkPlaces(view()->Grid()), "") << "at " << value << ", " << size;
            const int left = cells->columnAt(0);
            ASSERT_GE(left, previous) << "the bar moves the columns forward";
            previous = left;
        }
        const int last = g->TotalStart() - 1;
        const QPoint lastRight = cells->viewport()->mapToGlobal(QPoint(cells->columnViewportPosition(last) + cells->columnWidth(last) - 1, 0));
        EXPECT_LT(lastRight.x(), g->Totals()->viewport()->mapToGlobal(QPoint(0, 0)).x()) << "not under the totals, " << size;
    }
}

// The grid worked from the keyboard alone: the arrows cross its parts, -/+/Space/Left/Right collapse
// and expand groups, Ctrl+Shift+O sorts by the current column, Shift+F10 and Menu open the current
// cell's menu, Ctrl+Shift+L / C / P move the current dimension, and a page's list moves its own.
TEST_F(GridWindow, TheGridIsWorkedFromTheKeyboard) {
    ASSERT_NE(build(kThreeByTwo), nullptr);
    auto grid = [&] { return view()->Grid(); };
    auto current = [&] { return grid()->Labels()->selectionModel()->currentIndex(); };
    auto key = [&](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : grid()->Labels(), static_cast<Qt::Key>(k), mods);
        QApplication::processEvents();
    };
    auto collapsed = [&](const std::string& dimension) {
        auto c = view()->Viewer()->Settings().collapsed.find(dimension);
        return c == view()->Viewer()->Settings().collapsed.end() ? std::set<std::string>{} : c->second.members;
    };
    view()->activateWindow();
    grid()->Labels()->setFocus();
    grid()->Labels()->selectionModel()->setCurrentIndex(grid()->Labels()->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    QApplication::processEvents();
    ASSERT_EQ(view()->Viewer()->Grid.Kind(0), "subtotal");
    const std::string first = view()->Viewer()->Grid.Label(0, 0);  // the first product's group

    key(Qt::Key_Minus);
    EXPECT_EQ(collapsed("Produto"), std::set<std::string>{first});
    EXPECT_EQ(current().row(), 0) << "the current cell stays on the group's line";
    key(Qt::Key_Plus);
    EXPECT_TRUE(collapsed("Produto").empty());
    key(Qt::Key_Left);
    EXPECT_EQ(collapsed("Produto"), std::set<std::string>{first}) << "Left on an open group closes it";
    key(Qt::Key_Right);
    EXPECT_TRUE(collapsed("Produto").empty()) << "Right on a closed group opens it";
    key(Qt::Key_Space);
    EXPECT_EQ(collapsed("Produto"), std::set<std::string>{first});
    key(Qt::Key_Space);
    EXPECT_TRUE(collapsed("Produto").empty());
    EXPECT_EQ(current(), grid()->Labels()->model()->index(0, 0));

    // Down to the first detail line: its - closes the client group it belongs to.
    const PivotGrid& lines = view()->Viewer()->Grid;
    int detail = 0;
    while (lines.Kind(static_cast<size_t>(detail)) != "detail") ++detail;
    for (int i = 0; i < detail; ++i) key(Qt::Key_Down);
    ASSERT_EQ(current().row(), detail);
    const std::string client = lines.Label(static_cast<size_t>(detail), 1);
    key(Qt::Key_Minus);
    EXPECT_EQ(collapsed("Cliente"), std::set<std::string>{client});
    ASSERT_TRUE(current().isValid());
    EXPECT_EQ(view()->Viewer()->Grid.Labels(static_cast<size_t>(current().row())),
              (std::vector<std::string>{first, client})) << "the current cell goes to the group standing for the line";
    run({"expand", "Cliente"});

    // Right from the last label column into the cells, Ctrl+Shift+O sorts by that column.
    grid()->Labels()->setFocus();
    grid()->Labels()->selectionModel()->setCurrentIndex(grid()->Labels()->model()->index(0, 2), QItemSelectionModel::ClearAndSelect);
    key(Qt::Key_Right);
    EXPECT_EQ(current().column(), 3);
    EXPECT_EQ(QApplication::focusWidget(), grid()->Cells()) << "the arrow crosses into the cells";
    key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    const auto& sorted = view()->Viewer()->Settings();
    EXPECT_EQ(sorted.sortFact, std::optional<std::string>("Faturamento"));
    EXPECT_EQ(sorted.sortColumn, std::optional<std::vector<std::string>>(view()->Viewer()->Grid.columnKeys.at(0)));
    EXPECT_TRUE(sorted.sortDescending);
    // Down past the body's last line: the total line.
    const int total = grid()->Labels()->model()->rowCount() - 1;
    grid()->Cells()->selectionModel()->setCurrentIndex(grid()->Cells()->model()->index(total - 1, 3), QItemSelectionModel::ClearAndSelect);
    key(Qt::Key_Down);
    EXPECT_EQ(current().row(), total);
    EXPECT_EQ(QApplication::focusWidget(), grid()->TotalLine());
    key(Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), grid()->Cells());
    key(Qt::Key_End);
    EXPECT_EQ(current().column(), grid()->Labels()->model()->columnCount() - 1);
    EXPECT_EQ(QApplication::focusWidget(), grid()->Totals()) << "End: the line's last cell, a grand total";
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(current().row(), total);
    EXPECT_EQ(QApplication::focusWidget(), grid()->TotalLineTotals());
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(current(), grid()->Labels()->model()->index(0, 0));
    EXPECT_EQ(QApplication::focusWidget(), grid()->Labels());
    key(Qt::Key_PageDown);
    EXPECT_GT(current().row(), 1);
    key(Qt::Key_PageUp);
    EXPECT_EQ(current().row(), 0);
    grid()->Cells()->setFocus();
    grid()->Cells()->selectionModel()->setCurrentIndex(grid()->Cells()->model()->index(total - 1, 3), QItemSelectionModel::ClearAndSelect);

    // Shift+F10 on a cell: sort by its column, and each column dimension's menu.
    auto shownMenu = [&](const char* name) -> QMenu* {
        for (QMenu* m : view()->findChildren<QMenu*>(name))
            if (m->isVisible()) return m;
        return nullptr;
    };
    key(Qt::Key_F10, Qt::ShiftModifier);
    QMenu* menu = shownMenu("mnuCelulaCubo");
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* a : menu->actions()) entries << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(entries, QStringList({"Ordenar por esta coluna\tCtrl+Shift+O", "-", "Período", "Região d'Oeste"}));
    ASSERT_NE(menu->actions().last()->menu(), nullptr);
    QStringList moves;
    for (QAction* a : menu->actions().last()->menu()->actions())
        if (a->text().startsWith("Mover")) moves << a->text() + (a->isEnabled() ? "" : " (off)");
    EXPECT_EQ(moves, QStringList({"Mover Região d'Oeste para Linhas", "Mover Região d'Oeste para Colunas (off)", "Mover Região d'Oeste para Páginas"}));
    menu->close();
    // The Menu key on a label: its row dimension's menu.
    grid()->Labels()->setFocus();
    grid()->Labels()->selectionModel()->setCurrentIndex(grid()->Labels()->model()->index(0, 1), QItemSelectionModel::ClearAndSelect);
    key(Qt::Key_Menu);
    menu = shownMenu("mnuDimensaoCubo");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().at(1)->text(), "Mover Cliente para Colunas");
    menu->close();
    QApplication::processEvents();

    // Ctrl+Shift+C sends the label's dimension to the columns, Ctrl+Shift+P a cell's innermost column
    // dimension to the pages, and on that page's list Ctrl+Shift+L brings it to the rows.
    key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view()->Viewer()->Rows, (std::vector<std::string>{"Produto", "Filial"}));
    EXPECT_EQ(view()->Viewer()->Columns, (std::vector<std::string>{"Período", "Região d'Oeste", "Cliente"}));
    grid()->Cells()->setFocus();
    grid()->Cells()->selectionModel()->setCurrentIndex(grid()->Cells()->model()->index(0, 2), QItemSelectionModel::ClearAndSelect);
    key(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view()->Viewer()->Columns, (std::vector<std::string>{"Período", "Região d'Oeste"}));
    ASSERT_EQ(view()->Viewer()->Pages.size(), 1u);
    EXPECT_EQ(view()->Viewer()->Pages[0].dimension, "Cliente");
    QComboBox* page = view()->Page(0);
    ASSERT_NE(page, nullptr);
    QTest::keyClick(page, Qt::Key_F10, Qt::ShiftModifier);
    menu = shownMenu("mnuDimensaoCubo");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().at(2)->text(), "Mover Cliente para Páginas");
    EXPECT_FALSE(menu->actions().at(2)->isEnabled());
    menu->close();
    QTest::keyClick(view()->Page(0), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::processEvents();
    EXPECT_TRUE(view()->Viewer()->Pages.empty());
    EXPECT_EQ(view()->Viewer()->Rows, (std::vector<std::string>{"Produto", "Filial", "Cliente"}));
    EXPECT_EQ(checkGrid(view(), dumpOf(*shell)), "");
}
