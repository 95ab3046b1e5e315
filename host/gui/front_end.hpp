// FrontEnd: qelhost's desktop window (Qt Widgets). The host's main window with its own menu bar,
// into which the screen's menu merges by group index, and an MDI area where the screen and the cube
// viewer open as child windows. It holds no state of its own: after every event it redraws from the
// toolkit's state, and every real gesture reaches the toolkit as the event a person causes.
//
// Interactive, it answers the framework's message and member-list dialogs with windows; driven by
// a script, the recorder answers them as without the window. The front end owns its widgets; the
// shell (not owned) owns the toolkit objects they draw.
#pragma once

#include <QPoint>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class Shell;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMessageBox;
class QWidget;
class TControl;
class TTreeView;
class TForm;
class ScreenView;
class CubeView;
class TreeWidget;
class MemberDialogService;

class QApplication;
// Qt's own texts (standard buttons, file dialogs, window menus) in Portuguese, and the display locale
// set to Brazil's; the numbers the program reads stay locale-free. False when the translations are
// not installed (the texts then stay in English).
bool UsePortuguese(QApplication& app);

class FrontEnd {
public:
    FrontEnd(Shell& shell, bool interactive);
    ~FrontEnd();
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    QMainWindow* Window() const { return window_; }
    // Runs a person's action on the toolkit as the host does, then redraws.
    void Act(const std::function<void()>& action);
    // Reads the toolkit again: forms opened or gone, window states, menus, controls.
    void Redraw();

    // A drag from `source` over the point (screen coordinates): whether the control there takes it,
    // and with `drop`, the drop itself.
    bool DragTo(TControl* source, QPoint global, bool drop);
    // Keyboard moves that the mouse already has, made of the same form events (host/gui/keyboard_moves.cpp):
    // the selected item of `source` dropped at the end of the zone named `zone`, or moved one place
    // up or down within its zone. A refused or empty move says why in the status bar.
    void SendTo(TTreeView* source, const std::string& zone);
    void MoveWithin(TTreeView* zone, bool up);
    // A short note in the main window's status bar, gone after a few seconds (no dialog).
    void Note(const QString& text);
    // Why the drop of `source`'s selection on `target` was refused or changed nothing, or empty.
    QString RefusalOf(TControl* source, TControl* target, bool accepted) const;
    // The labels of the members a filter's selection string names, when a dialog of this session gave
    // them; otherwise the keys.
    std::vector<std::string> FilterLabels(const std::string& selection) const;
    // Opens the tree's context menu at the point: the screen rebuilds it, this window shows it.
    void ShowPopup(TTreeView* tree, QPoint global);
    QMenu* LastPopup() const { return popup_; }
    // Writes pictures of the main window and, when it is open, of the cube viewer beside it (the
    // name with "-viewer" before the extension). False when a picture cannot be written.
    bool Screenshot(const QString& path);

    // Arquivo → "Abrir visão…" and "Salvar visão…": ask for the file, then open or save the view.
    void OpenView();
    void SaveView();
    // Arquivo → "Sair": a view changed since it was last saved or opened is offered to be saved first;
    // false when the operator stays (Cancelar, or the save did not happen).
    bool MayLeave();
    // How the question of MayLeave is answered (a QMessageBox::StandardButton); shown to the operator
    // unless a test sets it.
    std::function<int(QMessageBox&)> AnswerLeave;
    // Where the next file dialog starts: the folder of the last file chosen, else the documents folder.
    QString StartFolder() const;
    void RememberFolder(const QString& chosenFile);

    ScreenView* Screen() const { return screen_; }
    CubeView* Viewer() const { return viewer_; }
    TreeWidget* Tree(const std::string& name) const;
    // Where the viewer's export goes; asks with a file dialog unless a test sets it.
    std::function<QString()> ChooseExportFile;
    // Where "Salvar visão…" writes and which file "Abrir visão…" opens; empty when the operator gives up.
    std::function<QString()> ChooseViewToSave, ChooseViewToOpen;

private:
    void rebuildMenus();
    void showAnimation(bool on, const QString& text);
    void showCursor(int cursor);
    // A server call or a client statement that waits: false when the operator cancels.
    bool waitingDialog(double seconds, const QString& label);

    Shell& shell_;
    bool interactive_;
    QMainWindow* window_;
    QMdiArea* area_;
    QMdiSubWindow* screenWindow_ = nullptr;
    ScreenView* screen_ = nullptr;
    TForm* screenForm_ = nullptr;  // not owned: the form screen_ draws (compared, never used once gone)
    int screenInstance_ = 0;
    QMdiSubWindow* viewerWindow_ = nullptr;
    CubeView* viewer_ = nullptr;
    TForm* viewerForm_ = nullptr;
    QMenu* popup_ = nullptr;
    QWidget* overlay_ = nullptr;
    std::string menuSignature_;
    bool redrawing_ = false;
    bool overrideCursor_ = false;
    std::unique_ptr<MemberDialogService> dialogs_;
    QProgressDialog* waiting_ = nullptr;
    QString lastFolder_;  // while a server call takes long; owned through window_
};
