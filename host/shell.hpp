// The host shell: the application and its main window with the host's own menu bar, the data module,
// the session values, the screen module, the recorder, and the commands of the script runner. Each
// command acts as a person would; what the screen raises is reported by the host's error handler as
// the host's event loop would, and released forms are destroyed once the command has completed.
// A command that cannot be carried out as written raises ScriptError.
#pragma once

#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "login.hpp"
#include "module_loader.hpp"
#include "recorder.hpp"
#include "services/query.hpp"

class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A word of a script as messages show it: cut to a readable length.
std::string Shown(const std::string& word);

struct ShellOptions {
    std::string server = "127.0.0.1:8211";
    std::string operatorCode = "ADMIN";
    std::string database;
    std::string modules;
    std::optional<std::string> password;  // from --password-file or QEL_PASSWORD
};

class Shell {
public:
    explicit Shell(const ShellOptions& options);
    ~Shell();

    // Runs one command given as words; "dump" returns the state, every other command null.
    nlohmann::json Run(const std::vector<std::string>& words);
    nlohmann::json State();
    size_t PendingAnswers() const { return recorder_.PendingAnswers(); }
    Recorder& recorder() { return recorder_; }
    HostLogin& login() { return login_; }

    // What a graphical front end draws and acts on.
    TForm* MainForm() const { return mainForm_; }
    TMainMenu* HostMenu() const { return hostMenu_; }
    TForm* ScreenForm() const { return screen(); }
    // Counts the screens created since the module was loaded: a new one is another form to draw.
    int Instances() const { return instances_; }
    // Runs a person's action as the host's event loop does: what it raises goes to the error handler,
    // and released forms are destroyed once it has completed.
    void Act(const std::function<void()>& action) { runGuarded(action); }
    // Opens a saved view (.qelv) in the cube viewer, computed anew; raises with the reason when the
    // file cannot be read or is not a view the catalogue can serve.
    void OpenView(const std::string& path);

private:
    TForm* screen() const;
    TForm* requireScreen() const;
    TControl* control(const std::string& name) const;
    class TTreeView* tree(const std::string& name) const;
    class TTreeNode* nodeAt(class TTreeView* t, const std::vector<std::string>& path) const;
    void pointOf(class TTreeView* t, const std::vector<std::string>& path, int& x, int& y) const;
    void setServer(const std::string& hostPort);
    void runGuarded(const std::function<void()>& action);
    void offerLoginAgain();

    // The runner's commands, one handler each (the table is in Shell::Run): on the screen and the
    // host in shell.cpp, on the cube viewer in shell_viewer.cpp.
    using Args = std::vector<std::string>;
    static void need(const std::string& cmd, const Args& args, size_t n);
    void cmdOpen(const std::string& cmd, Args& args);
    void cmdUnload(const std::string& cmd, Args& args);
    void cmdServer(const std::string& cmd, Args& args);
    void cmdPress(const std::string& cmd, Args& args);
    void cmdTreeLevel(const std::string& cmd, Args& args);
    void cmdFocus(const std::string& cmd, Args& args);
    void cmdKey(const std::string& cmd, Args& args);
    void cmdDrag(const std::string& cmd, Args& args);
    void cmdClick(const std::string& cmd, Args& args);
    void cmdMenu(const std::string& cmd, Args& args);
    void cmdPopup(const std::string& cmd, Args& args);
    void cmdChoose(const std::string& cmd, Args& args);
    void cmdAnswer(const std::string& cmd, Args& args);
    void cmdCancelAfter(const std::string& cmd, Args& args);
    void cmdWindowState(const std::string& cmd, Args& args);
    void cmdCloseBox(const std::string& cmd, Args& args);
    void cmdLevel(const std::string& cmd, Args& args);
    void cmdViewerLevel(const std::string& cmd, Args& args);
    void cmdPivot(const std::string& cmd, Args& args);
    void cmdOrder(const std::string& cmd, Args& args);
    void cmdSort(const std::string& cmd, Args& args);
    void cmdChart(const std::string& cmd, Args& args);
    void cmdSubtotals(const std::string& cmd, Args& args);
    void cmdShow(const std::string& cmd, Args& args);
    void cmdPage(const std::string& cmd, Args& args);
    void cmdExport(const std::string& cmd, Args& args);
    void cmdSaveView(const std::string& cmd, Args& args);
    void cmdOpenView(const std::string& cmd, Args& args);
    void cmdEditView(const std::string& cmd, Args& args);
    void cmdCloseViewer(const std::string& cmd, Args& args);

    std::unique_ptr<TApplication> app_;
    std::unique_ptr<TScreen> screen_;
    Recorder recorder_;
    HostLogin login_;
    ModuleLoader loader_;
    TdtmDBGeral* dataModule_ = nullptr;
    TForm* mainForm_ = nullptr;
    TMainMenu* hostMenu_ = nullptr;
    int instances_ = 0;
    int cubeBaseline_ = 0;
    nlohmann::json popup_ = nullptr;
    // The context menu left open by `popup`, valid only while the screen it belongs to lives.
    TPopupMenu* openPopup_ = nullptr;
    TForm* popupScreen_ = nullptr;
    int popupInstance_ = 0;
};
