// The desktop front end, offscreen: real Qt events on the drawn screen reach the toolkit as a
// person's gestures do, and the windows show what the toolkit holds.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QDialogButtonBox>
#include <QLocale>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
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
    run("press trvFatos Vendas");
    run("dblclick trvFatos Vendas Faturamento");
    ASSERT_TRUE(drag("trvDimensoes", "Produto", "trvRows"));
    ASSERT_TRUE(drag("trvDimensoes", "Cliente", "trvRows"));
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
    run("press trvFatos Vendas");
    run("dblclick trvFatos Vendas Faturamento");
    ASSERT_TRUE(drag("trvDimensoes", "Produto", "trvRows"));
    ASSERT_TRUE(drag("trvDimensoes", "Cliente", "trvRows"));
    TreeWidget* rows = fe->Tree("trvRows");
    QTest::mouseClick(rows, Qt::LeftButton, {}, rows->PointOf(node("trvRows", "Produto")));
    QTest::keyClick(rows, Qt::Key_Delete);  // the menu's "Excluir Item de Configuração" takes it
    EXPECT_EQ(zone("trvRows"), "Cliente");
    QMenu* maintenance = nullptr;
    for (QAction* a : fe->Window()->menuBar()->actions())
        if (a->text() == "Manutenção") maintenance = a->menu();
    ASSERT_NE(maintenance, nullptr);
    QStringList entries;
    for (QAction* a : maintenance->actions()) entries << (a->isSeparator() ? "-" : a->text() + (a->isEnabled() ? "" : " (off)"));
    EXPECT_EQ(entries, (QStringList{"Atualizar\tF5", "Excluir Item de Configuração\tDel", "Excluir Todos os Itens de Configuração\tCtrl+Del",
                                    "-", "Construir Visão de DW\tCtrl+F2"}));
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
            if (auto* cancel = wait->findChild<QPushButton*>()) QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    watcher.start(100);
    fe.Act([&] { shell.Run({"open"}); });
    watcher.stop();
    close(silent);
    EXPECT_TRUE(waitText.startsWith("Aguardando o servidor de aplicação")) << waitText.toStdString();
    EXPECT_TRUE(messageText.contains("cancelada")) << messageText.toStdString();
}
