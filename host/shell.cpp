#include "shell.hpp"

#include <algorithm>
#include <charconv>
#include <functional>

#include "cube/saved_view.hpp"
#include "data/address.hpp"
#include "fwk/host_bridge.hpp"
#include "services/button_flat.hpp"
#include "services/cube.hpp"
#include "services/session.hpp"
#include "toolkit/input.hpp"
#include "toolkit/tree_view.hpp"

namespace {

std::pair<std::string, int> hostPort(const std::string& s) {
    std::string host, error;
    int port = 0;
    if (!SplitHostPort(s, host, port, error)) throw ScriptError(error);
    return {host, port};
}

}  // namespace

std::string Shown(const std::string& word) {
    constexpr size_t kLimit = 80;
    if (word.size() <= kLimit) return word;
    size_t cut = kLimit;
    while (cut > 0 && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    return word.substr(0, cut) + "… (" + std::to_string(word.size()) + " bytes)";
}

namespace {

nlohmann::json menuJson(const TMenuItem* item) {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 0; i < item->Count(); ++i) items.push_back(menuJson(item->Items(i)));
    return {{"caption", item->Caption}, {"shortcut", ShortCutToText(item->ShortCut)}, {"tag", item->Tag},
            {"name", item->Name}, {"items", items}};
}

// Follows captions down a list of entries; throws when one is missing.
TMenuItem* followCaptions(std::vector<TMenuItem*> level, const std::vector<std::string>& captions, size_t from) {
    TMenuItem* found = nullptr;
    for (size_t k = from; k < captions.size(); ++k) {
        found = nullptr;
        for (TMenuItem* m : level)
            if (m->Caption == captions[k] && m->Visible) {
                found = m;
                break;
            }
        if (!found) throw ScriptError("entrada de menu não encontrada: " + Shown(captions[k]));
        level.clear();
        for (int i = 0; i < found->Count(); ++i) level.push_back(found->Items(i));
    }
    return found;
}

std::vector<TMenuItem*> children(TMenuItem* m) {
    std::vector<TMenuItem*> out;
    for (int i = 0; i < m->Count(); ++i) out.push_back(m->Items(i));
    return out;
}

}  // namespace

Shell::Shell(const ShellOptions& o) : login_(o.password), loader_(o.modules) {
    app_ = std::make_unique<TApplication>();
    Application = app_.get();
    screen_ = std::make_unique<TScreen>();
    Screen = screen_.get();
    Application->Title = "QEL";
    Application->OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
        return recorder_.Message(text, type, buttons);
    };
    Application->OnFormCreated = [this](TForm* f) {
        if (f->Name == "frmOpcodesDW") ++instances_;
    };
    TForm* main = nullptr;
    Application->CreateForm(main);
    mainForm_ = main;
    mainForm_->Name = "frmPrincipal";
    mainForm_->Caption = "QEL";
    mainForm_->FormStyle = TFormStyle::fsMDIForm;
    hostMenu_ = mainForm_->Owned<TMainMenu>();
    mainForm_->Menu = hostMenu_;
    TMenuItem* arquivo = hostMenu_->Items()->AddNew("Arquivo", "mnuArquivo");
    arquivo->GroupIndex = 0;
    arquivo->AddNew("Abrir visão…", "mnuAbrirVisao");    // the front end asks which file
    arquivo->AddNew("Salvar visão…", "mnuSalvarVisao");  // the same, for the open viewer
    arquivo->AddNew("-");
    arquivo->AddNew("Sair", "mnuSair");
    // The screen's own menus take this group's place while it is active.
    TMenuItem* operacao = hostMenu_->Items()->AddNew("Operação", "mnuOperacaoHost");
    operacao->GroupIndex = 2;
    operacao->AddNew("Construção da Visão do DW", "mnuConstrucaoVisao")->OnClick = [this](TObject*) { Run({"open"}); };
    operacao->AddNew("Editar visão", "mnuEditarVisao")->OnClick = [](TObject*) {
        if (auto* viewer = OpenCubeViewer()) viewer->EditView();
    };
    TMenuItem* janela = hostMenu_->Items()->AddNew("Janela", "mnuJanela");
    janela->GroupIndex = 9;
    Application->MainForm = mainForm_;
    mainForm_->Visible = true;

    dataModule_ = Application->Owned<TdtmDBGeral>();
    dtmDBGeral = dataModule_;
    setServer(o.server);
    SetSession(o.operatorCode, WebURL(), WebPort());
    if (!o.database.empty()) dataModule_->OpenDatabase(o.database);  // for the operator just set
    SetFwkObserver(&recorder_);
    SetListDialogService(&recorder_);
    SetLoginService(&login_);
    // "Editar visão" opens the screen as the runner's open does.
    SetViewEditOpener([this] { Run({"open"}); });
}

Shell::~Shell() {
    SetViewEditOpener(nullptr);
    loader_.Unload();
    LogoutSessions();
    SetLoginService(nullptr);
    SetFwkObserver(nullptr);
    SetListDialogService(nullptr);
    dtmDBGeral = nullptr;
    Screen = nullptr;
    app_.reset();
    Application = nullptr;
}

void Shell::setServer(const std::string& s) {
    auto [host, port] = hostPort(s);
    SetSession(Operador(), host, port);
}

TForm* Shell::screen() const {
    for (TForm* f : Application->MDIChildren())
        if (f->Name == "frmOpcodesDW") return f;
    return nullptr;
}

TForm* Shell::requireScreen() const {
    TForm* s = screen();
    if (!s) throw ScriptError("a tela não está aberta");
    return s;
}

TControl* Shell::control(const std::string& name) const {
    auto c = dynamic_cast<TControl*>(requireScreen()->FindComponent(name));
    if (!c) throw ScriptError("controle desconhecido: " + Shown(name));
    return c;
}

TTreeView* Shell::tree(const std::string& name) const {
    auto t = dynamic_cast<TTreeView*>(control(name));
    if (!t) throw ScriptError("não é uma árvore: " + Shown(name));
    return t;
}

TTreeNode* Shell::nodeAt(TTreeView* t, const std::vector<std::string>& path) const {
    TTreeNode* n = nullptr;
    for (const std::string& text : path) {
        TTreeNode* found = nullptr;
        int count = n ? n->Count() : t->Items().TopCount();
        for (int i = 0; i < count && !found; ++i) {
            TTreeNode* c = n ? n->Item(i) : t->Items().Top(i);
            if (c->Text == text) found = c;
        }
        if (!found) throw ScriptError("nó não encontrado em " + t->Name + ": " + Shown(text));
        n = found;
    }
    return n;
}

void Shell::pointOf(TTreeView* t, const std::vector<std::string>& path, int& x, int& y) const {
    if (path.empty()) return PointBelowRows(t, x, y);
    TTreeNode* n = nodeAt(t, path);
    if (!n->IsVisible()) throw ScriptError("nó sob um pai recolhido em " + t->Name + ": " + Shown(n->Text));
    PointOfNode(t, n, x, y);
}

void Shell::runGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const ScriptError&) {
        throw;
    } catch (...) {
        Application->HandleException(std::current_exception());
    }
    Application->ProcessReleases();
}

nlohmann::json Shell::Run(const std::vector<std::string>& w) {
    if (w.empty()) return nullptr;
    const std::string& cmd = w[0];
    Args args(w.begin() + 1, w.end());
    if (cmd == "dump") return State();
    // Each command: its name, the arguments it needs at the least, and what it does.
    struct Command {
        const char* name;
        size_t args;
        void (Shell::*run)(const std::string&, Args&);
    };
    static const Command kCommands[] = {
        {"open", 0, &Shell::cmdOpen},
        {"unload", 0, &Shell::cmdUnload},
        {"server", 1, &Shell::cmdServer},
        {"press", 1, &Shell::cmdPress},
        {"dblclick", 1, &Shell::cmdPress},
        {"pivot", 2, &Shell::cmdPivot},
        {"order", 2, &Shell::cmdOrder},
        {"sort", 1, &Shell::cmdSort},
        {"chart", 1, &Shell::cmdChart},
        {"subtotals", 1, &Shell::cmdSubtotals},
        {"show", 1, &Shell::cmdShow},
        {"focus", 1, &Shell::cmdFocus},
        {"key", 1, &Shell::cmdKey},
        {"drag", 0, &Shell::cmdDrag},
        {"click", 1, &Shell::cmdClick},
        {"menu", 1, &Shell::cmdMenu},
        {"popup", 1, &Shell::cmdPopup},
        {"choose", 1, &Shell::cmdChoose},
        {"answer", 1, &Shell::cmdAnswer},
        {"cancelafter", 1, &Shell::cmdCancelAfter},
        {"page", 2, &Shell::cmdPage},
        {"export", 1, &Shell::cmdExport},
        {"saveview", 1, &Shell::cmdSaveView},
        {"openview", 1, &Shell::cmdOpenView},
        {"editview", 0, &Shell::cmdEditView},
        {"closeviewer", 0, &Shell::cmdCloseViewer},
        {"minimize", 0, &Shell::cmdWindowState},
        {"restore", 0, &Shell::cmdWindowState},
        {"closebox", 0, &Shell::cmdCloseBox},
        {"expand", 0, &Shell::cmdLevel},
        {"collapse", 0, &Shell::cmdLevel},
    };
    auto it = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return cmd == c.name; });
    if (it == std::end(kCommands)) throw ScriptError("comando desconhecido: " + Shown(cmd));
    need(cmd, args, it->args);
    (this->*it->run)(cmd, args);
    return nullptr;
}

void Shell::need(const std::string& cmd, const Args& args, size_t n) {
    if (args.size() < n) throw ScriptError("argumentos insuficientes para " + Shown(cmd));
}

// expand and collapse: a tree of the screen ("trv…") or a row dimension of the open viewer.
void Shell::cmdLevel(const std::string& cmd, Args& args) {
    if (!args.empty() && args[0].rfind("trv", 0) != 0) return cmdViewerLevel(cmd, args);
    cmdTreeLevel(cmd, args);
}

void Shell::cmdOpen(const std::string&, Args&) {
    bool wasLoaded = loader_.Loaded();
    login_.Watch();
    runGuarded([&] {
        if (!wasLoaded) {
            loader_.Load();
            instances_ = 0;
            cubeBaseline_ = CriafrmCuboCalls();
        }
        loader_.IniProc();
    });
    offerLoginAgain();
}

void Shell::offerLoginAgain() {
    // A screen that opened with no catalogue because the login failed or was given up says so, and
    // offers to ask again; F5 (Atualizar) asks again too.
    while (TForm* s = screen()) {
        auto* facts = dynamic_cast<TTreeView*>(s->FindComponent("trvFatos"));
        auto* refresh = dynamic_cast<TButtonFlat*>(s->FindComponent("sbtVerificar"));
        if (!login_.Asked() || !facts || facts->Items().Count() > 0 || !refresh) return;
        const int answer = Application->MessageDlg(
            "Nenhum catálogo foi carregado: o operador " + Operador() +
                " não entrou no servidor de aplicação. Tentar de novo? (F5, Atualizar, também pede a senha de novo.)",
            TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbNo, TMsgDlgBtn::mbYes});
        if (answer != mrYes) return;
        login_.Watch();
        runGuarded([&] { refresh->Click(); });
    }
}

void Shell::cmdUnload(const std::string&, Args&) {
    loader_.Unload();
    openPopup_ = nullptr;
}

void Shell::cmdServer(const std::string&, Args& args) {
    setServer(args[0]);
}

void Shell::cmdPress(const std::string& cmd, Args& args) {
    bool right = !args.empty() && args.back() == "--right";
    if (right) args.pop_back();
    TTreeView* t = tree(args[0]);
    int x = 0, y = 0;
    pointOf(t, {args.begin() + 1, args.end()}, x, y);
    runGuarded([&] {
        if (cmd == "dblclick") DoubleClick(t, x, y);
        else MousePress(t, right ? TMouseButton::mbRight : TMouseButton::mbLeft, x, y);
    });
}

void Shell::cmdTreeLevel(const std::string& cmd, Args& args) {
    need(cmd, args, 2);
    TTreeView* t = tree(args[0]);
    TTreeNode* n = nodeAt(t, {args.begin() + 1, args.end()});
    if (!n->IsVisible()) throw ScriptError("nó sob um pai recolhido: " + Shown(n->Text));
    runGuarded([&] {
        if (cmd == "expand" && !n->Expanded()) n->Expand();
        if (cmd == "collapse" && n->Expanded()) n->Collapse();
    });
}

void Shell::cmdFocus(const std::string&, Args& args) {
    TTreeView* t = tree(args[0]);
    runGuarded([&] { requireScreen()->FocusControl(t); });
}

void Shell::cmdKey(const std::string&, Args& args) {
    TShortCut sc = 0;
    try {
        sc = TextToShortCut(args[0]);
    } catch (const std::exception&) {
    }
    if (sc == 0) throw ScriptError("tecla desconhecida: '" + Shown(args[0]) + "'");
    TShiftState shift;
    if (sc & scShift) shift |= TShiftState::Shift;
    if (sc & scCtrl) shift |= TShiftState::Ctrl;
    if (sc & scAlt) shift |= TShiftState::Alt;
    TForm* s = requireScreen();
    runGuarded([&] { s->KeyDown(static_cast<Word>(sc & 0xFF), shift); });
}

void Shell::cmdDrag(const std::string&, Args& args) {
    auto to = std::find(args.begin(), args.end(), "--to");
    if (args.size() < 2 || to == args.end() || to + 1 == args.end()) throw ScriptError("uso: drag ÁRVORE NÓ… --to DESTINO [--at NÓ…]");
    TTreeView* source = tree(args[0]);
    std::vector<std::string> sourcePath(args.begin() + 1, to);
    std::string targetName = *(to + 1);
    auto at = std::find(to + 1, args.end(), "--at");
    std::vector<std::string> atPath = at == args.end() ? std::vector<std::string>{} : std::vector<std::string>(at + 1, args.end());
    if (at != args.end() && at != to + 2) throw ScriptError("uso: drag ÁRVORE NÓ… --to DESTINO [--at NÓ…]");
    int sx = 0, sy = 0, tx = 4, ty = 4;
    pointOf(source, sourcePath, sx, sy);
    TControl* target = control(targetName);
    if (auto t = dynamic_cast<TTreeView*>(target)) pointOf(t, atPath, tx, ty);
    else if (!atPath.empty()) throw ScriptError("--at só vale para árvores");
    runGuarded([&] { DragAndDrop(source, sx, sy, target, tx, ty); });
}

void Shell::cmdClick(const std::string&, Args& args) {
    auto b = dynamic_cast<TButtonFlat*>(control(args[0]));
    if (!b) throw ScriptError("não é um botão: " + Shown(args[0]));
    runGuarded([&] {
        if (b->Enabled && b->Visible) b->Click();
    });
}

void Shell::cmdMenu(const std::string&, Args& args) {
    TForm* s = screen();
    std::vector<TMenuItem*> bar = MergeMenus(*hostMenu_, s ? s->Menu : nullptr);
    TMenuItem* item = followCaptions(bar, args, 0);
    runGuarded([&] { item->Click(); });
}

void Shell::cmdPopup(const std::string&, Args& args) {
    TTreeView* t = tree(args[0]);
    int x = 0, y = 0;
    pointOf(t, {args.begin() + 1, args.end()}, x, y);
    runGuarded([&] {
        if (ContextPopup(t, x, y)) {
            openPopup_ = t->PopupMenu;
            popupScreen_ = screen();
            popupInstance_ = instances_;
            popup_ = menuJson(openPopup_->Items())["items"];
        }
    });
}

void Shell::cmdChoose(const std::string&, Args& args) {
    // A closed screen took its menu with it (compared without touching the old pointers).
    if (!openPopup_ || !loader_.Loaded() || screen() != popupScreen_ || instances_ != popupInstance_)
        throw ScriptError("nenhum menu de contexto aberto");
    TMenuItem* item = followCaptions(children(openPopup_->Items()), args, 0);
    openPopup_ = nullptr;
    runGuarded([&] { item->Click(); });
}

void Shell::cmdAnswer(const std::string& cmd, Args& args) {
    if (args[0] == "confirm") {
        need(cmd, args, 2);
        recorder_.QueueAnswer({true, args[1]});
    } else if (args[0] == "cancel") {
        recorder_.QueueAnswer({false, ""});
    } else if (args[0] == "yes" || args[0] == "no") {
        recorder_.QueueConfirmation(args[0] == "yes");
    } else {
        throw ScriptError("answer espera confirm SELEÇÃO, cancel, yes ou no");
    }
}

void Shell::cmdCancelAfter(const std::string&, Args& args) {
    double seconds = -1;  // read without the locale, which the desktop may set to a decimal comma
    const std::string& a = args[0];
    auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), seconds);
    if (ec != std::errc() || end != a.data() + a.size()) seconds = -1;
    if (!(seconds >= 0 && seconds <= 3600)) throw ScriptError("cancelafter espera segundos de 0 a 3600: " + Shown(args[0]));
    recorder_.CancelAfter(seconds);
}

void Shell::cmdWindowState(const std::string& cmd, Args&) {
    TForm* s = requireScreen();
    s->SetWindowState(cmd == "minimize" ? TWindowState::wsMinimized : TWindowState::wsNormal);
}

void Shell::cmdCloseBox(const std::string&, Args&) {
    TForm* s = requireScreen();
    runGuarded([&] { s->Close(); });
}


