// The desktop front end, offscreen: real Qt events on the drawn screen reach the toolkit as a
// person's gestures do, and the windows show what the toolkit holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolTip>
#include <QHelpEvent>
#include <QInputDialog>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QDialogButtonBox>
#include <QLocale>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cube/viewer.hpp"
#include "cube_view.hpp"
#include "front_end.hpp"
#include "member_dialog.hpp"
#include "pivot_chart.hpp"
#include "pivot_grid.hpp"
#include "screen_view.hpp"
#include "services/cube.hpp"
#include "shell.hpp"
#include "support/processes.hpp"
#include "toolkit/tree_view.hpp"
#include "tree_widget.hpp"

namespace {

std::string testCatalogue() {
    return ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
           ReadFile(QEL_TEST_DIR "/catalogue.sql") + ReadFile(QEL_TEST_DIR "/warehouse.sql");
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

struct Gui : ::testing::Test {
    TempDatabase db{testCatalogue()};
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
        fe->Window()->show();
        fe->Act([&] { shell->Run({"open"}); });
        QApplication::processEvents();
    }
    void TearDown() override {
        fe.reset();
        shell.reset();
    }
    void run(const std::string& line) {
        std::vector<std::string> words;
        std::string w;
        for (char c : line + " ") {
            if (c == ' ') {
                if (!w.empty()) words.push_back(w);
                w.clear();
            } else {
                w += c;
            }
        }
        fe->Act([&] { shell->Run(words); });
    }
    TTreeNode* node(const std::string& tree, const std::string& text) {
        TTreeView* t = fe->Tree(tree)->Tree();
        for (int i = 0; i < t->Items().Count(); ++i)
            if (t->Items()[i]->Text == text) return t->Items()[i];
        return nullptr;
    }
    std::string zone(const std::string& name) {
        TTreeView* t = fe->Tree(name)->Tree();
        std::string out;
        for (int i = 0; i < t->Items().Count(); ++i) out += (out.empty() ? "" : ",") + t->Items()[i]->Text;
        return out;
    }
    // A real drag: press on the node, move past the drag distance and over the target, release.
    bool drag(const std::string& from, const std::string& text, const std::string& to, QCursor* shape = nullptr) {
        TreeWidget* source = fe->Tree(from);
        QWidget* target = fe->Tree(to);
        QPoint start = source->PointOf(node(from, text));
        QPoint end = source->mapFromGlobal(target->mapToGlobal(QPoint(20, target->height() - 8)));
        mouse(source, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, start + QPoint(12, 12), Qt::NoButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, end, Qt::NoButton, Qt::LeftButton);
        if (shape) *shape = source->cursor();
        mouse(source, QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
        QApplication::processEvents();
        return node(to, text) != nullptr;  // the target now holds it
    }
    // Faturamento in the facts zone, Produto and Cliente in the rows, by real drags.
    bool layOutFaturamentoByProdutoAndCliente() {
        run("press trvFatos Vendas");
        run("dblclick trvFatos Vendas Faturamento");
        return drag("trvDimensoes", "Produto", "trvRows") && drag("trvDimensoes", "Cliente", "trvRows");
    }
    // Faturamento by Produto, with another dimension in a zone (filtered to `selection`, if given),
    // built with real drags; the viewer that opens, or null.
    CubeView* buildFaturamentoByProduto(const std::string& other, const std::string& zone, const std::string& selection = "") {
        run("press trvFatos Vendas");
        run("dblclick trvFatos Vendas Faturamento");
        if (!drag("trvDimensoes", "Produto", "trvRows") || !drag("trvDimensoes", other, zone)) return nullptr;
        if (!selection.empty()) {
            run("answer confirm " + selection);
            run("dblclick " + zone + " " + other);
        }
        run("key Ctrl+F2");
        return fe->Viewer();
    }
};

}  // namespace

TEST_F(Gui, ARealDragTakesADimensionIntoAZoneAndARefusedOneChangesNothing) {
    run("press trvFatos Vendas");
    run("dblclick trvFatos Vendas Faturamento");
    QCursor shape;
    EXPECT_TRUE(drag("trvDimensoes", "Produto", "trvRows", &shape));
    EXPECT_EQ(shape.shape(), Qt::DragMoveCursor);
    EXPECT_EQ(zone("trvRows"), "Produto");
    EXPECT_FALSE(drag("trvDimensoes", "Cliente", "trvFacts", &shape));  // dimensions never go to the facts zone
    EXPECT_EQ(shape.shape(), Qt::ForbiddenCursor);
    EXPECT_EQ(zone("trvFacts"), "Faturamento");
    EXPECT_EQ(zone("trvRows"), "Produto");
    EXPECT_TRUE(drag("trvRows", "Produto", "trvCols"));  // from zone to zone
    EXPECT_EQ(zone("trvCols"), "Produto");
    EXPECT_EQ(zone("trvRows"), "");
}

TEST_F(Gui, TheContextMenuIsRebuiltAtEachOpeningAndItsEntriesAct) {
    ASSERT_TRUE(layOutFaturamentoByProdutoAndCliente());
    TreeWidget* rows = fe->Tree("trvRows");
    QPoint at = rows->PointOf(node("trvRows", "Cliente"));
    mouse(rows, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    mouse(rows, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
    QMenu* menu = fe->LastPopup();
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* a : menu->actions()) entries << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(entries, (QStringList{"Filtrar\tF9", "Excluir\tDel", "-", "Agrupar"}));
    QMenu* group = menu->actions().last()->menu();
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->actions().size(), 1);
    EXPECT_EQ(group->actions()[0]->text(), "Produto");
    group->actions()[0]->trigger();
    QApplication::processEvents();
    EXPECT_EQ(zone("trvRows"), "Produto,Cliente");
    EXPECT_EQ(node("trvRows", "Cliente")->Level(), 1);
}

TEST_F(Gui, KeysReachTheFormsRoutingAndTheMenuBarFollowsTheCommandState) {
    ASSERT_TRUE(layOutFaturamentoByProdutoAndCliente());
    TreeWidget* rows = fe->Tree("trvRows");
    QTest::mouseClick(rows, Qt::LeftButton, {}, rows->PointOf(node("trvRows", "Produto")));
    QTest::keyClick(rows, Qt::Key_Delete);  // the menu's "Excluir Item de Configuração" takes it
    EXPECT_EQ(zone("trvRows"), "Cliente");
    QMenu* maintenance = nullptr;
    for (QAction* a : fe->Window()->menuBar()->actions())
        if (a->text() == "&Manutenção") maintenance = a->menu();  // Alt+M opens it
    ASSERT_NE(maintenance, nullptr);
    QStringList entries;
    for (QAction* a : maintenance->actions()) entries << (a->isSeparator() ? "-" : a->text() + (a->isEnabled() ? "" : " (off)"));
    EXPECT_EQ(entries, (QStringList{"Atualizar\tF5", "Excluir Item de Configuração\tDel", "Excluir Todos os Itens de Configuração\tCtrl+Del",
                                    "-", "Construir Visão de DW\tCtrl+F2", "-", "Desfazer\tCtrl+Z", "Refazer\tCtrl+Y (off)"}));
    // Ctrl+Z brings the item back, Ctrl+Y takes it out again.
    QTest::keyClick(rows, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(zone("trvRows"), "Produto,Cliente");
    QTest::keyClick(fe->Tree("trvRows"), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(zone("trvRows"), "Cliente");
    rows = fe->Tree("trvRows");
    QTest::keyClick(rows, Qt::Key_F2, Qt::ControlModifier);  // builds: the screen closes, the viewer opens
    QApplication::processEvents();
    EXPECT_EQ(fe->Screen(), nullptr);
    ASSERT_NE(fe->Viewer(), nullptr);
    EXPECT_EQ(Linhas.Items(), std::vector<std::string>{"Cliente"});
}

TEST_F(Gui, TheViewerChoosesPagesAndExportsItsGrid) {
    CubeView* view = buildFaturamentoByProduto("Filial", "trvPages");
    ASSERT_NE(view, nullptr);
    QComboBox* page = view->Page(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->itemText(0), "(Todos)");
    EXPECT_EQ(page->count(), 3);  // São Paulo, Campinas: by key
    QAbstractItemModel* model = view->Table()->model();
    auto cell = [&](int r, int c) { return model->data(model->index(r, c)).toString(); };
    EXPECT_EQ(cell(2, 0), "Total");
    EXPECT_EQ(cell(2, 1), "350");
    page->setCurrentIndex(1);
    emit page->activated(1);  // São Paulo
    QApplication::processEvents();
    view = fe->Viewer();
    model = view->Table()->model();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(cell(0, 0), "Café");
    EXPECT_EQ(cell(1, 1), "150");
    TempDatabase scratch("");
    const QString csv = QString::fromStdString(scratch.Path() + ".csv");
    fe->ChooseExportFile = [&] { return csv; };
    view->ExportButton()->click();
    // Without a column dimension only the grand-total column is left.
    EXPECT_EQ(ReadFile(csv.toStdString()), "\xEF\xBB\xBFPágina;Filial;São Paulo\r\nTipo;Produto;Faturamento\r\nDetalhe;Café;150\r\nTotal;;150\r\n");
    std::remove(csv.toStdString().c_str());
    EXPECT_EQ(BrazilianNumber(1234567.891), "1.234.567,89");
    EXPECT_EQ(BrazilianNumber(-350), "-350");
}

TEST_F(Gui, TheViewerShowsFiltersByLabelAndEachMeasureWithItsDecimals) {
    CubeView* view = buildFaturamentoByProduto("Cliente", "trvCols", "'C01','C02'");
    ASSERT_NE(view, nullptr);
    QLabel* filters = nullptr;
    for (QLabel* l : view->findChildren<QLabel*>())
        if (l->text().startsWith("Filtros:")) filters = l;
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(filters->text(), "Filtros: Cliente: Mercado, Padaria");  // labels, not the codes 'C01','C02'
    EXPECT_EQ(filters->toolTip(), "Cliente: Mercado, Padaria");
    QAbstractItemModel* model = view->Table()->model();
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), "100");  // whole sums show no decimals
}

// Faturamento by Produto and Cliente in rows: Café (Empório d'Ávila 50, Mercado 100), Açúcar (Padaria 200).
TEST_F(Gui, TheViewersGridKeepsLabelsHeadersAndTotalsInPlaceAndItsGesturesAct) {
    CubeView* view = buildFaturamentoByProduto("Cliente", "trvRows");
    ASSERT_NE(view, nullptr);
    PivotGridView* grid = view->Grid();
    // Labels, cells and totals are parts of one grid: each shows only its columns, the body never the
    // total line, the total line's views nothing else.
    auto shownColumns = [](QTableView* v) {
        std::vector<int> out;
        for (int c = 0; c < v->model()->columnCount(); ++c)
            if (!v->isColumnHidden(c)) out.push_back(c);
        return out;
    };
    EXPECT_EQ(shownColumns(grid->Labels()), (std::vector<int>{0, 1}));
    EXPECT_EQ(shownColumns(grid->Totals()), (std::vector<int>{2}));
    EXPECT_FALSE(grid->Cells()->isVisible()) << "no column dimension: only the grand total stands";
    const int lines = grid->Labels()->model()->rowCount();
    EXPECT_EQ(lines, 6);
    EXPECT_TRUE(grid->Labels()->isRowHidden(lines - 1));
    EXPECT_EQ(grid->TotalLine()->rowAt(5), lines - 1) << "the total line's view shows the total";

    // The body scrolls as one: the labels follow the totals' scroll bar.
    view->parentWidget()->resize(600, 230);  // the viewer's own window
    QApplication::processEvents();
    QScrollBar* bar = grid->Totals()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the window is small enough to scroll";
    bar->setValue(bar->maximum());
    EXPECT_EQ(grid->Labels()->verticalScrollBar()->value(), bar->maximum());
    EXPECT_EQ(grid->Labels()->rowAt(grid->Labels()->viewport()->height() - 2), grid->Totals()->rowAt(grid->Totals()->viewport()->height() - 2));
    bar->setValue(0);

    // A click on the group's box collapses Café; another expands it.
    auto clickBox = [&](int row) {
        QRect r = grid->Labels()->visualRect(grid->Labels()->model()->index(row, 0));
        QTest::mouseClick(grid->Labels()->viewport(), Qt::LeftButton, Qt::NoModifier, r.topLeft() + QPoint(8, r.height() / 2));
        QApplication::processEvents();
    };
    clickBox(0);
    view = fe->Viewer();
    ASSERT_EQ(view->Viewer()->Settings().collapsed.count("Produto"), 1u);
    EXPECT_EQ(view->Viewer()->Settings().collapsed.at("Produto").members, std::set<std::string>{"Café"});
    EXPECT_EQ(view->Grid()->Labels()->model()->rowCount(), 4);
    clickBox(0);
    EXPECT_TRUE(fe->Viewer()->Viewer()->Settings().collapsed.empty());

    // A click on the total's header sorts by it: descending, ascending, then member order again.
    auto clickHeader = [&](int section) {
        QHeaderView* h = fe->Viewer()->Grid()->Totals()->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(h->sectionViewportPosition(section) + 5, h->height() - 5));
        QApplication::processEvents();
        return fe->Viewer()->Viewer()->Settings();
    };
    auto sorted = clickHeader(2);
    EXPECT_EQ(sorted.sortFact, std::optional<std::string>("Faturamento"));
    EXPECT_TRUE(sorted.sortDescending);
    QAbstractItemModel* model = fe->Viewer()->Table()->model();
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "Açúcar");  // 200 before 150
    EXPECT_FALSE(clickHeader(2).sortDescending);
    EXPECT_FALSE(clickHeader(2).sortFact.has_value());

    // Ctrl+C copies the selected cells as tab-separated text: labels in full, plain decimal numbers.
    grid = fe->Viewer()->Grid();
    model = grid->Labels()->model();
    grid->Labels()->selectionModel()->select(QItemSelection(model->index(1, 0), model->index(2, 2)), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid->Totals(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Café\tEmpório d'Ávila\t50\nCafé\tMercado\t100\n");

    // The dimension menu moves Cliente to the columns, from memory.
    std::unique_ptr<QMenu> menu(fe->Viewer()->DimensionMenu("Cliente"));
    QStringList captions;
    QAction* toColumns = nullptr;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) captions << a->text();
        if (a->text() == "Mover Cliente para Colunas") toColumns = a;
    }
    EXPECT_EQ(captions, QStringList({"Mover Cliente para Linhas", "Mover Cliente para Colunas", "Mover Cliente para Páginas", "Ordenar pelo nome"}));
    ASSERT_NE(toColumns, nullptr);
    toColumns->trigger();
    QApplication::processEvents();
    view = fe->Viewer();
    EXPECT_EQ(view->Viewer()->Columns, std::vector<std::string>{"Cliente"});
    EXPECT_TRUE(view->Grid()->Cells()->isVisible());
    EXPECT_EQ(shownColumns(view->Grid()->Cells()), (std::vector<int>{1, 2, 3}));  // Mercado, Padaria, Empório d'Ávila
    // Clicking a cell makes it current in every part; the total line stays on the total.
    QTableView* cells = view->Grid()->Cells();
    QTest::mouseClick(cells->viewport(), Qt::LeftButton, Qt::NoModifier, cells->visualRect(cells->model()->index(0, 1)).center());
    EXPECT_EQ(view->Grid()->TotalLine()->rowAt(5), cells->model()->rowCount() - 1) << "the current cell does not scroll the total line away";

    // The chart follows the grid: Produto as categories, Cliente as series.
    run("chart bar");
    QApplication::processEvents();
    view = fe->Viewer();
    ASSERT_TRUE(view->Chart()->isVisible());
    EXPECT_EQ(view->Chart()->Categories(), QStringList({"Café", "Açúcar"}));
    EXPECT_EQ(view->Chart()->SeriesCount(), 3);
    run("chart off");
    QApplication::processEvents();
    EXPECT_FALSE(fe->Viewer()->Chart()->isVisible());
}

// Dimensions are dragged between the viewer's axes by their headers and page captions; a drag that
// ends nowhere changes nothing and sorts nothing.
TEST_F(Gui, ADimensionDraggedByItsHeaderMovesBetweenTheViewersAxes) {
    ASSERT_NE(buildFaturamentoByProduto("Cliente", "trvRows"), nullptr);
    auto dragFrom = [&](QWidget* source, QPoint start, QWidget* target, QPoint end) {
        QPoint at = source->mapFromGlobal(target->mapToGlobal(end));
        mouse(source, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, start + QPoint(15, 0), Qt::NoButton, Qt::LeftButton);
        mouse(source, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        mouse(source, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QApplication::processEvents();
        return fe->Viewer();
    };
    auto section = [](QTableView* v, int s) {
        QHeaderView* h = v->horizontalHeader();
        return QPoint(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2);
    };
    CubeView* view = fe->Viewer();
    view->parentWidget()->resize(700, 450);  // within the offscreen screen, where widgets are found by position
    QApplication::processEvents();
    // Cliente, the second row header, onto the totals' header: a column dimension.
    view = dragFrom(view->Grid()->Labels()->horizontalHeader()->viewport(), section(view->Grid()->Labels(), 1),
                    view->Grid()->Totals()->horizontalHeader()->viewport(), section(view->Grid()->Totals(), 1));
    EXPECT_EQ(view->Viewer()->Rows, std::vector<std::string>{"Produto"});
    EXPECT_EQ(view->Viewer()->Columns, std::vector<std::string>{"Cliente"});
    EXPECT_FALSE(view->Viewer()->Settings().sortFact.has_value()) << "a drag is no click";
    // Produto onto the pages bar.
    QWidget* hint = view->findChild<QLabel*>("dicaPaginas");
    ASSERT_NE(hint, nullptr);
    view = dragFrom(view->Grid()->Labels()->horizontalHeader()->viewport(), section(view->Grid()->Labels(), 0), hint, QPoint(5, 5));
    EXPECT_TRUE(view->Viewer()->Rows.empty());
    ASSERT_EQ(view->Viewer()->Pages.size(), 1u);
    EXPECT_EQ(view->Viewer()->Pages[0].dimension, "Produto");
    // Back from the page caption into the row labels, then a drag that ends over the export button.
    QLabel* caption = nullptr;
    for (QLabel* l : view->findChildren<QLabel*>())
        if (l->property("dimension").toString() == "Produto") caption = l;
    ASSERT_NE(caption, nullptr);
    view = dragFrom(caption, QPoint(5, 5), view->Grid()->Labels()->viewport(), QPoint(5, 5));
    EXPECT_EQ(view->Viewer()->Rows, std::vector<std::string>{"Produto"});
    EXPECT_TRUE(view->Viewer()->Pages.empty());
    QHeaderView* header = view->Grid()->Cells()->horizontalHeader();
    view = dragFrom(header->viewport(), QPoint(header->sectionViewportPosition(1) + 5, 5), view->ExportButton(), QPoint(5, 5));
    EXPECT_EQ(view->Viewer()->Columns, std::vector<std::string>{"Cliente"});
    EXPECT_FALSE(view->Viewer()->Settings().sortFact.has_value());
}

// Views that last, from the window: "Salvar visão…" names the viewer's window after the file, the
// Janela menu lists the open windows, "Editar visão" brings the layout back into the screen, and
// Arquivo → "Abrir visão…" opens the saved view again; Operação opens the screen.
TEST_F(Gui, TheViewIsSavedEditedAndOpenedFromTheWindow) {
    CubeView* view = buildFaturamentoByProduto("Cliente", "trvCols", "'C01','C02'");
    ASSERT_NE(view, nullptr);
    TempDatabase scratch("");
    // The build closed the screen: its window is gone from what is drawn (no ghost behind the viewer).
    QStringList shown;
    for (QMdiSubWindow* w : fe->Window()->findChildren<QMdiSubWindow*>())
        if (w->isVisible()) shown << w->objectName();
    EXPECT_EQ(shown, QStringList({"janelaCubo"}));
    const QString file = QString::fromStdString(scratch.Path() + " Vendas.qelv");
    fe->ChooseViewToSave = [&] { return file; };
    view->findChild<QPushButton*>("btnSalvarVisao")->click();
    QApplication::processEvents();
    ASSERT_TRUE(std::filesystem::exists(file.toStdString()));
    auto* viewerWindow = qobject_cast<QMdiSubWindow*>(fe->Viewer()->parentWidget());
    ASSERT_NE(viewerWindow, nullptr);
    const QString name = QString::fromStdString(ViewNameOf(file.toStdString()));
    EXPECT_EQ(viewerWindow->windowTitle(), "Cubo de Decisão - " + name);

    auto menuOf = [&](const char* name) { return fe->Window()->menuBar()->findChild<QMenu*>(name); };
    auto actionOf = [&](const char* name) { return fe->Window()->menuBar()->findChild<QAction*>(name); };
    QMenu* janela = menuOf("mnuJanela");
    ASSERT_NE(janela, nullptr);
    emit janela->aboutToShow();
    QStringList windows;
    for (QAction* a : janela->actions()) windows << a->text();
    EXPECT_TRUE(windows.contains("Cubo de Decisão - " + name)) << windows.join("|").toStdString();

    view->findChild<QPushButton*>("btnEditarVisao")->click();
    QApplication::processEvents();
    ASSERT_NE(fe->Screen(), nullptr) << "the screen opens with the view";
    EXPECT_EQ(zone("trvFacts"), "Faturamento");
    EXPECT_EQ(zone("trvRows"), "Produto");
    EXPECT_EQ(zone("trvCols"), "Cliente");
    EXPECT_EQ(node("trvCols", "Cliente")->ImageIndex, 0) << "the filter image on the filtered dimension";

    run("closeviewer");
    QApplication::processEvents();
    ASSERT_EQ(fe->Viewer(), nullptr);
    fe->ChooseViewToOpen = [&] { return file; };
    QAction* open = actionOf("mnuAbrirVisao");
    ASSERT_NE(open, nullptr);
    open->trigger();
    QApplication::processEvents();
    ASSERT_NE(fe->Viewer(), nullptr);
    EXPECT_EQ(fe->Viewer()->Viewer()->Name, std::optional<std::string>(name.toStdString()));
    EXPECT_EQ(fe->Viewer()->Viewer()->FilterLabels().size(), 1u);
    std::remove(file.toStdString().c_str());

    run("closebox");
    QApplication::processEvents();
    ASSERT_EQ(fe->Screen(), nullptr);
    QAction* construcao = actionOf("mnuConstrucaoVisao");
    ASSERT_NE(construcao, nullptr);
    construcao->trigger();
    QApplication::processEvents();
    EXPECT_NE(fe->Screen(), nullptr);
}

// The screen's window minimizes and restores by its own title-bar buttons, its contents intact, and the
// form hears it; maximized, its trees and zones grow with it.
TEST_F(Gui, TheScreensWindowMinimizesRestoresAndGrows) {
    auto* window = qobject_cast<QMdiSubWindow*>(fe->Screen()->parentWidget());
    ASSERT_NE(window, nullptr);
    auto titleButton = [&](QStyle::SubControl control) {
        QStyleOptionTitleBar option;
        option.initFrom(window);
        option.titleBarFlags = window->windowFlags();
        option.titleBarState = window->windowState();
        option.subControls = QStyle::SC_All;
        option.rect = QRect(0, 0, window->width(), window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, window));
        return window->style()->subControlRect(QStyle::CC_TitleBar, &option, control, window).center();
    };
    const QSize designed = window->size();
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, titleButton(QStyle::SC_TitleBarMinButton));
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_LT(window->height(), designed.height() / 2) << "a title bar, not a blank frame";
    EXPECT_EQ(shell->ScreenForm()->WindowState(), TWindowState::wsMinimized);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, titleButton(QStyle::SC_TitleBarNormalButton));
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(window->size(), designed);
    EXPECT_TRUE(fe->Screen()->isVisible()) << "restored with its contents";
    EXPECT_EQ(shell->ScreenForm()->WindowState(), TWindowState::wsNormal);

    QStringList system;
    for (QAction* a : window->systemMenu()->actions())
        if (!a->isSeparator()) system << a->text();
    EXPECT_EQ(system, QStringList({"&Restaurar", "Mi&nimizar", "Ma&ximizar", "&Fechar"}));

    TreeWidget* rows = fe->Tree("trvRows");
    const QSize before = rows->size();
    window->showMaximized();
    QApplication::processEvents();
    EXPECT_GT(rows->width(), before.width());
    EXPECT_GT(rows->height(), before.height());
    EXPECT_EQ(rows->Tree()->Height, rows->height()) << "the form knows the zone's new size";
}

// Keys do what the mouse does: Ctrl+Shift+L/C/P send the selected dimension to a zone, Alt+Up/Down
// reorder a zone, Shift+F10 opens the zone's menu; a refused move says why in the status bar.
TEST_F(Gui, TheKeyboardMovesItemsBetweenAndWithinZones) {
    run("press trvFatos Vendas");
    run("dblclick trvFatos Vendas Faturamento");
    TreeWidget* dimensions = fe->Tree("trvDimensoes");
    auto select = [&](const std::string& tree, const std::string& text) {
        TreeWidget* w = fe->Tree(tree);
        TTreeNode* n = node(tree, text);
        EXPECT_NE(n, nullptr) << tree << " " << text;
        if (!n) return w;
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->PointOf(n));
        QApplication::processEvents();
        return w;
    };
    select("trvDimensoes", "Produto");
    QTest::keyClick(dimensions, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    select("trvDimensoes", "Cliente");
    QTest::keyClick(dimensions, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    select("trvDimensoes", "Filial");
    QTest::keyClick(dimensions, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvRows"), "Produto,Cliente");
    EXPECT_EQ(zone("trvPages"), "Filial");

    TreeWidget* rows = select("trvRows", "Cliente");
    QTest::keyClick(rows, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(zone("trvRows"), "Cliente,Produto");
    QTest::keyClick(rows, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(zone("trvRows"), "Produto,Cliente");
    EXPECT_EQ(fe->Tree("trvRows")->Tree()->Selected()->Text, "Cliente") << "the moved item stays selected";
    QTest::keyClick(fe->Tree("trvRows"), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvCols"), "Cliente");

    // Sent again from the list: it is already in the view, so it moves there from its zone; sent to
    // the zone that holds it, it stays, and the status bar says so.
    select("trvDimensoes", "Produto");
    QTest::keyClick(fe->Tree("trvDimensoes"), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvCols"), "Cliente,Produto");
    EXPECT_EQ(zone("trvRows"), "");
    select("trvDimensoes", "Filial");
    QTest::keyClick(fe->Tree("trvDimensoes"), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvRows"), "Filial");
    EXPECT_EQ(zone("trvPages"), "");
    select("trvDimensoes", "Produto");
    QTest::keyClick(fe->Tree("trvDimensoes"), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvPages"), "Produto");
    EXPECT_EQ(zone("trvCols"), "Cliente");
    select("trvDimensoes", "Produto");
    QTest::keyClick(fe->Tree("trvDimensoes"), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(zone("trvPages"), "Produto");
    EXPECT_EQ(fe->Window()->statusBar()->currentMessage(), "“Produto” já está nesta área");

    // Tab goes through the lists and zones in reading order: left column down, then the zones.
    fe->Tree("trvFatos")->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(order, QStringList({"trvFatos", "trvDimensoes", "trvPages", "trvRows", "trvCols", "trvFacts"}));

    select("trvRows", "Filial");
    QTest::keyClick(fe->Tree("trvRows"), Qt::Key_F10, Qt::ShiftModifier);
    QApplication::processEvents();
    ASSERT_NE(fe->LastPopup(), nullptr);
    QStringList entries;
    for (QAction* a : fe->LastPopup()->actions())
        if (!a->isSeparator()) entries << a->text().section('\t', 0, 0);
    EXPECT_TRUE(entries.contains("Filtrar")) << entries.join("|").toStdString();
    fe->LastPopup()->close();
}

// During a drag the zone that would take the drop is highlighted, with a line where the item lands;
// one that refuses shows neither, and a refused drop says why in the status bar.
TEST_F(Gui, ADragShowsWhereTheItemWouldLandAndARefusalSaysWhy) {
    ASSERT_TRUE(layOutFaturamentoByProdutoAndCliente());
    TreeWidget* source = fe->Tree("trvDimensoes");
    TreeWidget* rows = fe->Tree("trvRows");
    TreeWidget* facts = fe->Tree("trvFacts");
    QPoint start = source->PointOf(node("trvDimensoes", "Filial"));
    mouse(source, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    mouse(source, QEvent::MouseMove, start + QPoint(12, 12), Qt::NoButton, Qt::LeftButton);
    QPoint onCliente = rows->PointOf(node("trvRows", "Cliente"));
    mouse(source, QEvent::MouseMove, source->mapFromGlobal(rows->mapToGlobal(onCliente)), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(rows->DropHintShown());
    EXPECT_EQ(rows->DropLineY(), 2 * TTreeView::RowHeight) << "from the list an item joins the end: the line under Cliente";
    EXPECT_EQ(source->cursor().shape(), Qt::DragMoveCursor);
    mouse(source, QEvent::MouseMove, source->mapFromGlobal(facts->mapToGlobal(QPoint(20, 20))), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(rows->DropHintShown());
    EXPECT_FALSE(facts->DropHintShown()) << "the facts zone refuses a dimension";
    EXPECT_EQ(source->cursor().shape(), Qt::ForbiddenCursor);
    mouse(source, QEvent::MouseButtonRelease, source->mapFromGlobal(facts->mapToGlobal(QPoint(20, 20))), Qt::LeftButton, Qt::NoButton);
    QApplication::processEvents();
    EXPECT_EQ(fe->Window()->statusBar()->currentMessage(), "Fatos só vão para a área Fatos");
    EXPECT_FALSE(rows->DropHintShown());

    // Within the zone, Cliente dragged onto Produto lands before it: the line is above Produto.
    QPoint cliente = rows->PointOf(node("trvRows", "Cliente"));
    mouse(rows, QEvent::MouseButtonPress, cliente, Qt::LeftButton, Qt::LeftButton);
    mouse(rows, QEvent::MouseMove, cliente + QPoint(12, 0), Qt::NoButton, Qt::LeftButton);
    QPoint produto = rows->PointOf(node("trvRows", "Produto"));
    mouse(rows, QEvent::MouseMove, produto, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(rows->DropHintShown());
    EXPECT_EQ(rows->DropLineY(), 0);
    mouse(rows, QEvent::MouseButtonRelease, produto, Qt::LeftButton, Qt::NoButton);
    QApplication::processEvents();
    EXPECT_EQ(zone("trvRows"), "Cliente,Produto") << "where the line showed";

    // The filter image's tooltip names the members.
    run("answer confirm 'P01','P03'");
    run("dblclick trvRows Produto");
    QPoint at = rows->PointOf(node("trvRows", "Produto"));
    QHelpEvent hover(QEvent::ToolTip, at, rows->mapToGlobal(at));
    QApplication::sendEvent(rows, &hover);
    EXPECT_EQ(QToolTip::text().toStdString(), "Filtro: P01, P03") << "keys, when no dialog of this window gave the labels";
}

// F1 and the "?" button open the help window; the build button says why it is off; a zone item
// without a filter image starts where the image would.
TEST_F(Gui, HelpAndTheReasonsTheWindowGives) {
    QTest::keyClick(fe->Tree("trvFatos"), Qt::Key_F1);
    auto* help = fe->Window()->findChild<QDialog*>("janelaAjuda");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    auto* page = help->findChild<QTextBrowser*>("paginaAjuda");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->toPlainText().contains("Ctrl+Shift+L")) << "the keys are in the page";
    for (const char* viewerKey : {"Teclado no cubo de decisão", "Ctrl+Shift+O", "Espaço"})
        EXPECT_TRUE(page->toPlainText().contains(QString::fromUtf8(viewerKey))) << viewerKey << ": the viewer's keys too";
    help->hide();
    QWidget* ajuda = fe->Screen()->findChild<QWidget*>("sbtAjuda");
    ASSERT_NE(ajuda, nullptr);
    QTest::mouseClick(ajuda, Qt::LeftButton);
    EXPECT_TRUE(help->isVisible()) << "the same window, again";
    help->hide();

    QWidget* build = fe->Screen()->findChild<QWidget*>("sbtConfirmar");
    ASSERT_NE(build, nullptr);
    EXPECT_TRUE(build->toolTip().endsWith("ponha ao menos um fato e uma dimensão na visão")) << build->toolTip().toStdString();
    run("press trvFatos Vendas");
    run("dblclick trvFatos Vendas Faturamento");
    EXPECT_TRUE(build->toolTip().endsWith("falta ao menos uma dimensão em Páginas, Linhas ou Colunas")) << build->toolTip().toStdString();
    ASSERT_TRUE(drag("trvDimensoes", "Produto", "trvRows"));
    EXPECT_FALSE(build->toolTip().contains("falta")) << build->toolTip().toStdString();

    TreeWidget* rows = fe->Tree("trvRows");
    const TTreeNode* produto = node("trvRows", "Produto");
    const int plain = rows->TextLeft(produto);
    run("answer confirm 'P01'");
    run("dblclick trvRows Produto");
    EXPECT_EQ(rows->TextLeft(produto) - plain, 18) << "only a filtered item has its image before the text, no empty slot otherwise";
}

TEST(MemberDialogWindow, SearchesMarksAndReturnsTheSelection) {
    ListDialogRequest r;
    r.caption = "Cliente";
    r.keyField = "CDCLIENTE";
    r.columns = {"idmarcado", "cdcliente", "nmcliente"};  // as PostgreSQL names them
    r.labels = {"IDMARCADO", "Código", "Cliente"};
    r.rows = {{" ", "C'03", "Empório d'Ávila"}, {" ", "C01", "Mercado"}, {" ", "C02", "Padaria"}};
    r.given = "'C02'";
    MemberDialog d(r);
    EXPECT_EQ(d.Table()->columnCount(), 3);  // the mark, code and name
    EXPECT_EQ(d.Table()->horizontalHeaderItem(1)->text(), "Código");
    EXPECT_EQ(d.Marked(), 1);
    EXPECT_EQ(d.Selection(), "'C02'");
    QTest::keyClicks(d.Search(), "ÁVI");  // without regard to case
    EXPECT_TRUE(d.Table()->isRowHidden(1));
    EXPECT_TRUE(d.Table()->isRowHidden(2));
    EXPECT_FALSE(d.Table()->isRowHidden(0));
    d.MarkShown(true);  // marks only the row shown
    EXPECT_EQ(d.Marked(), 2);
    EXPECT_EQ(d.Selection(), "'C''03','C02'");
    d.Search()->clear();
    d.MarkShown(false);
    EXPECT_EQ(d.Selection(), "");
}

// Rows in label order (accents and case aside, numbers by value), found by typing without accents,
// marked with Space or inverted; the selection still follows the data set's order.
TEST(MemberDialogWindow, SortsFindsAndMarksAsAnOperatorTypes) {
    ListDialogRequest r;
    r.caption = "Produto";
    r.keyField = "CDPRODUTO";
    r.columns = {"IDMARCADO", "CDPRODUTO", "NMPRODUTO"};
    r.labels = {"IDMARCADO", "Código", "Produto"};
    const std::vector<std::pair<std::string, std::string>> members = {
        {"07", "Loja 166"}, {"02", "Loja 9"}, {"05", "Óleo"}, {"01", "Açúcar"}, {"03", "abacate"}, {"06", "Loja 218"}, {"04", "Loja 168"}};
    for (auto& [key, label] : members) r.rows.push_back({" ", key, label});
    r.given = "'05'";
    MemberDialog d(r);
    auto shown = [&](int column) {
        QStringList out;
        for (int row = 0; row < d.Table()->rowCount(); ++row)
            if (!d.Table()->isRowHidden(row)) out << d.Table()->item(row, column)->text();
        return out;
    };
    EXPECT_EQ(shown(2), QStringList({"abacate", "Açúcar", "Loja 9", "Loja 166", "Loja 168", "Loja 218", "Óleo"}));
    auto* count = d.findChild<QLabel*>("lblMarcados");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), "1 de 7 marcados");
    auto* none = d.findChild<QLabel*>("lblSemMarcados");
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->isHidden()) << "a member is marked: the note on an empty selection is out of place";
    d.MarkShown(false);
    EXPECT_FALSE(none->isHidden()) << "nothing marked: the dimension goes unfiltered, and the note says so";
    d.Table()->item(0, 0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(none->isHidden());
    d.MarkShown(false);
    for (int row = 0; row < d.Table()->rowCount(); ++row)  // marked again as given: Óleo (05)
        if (d.Table()->item(row, 1)->text() == "05") d.Table()->item(row, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(count->text(), "1 de 7 marcados");

    for (auto [typed, found] : {std::pair{"acucar", "Açúcar"}, std::pair{"OLEO", "Óleo"}, std::pair{"loja 16", "Loja 166|Loja 168"}}) {
        d.Search()->clear();
        QTest::keyClicks(d.Search(), typed);
        EXPECT_EQ(shown(2).join("|"), QString(found)) << typed;
    }
    d.Search()->clear();

    // A click on the code's header sorts by code.
    QHeaderView* header = d.Table()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(shown(1), QStringList({"01", "02", "03", "04", "05", "06", "07"}));

    // Space on the current row, the focus on its name: marks Açúcar (01).
    d.show();
    d.Table()->setCurrentCell(0, 2);
    d.Table()->setFocus();
    QTest::keyClick(d.Table(), Qt::Key_Space);
    EXPECT_EQ(count->text(), "2 de 7 marcados");
    EXPECT_EQ(d.Selection(), "'05','01'") << "in the data set's order, not the order shown";
    auto* invert = d.findChild<QPushButton*>("btnInverterSelecao");
    ASSERT_NE(invert, nullptr);
    invert->click();
    EXPECT_EQ(d.Selection(), "'07','02','03','06','04'");
    EXPECT_EQ(count->text(), "5 de 7 marcados");
}

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);  // also when the tests are listed
    // The offscreen platform says at every grab that it cannot grab: nothing a test needs to read.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith("This plugin does not support") && !text.startsWith("QStandardPaths:"))
            fprintf(stderr, "%s: %s\n", type == QtWarningMsg ? "aviso" : "qt", text.toLocal8Bit().constData());
    });
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Qt's own texts speak Portuguese: the standard buttons of the login and message dialogs.
TEST(GuiLanguage, QtsOwnTextsArePortuguese) {
    ASSERT_TRUE(UsePortuguese(*qApp)) << "qtbase_pt_BR is missing: run scripts/setup.sh";
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Cancelar");
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text(), "Salvar");
    EXPECT_EQ(QLocale().toString(1.5), "1,5");  // shown the Brazilian way; read elsewhere without a locale
}

// A server that takes connections and never answers: the window shows how long the call has waited,
// and "Cancelar" ends it with a message instead of leaving the operator in front of a frozen window.
TEST(GuiWaiting, ALongCallShowsItsWaitAndCancelarEndsIt) {
    int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    listen(silent, 4);  // the kernel completes the connection; nobody ever reads the request
    socklen_t len = sizeof a;
    getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);

    TempDatabase db{testCatalogue()};
    ShellOptions o;
    o.server = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    o.database = db.Path();
    o.modules = QEL_BIN_DIR;
    Shell shell(o);
    FrontEnd fe(shell, true);
    fe.Window()->show();
    QString waitText, messageText;
    bool overlayWithDialog = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                messageText = box->text();
                box->accept();
            }
        }
        if (auto* wait = fe.Window()->findChild<QProgressDialog*>("esperaServidor"); wait && wait->isVisible()) {
            waitText = wait->labelText();
            // One indicator at a time: the animation gives way to the dialog.
            overlayWithDialog = overlayWithDialog || fe.Window()->findChild<QWidget*>("animacao")->isVisible();
            if (auto* cancel = wait->findChild<QPushButton*>()) QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    watcher.start(100);
    fe.Act([&] { shell.Run({"open"}); });
    watcher.stop();
    close(silent);
    EXPECT_TRUE(waitText.startsWith("Aguardando o servidor de aplicação")) << waitText.toStdString();
    EXPECT_FALSE(overlayWithDialog);
    EXPECT_TRUE(messageText.contains("cancelada")) << messageText.toStdString();
}

// The program shows an icon of its own; the file dialogs start in the folder last chosen; leaving
// with a view changed since it was saved offers to save it first.
TEST_F(Gui, TheProgramHasItsIconItsLastFolderAndAsksToSaveAChangedViewOnLeaving) {
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32))) << icon.availableSizes().size();
    const QImage picture = icon.pixmap(32, 32).toImage();
    EXPECT_NE(picture.pixelColor(16, 3), picture.pixelColor(3, 20)) << "a drawing, not a blank";

    TempDatabase scratch("");
    const std::filesystem::path folder = std::filesystem::path(scratch.Path()).parent_path();
    const QString before = fe->StartFolder();
    fe->RememberFolder(QString::fromStdString((folder / "x.qelv").string()));
    EXPECT_EQ(fe->StartFolder(), QString::fromStdString(folder.string()));
    fe->RememberFolder("/nonexistent/folder/y.csv");  // a folder gone: back to where the dialogs start first
    EXPECT_EQ(fe->StartFolder(), before);
    fe->RememberFolder("");  // given up: nothing chosen, nothing remembered
    EXPECT_EQ(fe->StartFolder(), before);

    int asked = 0;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    fe->AnswerLeave = [&](QMessageBox&) {
        ++asked;
        return static_cast<int>(answer);
    };
    EXPECT_TRUE(fe->MayLeave()) << "no view open";
    EXPECT_EQ(asked, 0);
    ASSERT_NE(buildFaturamentoByProduto("Cliente", "trvCols"), nullptr);
    EXPECT_FALSE(fe->MayLeave()) << "Cancelar stays";
    EXPECT_EQ(asked, 1);
    answer = QMessageBox::Discard;
    EXPECT_TRUE(fe->MayLeave());
    const QString file = QString::fromStdString(scratch.Path() + " sair.qelv");
    fe->ChooseViewToSave = [&] { return QString(); };  // the operator gives up the save: stays
    answer = QMessageBox::Save;
    EXPECT_FALSE(fe->MayLeave());
    fe->ChooseViewToSave = [&] { return file; };
    EXPECT_TRUE(fe->MayLeave());
    EXPECT_TRUE(std::filesystem::exists(file.toStdString()));
    asked = 0;
    EXPECT_TRUE(fe->MayLeave()) << "saved as it stands";
    EXPECT_EQ(asked, 0);
    run("subtotals off");
    answer = QMessageBox::Cancel;
    EXPECT_FALSE(fe->MayLeave()) << "changed since it was saved";
    EXPECT_EQ(asked, 1);
    std::remove(file.toStdString().c_str());

    // The viewer's "Tempo limite…" sets how long its next computations may run.
    ASSERT_FALSE(ViewTimeout().has_value());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        EXPECT_EQ(dialog->intValue(), 30) << "starts at the calls' deadline";
        dialog->setIntValue(90);
        dialog->accept();
    });
    fe->Viewer()->findChild<QPushButton*>("btnTempoLimite")->click();
    EXPECT_EQ(ViewTimeout(), std::optional<std::chrono::seconds>(std::chrono::seconds(90)));
    SetViewTimeout(std::nullopt);
}
