#include "front_end.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>

#include "cube/saved_view.hpp"
#include "artwork.hpp"
#include "cube_view.hpp"
#include "fwk/host_bridge.hpp"
#include "member_dialog.hpp"
#include "screen_view.hpp"
#include "services/cube.hpp"
#include "shell.hpp"
#include "toolkit/input.hpp"
#include "toolkit/menu.hpp"
#include "toolkit/tree_view.hpp"
#include "tree_widget.hpp"

namespace {

// An MDI child window whose close box asks the toolkit's form to close (the form decides), and
// whose minimize button sets the form's window state.
class ChildWindow : public QMdiSubWindow {
public:
    ChildWindow(std::function<void()> onClose, QWidget* parent) : QMdiSubWindow(parent), onClose_(std::move(onClose)) {}
    void Forget() { onClose_ = nullptr; }
    // The smallest size the window takes in its normal state. Not a minimum size of the widget: that
    // would stop the window from minimizing to its title bar and leave a blank frame.
    void SetSmallest(QSize size) { smallest_ = size; }
    // Minimize and restore go through the form, as the runner's minimize and restore do: the form's
    // window state changes and the window follows it. (Left to the title bar alone, the window hid
    // its contents without shrinking, a blank frame.) The system menu is offered in Portuguese.
    void OnWindowState(std::function<void(bool minimized)> request) {
        request_ = std::move(request);
        auto* menu = new QMenu(this);
        auto add = [&](const char* caption, auto act) { connect(menu->addAction(caption), &QAction::triggered, this, act); };
        add("&Restaurar", [this] { isMinimized() ? request_(false) : showNormal(); });
        add("Mi&nimizar", [this] { request_(true); });
        add("Ma&ximizar", [this] { showMaximized(); });
        menu->addSeparator();
        add("&Fechar", [this] { close(); });
        setSystemMenu(menu);
    }

protected:
    QStyle::SubControl titleControlAt(QPoint p) const {
        QStyleOptionTitleBar o;
        o.initFrom(this);
        o.titleBarFlags = windowFlags();
        o.titleBarState = windowState();
        o.subControls = QStyle::SC_All;
        o.rect = QRect(0, 0, width(), style()->pixelMetric(QStyle::PM_TitleBarHeight, &o, this));
        return style()->hitTestComplexControl(QStyle::CC_TitleBar, &o, p, this);
    }
    void mousePressEvent(QMouseEvent* e) override {
        QStyle::SubControl at = titleControlAt(e->position().toPoint());
        if (request_ && e->button() == Qt::LeftButton &&
            ((at == QStyle::SC_TitleBarMinButton && !isMinimized()) || (at == QStyle::SC_TitleBarNormalButton && isMinimized()))) {
            pressed_ = at;
            e->accept();
            return;
        }
        QMdiSubWindow::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (pressed_ != QStyle::SC_None) {
            QStyle::SubControl pressed = pressed_;
            pressed_ = QStyle::SC_None;
            if (titleControlAt(e->position().toPoint()) == pressed) request_(pressed == QStyle::SC_TitleBarMinButton);
            e->accept();
            return;
        }
        QMdiSubWindow::mouseReleaseEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (onClose_) onClose_();
    }
    void resizeEvent(QResizeEvent* e) override {
        QMdiSubWindow::resizeEvent(e);
        if (smallest_.isValid() && !isMinimized() && !isMaximized() && !isShaded() && (width() < smallest_.width() || height() < smallest_.height()))
            QMetaObject::invokeMethod(this, [this] {
                if (!isMinimized() && !isMaximized() && !isShaded()) resize(size().expandedTo(smallest_));
            }, Qt::QueuedConnection);
    }

private:
    std::function<void()> onClose_;
    QSize smallest_;
    std::function<void(bool)> request_;
    QStyle::SubControl pressed_ = QStyle::SC_None;
};

// The operator's documents folder, or the home folder when there is none (a fresh account).
QString documentsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(folder).exists() ? folder : QDir::homePath();
}

std::vector<TMenuItem*> children(TMenuItem* m) {
    std::vector<TMenuItem*> out;
    for (int i = 0; i < m->Count(); ++i) out.push_back(m->Items(i));
    return out;
}

std::string signatureOf(const std::vector<TMenuItem*>& items) {
    std::string s;
    for (TMenuItem* m : items) {
        s += m->Caption + (m->Enabled ? "+" : "-") + std::to_string(m->ShortCut) + "{";
        std::vector<TMenuItem*> children;
        for (int i = 0; i < m->Count(); ++i) children.push_back(m->Items(i));
        s += signatureOf(children) + "}";
    }
    return s;
}

QString captionOf(const TMenuItem* m) {
    QString text = QString::fromStdString(m->Caption);
    std::string shortcut = ShortCutToText(m->ShortCut);
    // The shortcut is shown, not bound: the key goes to the form, whose routing finds the entry.
    if (!shortcut.empty()) text += "\t" + QString::fromStdString(shortcut);
    return text;
}

}  // namespace

FrontEnd::FrontEnd(Shell& shell, bool interactive) : shell_(shell), interactive_(interactive) {
    window_ = new QMainWindow;
    window_->setObjectName("frmPrincipal");
    window_->setWindowTitle(QString::fromStdString(Application->Title));
    QApplication::setWindowIcon(ProgramIcon());  // the windows and the task bar show the program's own
    window_->resize(1000, 720);
    area_ = new QMdiArea(window_);
    area_->setBackground(QColor(0x6F, 0x7F, 0x94));
    window_->setCentralWidget(area_);

    overlay_ = new QWidget(window_);
    overlay_->setObjectName("animacao");
    overlay_->setAutoFillBackground(true);
    overlay_->setStyleSheet("QWidget#animacao { background: #FFFFE1; border: 1px solid #7F8C9D; border-radius: 6px; }");
    auto* layout = new QHBoxLayout(overlay_);
    auto* bar = new QProgressBar(overlay_);
    bar->setRange(0, 0);  // moving, with no end known
    bar->setFixedWidth(80);
    auto* text = new QLabel(overlay_);
    text->setObjectName("textoAnimacao");
    layout->addWidget(bar);
    layout->addWidget(text);
    overlay_->hide();

    shell_.recorder().OnEvent = [this](const nlohmann::json& e) {
        if (e["kind"] == "animation") showAnimation(e["on"].get<bool>(), QString::fromStdString(e["text"].get<std::string>()));
    };
    ::Screen->OnCursorChange = [this](TCursor c) { showCursor(static_cast<int>(c)); };
    if (interactive_) {
        Application->OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
            QString t = QString::fromStdString(text), title = QString::fromStdString(Application->Title);
            if (type == TMsgDlgType::mtConfirmation) {
                // Yes and No, the first offered the default; a question to try again names its answer.
                QMessageBox box(QMessageBox::Question, title, t, QMessageBox::Yes | QMessageBox::No, window_);
                box.button(QMessageBox::Yes)->setText(t.contains("Tentar de novo") ? "Tentar de novo" : "Sim");
                box.button(QMessageBox::No)->setText("Não");
                box.setDefaultButton(Recorder::DefaultYes(buttons) ? QMessageBox::Yes : QMessageBox::No);
                const bool yes = box.exec() == QMessageBox::Yes;
                shell_.recorder().Confirmation(text, yes);
                return yes ? mrYes : mrNo;
            }
            shell_.recorder().Message(text, type);
            if (type == TMsgDlgType::mtError) QMessageBox::critical(window_, title, t);
            else if (type == TMsgDlgType::mtWarning) QMessageBox::warning(window_, title, t);
            else QMessageBox::information(window_, title, t);
            return mrOk;
        };
        dialogs_ = std::make_unique<MemberDialogService>(window_);
        SetListDialogService(dialogs_.get());
        shell_.recorder().OnCallWaiting = [this](double seconds) {
            return waitingDialog(seconds, QString("Aguardando o servidor de aplicação… %1 s").arg(static_cast<int>(seconds)));
        };
        shell_.recorder().OnStatementWaiting = [this](double seconds, size_t rows) {
            return waitingDialog(seconds, QString::fromStdString(StatementProgressText(seconds, rows)));
        };
        shell_.login().Ask = [this](const std::string& op, const std::string& problem) -> std::optional<std::string> {
            QString label = (problem.empty() ? QString() : QString::fromStdString(problem) + "\n\n") +
                            QString("Senha do operador %1:").arg(QString::fromStdString(op));
            bool ok = false;
            QString password = QInputDialog::getText(window_, "Entrar", label, QLineEdit::Password, QString(), &ok);
            if (!ok) return std::nullopt;
            return password.toStdString();
        };
        shell_.recorder().OnCallDone = [this] {
            delete waiting_;
            waiting_ = nullptr;
        };
        shell_.recorder().OnStatementDone = shell_.recorder().OnCallDone;
        // Each dialog starts in the folder the last one chose (the documents folder at first).
        ChooseViewToSave = [this] {
            QString path = QFileDialog::getSaveFileName(window_, "Salvar a visão", StartFolder() + "/visao.qelv", "Visões do QEL (*.qelv)");
            if (!path.isEmpty() && !path.endsWith(".qelv", Qt::CaseInsensitive)) path += ".qelv";
            RememberFolder(path);
            return path;
        };
        ChooseViewToOpen = [this] {
            QString path = QFileDialog::getOpenFileName(window_, "Abrir uma visão", StartFolder(), "Visões do QEL (*.qelv);;Todos os arquivos (*)");
            RememberFolder(path);
            return path;
        };
        ChooseExportFile = [this] {
            // The extension chooses the format.
            QString path = QFileDialog::getSaveFileName(window_, "Exportar a visão", StartFolder() + "/visao.csv",
                                                        "CSV para planilha (*.csv);;Pasta de trabalho do Excel (*.xlsx)");
            RememberFolder(path);
            return path;
        };
    }
    Redraw();
}

FrontEnd::~FrontEnd() {
    shell_.recorder().OnEvent = nullptr;
    if (::Screen) ::Screen->OnCursorChange = nullptr;
    if (interactive_) {
        Application->OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
            return shell_.recorder().Message(text, type, buttons);
        };
        SetListDialogService(&shell_.recorder());
        shell_.recorder().OnCallWaiting = nullptr;
        shell_.recorder().OnCallDone = nullptr;
        shell_.recorder().OnStatementWaiting = nullptr;
        shell_.recorder().OnStatementDone = nullptr;
        shell_.login().Ask = nullptr;
    }
    if (screen_) screen_->Detach();
    if (viewer_) viewer_->Detach();
    delete window_;
}

void FrontEnd::Act(const std::function<void()>& action) {
    shell_.Act(action);
    Redraw();
}

TreeWidget* FrontEnd::Tree(const std::string& name) const { return screen_ ? screen_->Tree(name) : nullptr; }

void FrontEnd::Redraw() {
    if (redrawing_) return;
    redrawing_ = true;
    // The screen: a new instance is another window; a closed one leaves.
    TForm* form = shell_.ScreenForm();
    if (screen_ && (form != screenForm_ || shell_.Instances() != screenInstance_)) {
        screen_->Detach();
        static_cast<ChildWindow*>(screenWindow_)->Forget();
        screenWindow_->hide();  // gone at once, from the screen and from pictures; deleted once back in the loop
        screenWindow_->deleteLater();
        screenWindow_ = nullptr;
        screen_ = nullptr;
        screenForm_ = nullptr;
    }
    if (form && !screen_) {
        screenForm_ = form;
        screenInstance_ = shell_.Instances();
        auto* w = new ChildWindow([this, form] { Act([form] { form->Close(); }); }, area_);
        w->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
        screen_ = new ScreenView(*this, form);
        w->setWidget(screen_);
        w->setWindowTitle(QString::fromStdString(form->Caption));
        w->setObjectName("janelaQEL00100");
        area_->addSubWindow(w);
        w->show();
        w->SetSmallest(w->size());  // as designed
        w->OnWindowState([this, form](bool minimized) {
            if (form != screenForm_) return;
            Act([form, minimized] { form->SetWindowState(minimized ? TWindowState::wsMinimized : TWindowState::wsNormal); });
        });
        // Centred, as the form is designed.
        QSize outer = w->sizeHint();
        w->move(std::max(0, (area_->width() - outer.width()) / 2), std::max(0, (area_->height() - outer.height()) / 2));
        QObject::connect(w, &QMdiSubWindow::windowStateChanged, w, [this, w](Qt::WindowStates, Qt::WindowStates now) {
            TForm* f = screenForm_;
            if (!f || redrawing_ || w != screenWindow_) return;
            TWindowState state = (now & Qt::WindowMinimized) ? TWindowState::wsMinimized : TWindowState::wsNormal;
            // The form hears it once the window has finished changing: acting in the middle of the
            // change (a redraw, a focus) would leave the window half minimized, a blank frame.
            if (f->WindowState() != state)
                QMetaObject::invokeMethod(w, [this, f, state] {
                    if (f == screenForm_ && f->WindowState() != state) Act([f, state] { f->SetWindowState(state); });
                }, Qt::QueuedConnection);
        });
        screenWindow_ = w;
        // A new window starts with the keyboard in the facts tree, as a person reads the screen.
        if (interactive_ && !form->ActiveControl())
            if (auto* facts = dynamic_cast<TControl*>(form->FindComponent("trvFatos"))) form->FocusControl(facts);
    }
    if (screen_) {
        bool minimized = screenForm_->WindowState() == TWindowState::wsMinimized;
        if (minimized != screenWindow_->isMinimized()) minimized ? screenWindow_->showMinimized() : screenWindow_->showNormal();
        if (Application->ActiveForm() == screenForm_ && area_->activeSubWindow() != screenWindow_ && !minimized)
            area_->setActiveSubWindow(screenWindow_);
        screen_->Sync();
    }

    // The cube viewer.
    TCubeViewer* cube = OpenCubeViewer();
    if (viewer_ && cube != viewerForm_) {
        viewer_->Detach();
        static_cast<ChildWindow*>(viewerWindow_)->Forget();
        viewerWindow_->hide();
        viewerWindow_->deleteLater();
        viewerWindow_ = nullptr;
        viewer_ = nullptr;
        viewerForm_ = nullptr;
    }
    if (cube && !viewer_) {
        viewerForm_ = cube;
        auto* w = new ChildWindow([this, cube] { Act([cube] { cube->Close(); }); }, area_);
        viewer_ = new CubeView(*this, cube);
        w->setWidget(viewer_);
        w->setWindowTitle(QString::fromStdString(cube->Caption));
        w->setObjectName("janelaCubo");
        w->resize(cube->Width, cube->Height);
        area_->addSubWindow(w);
        w->show();
        viewerWindow_ = w;
    }
    if (viewer_) {
        viewer_->Sync();
        viewerWindow_->setWindowTitle(QString::fromStdString(viewerForm_->Caption));  // the view's name, once it has one
    }

    rebuildMenus();
    redrawing_ = false;
}

void FrontEnd::rebuildMenus() {
    // The view commands of the host's menus act on the open viewer.
    const bool viewer = OpenCubeViewer() != nullptr;
    for (TMenuItem* top : children(shell_.HostMenu()->Items()))
        for (TMenuItem* m : children(top))
            if (m->Name == "mnuSalvarVisao" || m->Name == "mnuEditarVisao") m->Enabled = viewer;
    std::vector<TMenuItem*> items = MergeMenus(*shell_.HostMenu(), screenForm_ && screen_ ? screenForm_->Menu : nullptr);
    std::string signature = signatureOf(items);
    if (signature == menuSignature_) return;
    menuSignature_ = signature;
    QMenuBar* bar = window_->menuBar();
    bar->clear();
    std::function<void(QMenu*, TMenuItem*)> fill = [&](QMenu* menu, TMenuItem* item) {
        for (int i = 0; i < item->Count(); ++i) {
            TMenuItem* m = item->Items(i);
            if (!m->Visible) continue;
            if (m->IsLine()) {
                menu->addSeparator();
            } else if (m->Count() > 0) {
                fill(menu->addMenu(QString::fromStdString(m->Caption)), m);
            } else {
                QAction* a = menu->addAction(captionOf(m));
                a->setEnabled(m->Enabled);
                a->setObjectName(QString::fromStdString(m->Name));
                if (m->Name == "mnuSair") QObject::connect(a, &QAction::triggered, window_, [this] {
                    if (MayLeave()) window_->close();
                });
                else if (m->Name == "mnuAbrirVisao") QObject::connect(a, &QAction::triggered, window_, [this] { OpenView(); });
                else if (m->Name == "mnuSalvarVisao") QObject::connect(a, &QAction::triggered, window_, [this] { SaveView(); });
                else QObject::connect(a, &QAction::triggered, window_, [this, m] { Act([m] { m->Click(); }); });
            }
        }
    };
    for (TMenuItem* top : items) {
        if (!top->Visible) continue;
        // Alt and the first letter opens it (the captions' letters differ: A, O, M, J).
        QMenu* menu = bar->addMenu("&" + QString::fromStdString(top->Caption));
        menu->setObjectName(QString::fromStdString(top->Name));
        fill(menu, top);
        if (top->Name == "mnuJanela") {
            // The open windows, listed afresh each time the menu opens; choosing one brings it to the front.
            QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
                menu->clear();
                for (QMdiSubWindow* w : area_->subWindowList()) {
                    QAction* a = menu->addAction(w->windowTitle());
                    a->setCheckable(true);
                    a->setChecked(w == area_->activeSubWindow());
                    QObject::connect(a, &QAction::triggered, w, [this, w] {
                        if (w->isMinimized()) w->showNormal();
                        area_->setActiveSubWindow(w);
                    });
                }
            });
        }
    }
}

QString FrontEnd::StartFolder() const {
    return !lastFolder_.isEmpty() && QDir(lastFolder_).exists() ? lastFolder_ : documentsFolder();
}

void FrontEnd::RememberFolder(const QString& chosenFile) {
    if (!chosenFile.isEmpty()) lastFolder_ = QFileInfo(chosenFile).absolutePath();
}

bool FrontEnd::MayLeave() {
    TCubeViewer* v = OpenCubeViewer();
    if (!v || !v->Changed()) return true;
    QMessageBox box(QMessageBox::Question, QString::fromStdString(Application->Title),
                    "A visão aberta tem mudanças que não foram salvas. Salvar antes de sair?",
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window_);
    box.button(QMessageBox::Save)->setText("Salvar…");
    box.button(QMessageBox::Discard)->setText("Sair sem salvar");
    box.button(QMessageBox::Cancel)->setText("Cancelar");
    box.setDefaultButton(QMessageBox::Save);
    const int answer = AnswerLeave ? AnswerLeave(box) : box.exec();
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Discard) return true;
    SaveView();
    return !OpenCubeViewer() || !OpenCubeViewer()->Changed();  // not saved (given up, failed): stay
}

void FrontEnd::OpenView() {
    QString path = ChooseViewToOpen ? ChooseViewToOpen() : QString();
    if (path.isEmpty()) return;
    Act([&] { shell_.OpenView(path.toStdString()); });
}

void FrontEnd::SaveView() {
    auto* viewer = OpenCubeViewer();
    QString path = viewer && ChooseViewToSave ? ChooseViewToSave() : QString();
    if (path.isEmpty()) return;
    const std::string file = path.toStdString();
    Act([&] {
        if (auto* v = OpenCubeViewer()) {
            v->SaveView(file);
            Application->MessageDlg("Visão salva em " + file, TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
        }
    });
}

bool FrontEnd::DragTo(TControl* source, QPoint global, bool drop) {
    if (!screen_) return false;
    QPoint at;
    TControl* target = screen_->DropTargetAt(screen_->mapFromGlobal(global), at);
    // The zone that would take the drop is highlighted, with a line where the item would land.
    for (TreeWidget* t : screen_->Trees()) t->ShowDropHint(false, {});
    if (!target) return false;
    if (!drop) {
        bool accepted = DragOver(target, source, at.x(), at.y(), TDragState::dsDragMove);
        // Within its own zone an item lands before the node it is dropped on; from elsewhere it joins the end.
        if (TreeWidget* t = screen_->Tree(target->Name); t && accepted) t->ShowDropHint(true, target == source ? at : QPoint(0, 1 << 20));
        return accepted;
    }
    bool accepted = false;
    const int before = dynamic_cast<TTreeView*>(target) ? static_cast<TTreeView*>(target)->Items().Count() : -1;
    QString why = RefusalOf(source, target, DragOver(target, source, at.x(), at.y(), TDragState::dsDragMove));
    Act([&] { accepted = Drop(target, source, at.x(), at.y()); });
    auto* tree = dynamic_cast<TTreeView*>(target);
    if (!why.isEmpty() && (!accepted || (tree && tree->Items().Count() == before))) Note(why);
    return accepted;
}

void FrontEnd::ShowPopup(TTreeView* tree, QPoint global) {
    TPopupMenu* menu = tree->PopupMenu;
    Act([&] { menu->Popup(tree); });  // the screen rebuilds the entries for this opening
    if (popup_) popup_->deleteLater();
    popup_ = new QMenu(window_);
    popup_->setObjectName("pnmPopup");
    std::function<void(QMenu*, TMenuItem*)> fill = [&](QMenu* q, TMenuItem* item) {
        for (int i = 0; i < item->Count(); ++i) {
            TMenuItem* m = item->Items(i);
            if (!m->Visible) continue;
            if (m->IsLine()) {
                q->addSeparator();
            } else if (m->Count() > 0) {
                fill(q->addMenu(QString::fromStdString(m->Caption)), m);
            } else {
                QAction* a = q->addAction(captionOf(m));
                a->setObjectName(QString::fromStdString(m->Name));
                a->setEnabled(m->Enabled);
                QObject::connect(a, &QAction::triggered, window_, [this, m] { Act([m] { m->Click(); }); });
            }
        }
    };
    fill(popup_, menu->Items());
    popup_->popup(global);
}

void FrontEnd::showAnimation(bool on, const QString& text) {
    // While the waiting dialog is up it tells the same progress: one indicator, not two.
    if (!on || (waiting_ && waiting_->isVisible())) {
        overlay_->hide();
        return;
    }
    overlay_->findChild<QLabel*>("textoAnimacao")->setText(text);
    overlay_->adjustSize();
    overlay_->move((window_->width() - overlay_->width()) / 2, (window_->height() - overlay_->height()) / 2);
    overlay_->raise();
    overlay_->show();
    // The call that follows keeps this thread busy: paint the animation before it starts.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool UsePortuguese(QApplication& app) {
    static QTranslator qtbase;
    bool loaded = qtbase.load(QLocale(QLocale::Portuguese, QLocale::Brazil), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) app.installTranslator(&qtbase);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    return loaded;
}

bool FrontEnd::waitingDialog(double seconds, const QString& label) {
    // A short wait only keeps the window painted; a long one shows how far it has come and lets the
    // operator give up. The dialog is modal, so nothing else can be started meanwhile.
    if (seconds < 0.5 && !waiting_) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    if (!waiting_) {
        waiting_ = new QProgressDialog(window_);
        waiting_->setObjectName("esperaServidor");
        waiting_->setWindowTitle(QString::fromStdString(Application->Title));
        waiting_->setCancelButtonText("Cancelar");
        waiting_->setRange(0, 0);
        waiting_->setMinimumDuration(0);
        waiting_->setWindowModality(Qt::ApplicationModal);
        overlay_->hide();
        waiting_->show();
    }
    waiting_->setLabelText(label);
    QApplication::processEvents();
    return !waiting_->wasCanceled();
}

void FrontEnd::showCursor(int cursor) {
    if (overrideCursor_) {
        QApplication::restoreOverrideCursor();
        overrideCursor_ = false;
    }
    auto c = static_cast<TCursor>(cursor);
    if (c == TCursor::crDefault) return;
    QApplication::setOverrideCursor(c == TCursor::crHourGlass ? Qt::WaitCursor : Qt::BusyCursor);
    overrideCursor_ = true;
}

bool FrontEnd::Screenshot(const QString& path) {
    Redraw();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // windows closed by the script
    QApplication::processEvents();
    bool ok = window_->grab().save(path, "PNG");
    if (viewerWindow_) {
        QString viewerPath = path;
        int dot = viewerPath.lastIndexOf('.');
        viewerPath.insert(dot > viewerPath.lastIndexOf('/') ? dot : viewerPath.size(), "-viewer");
        ok = viewerWindow_->grab().save(viewerPath, "PNG") && ok;
    }
    return ok;
}
