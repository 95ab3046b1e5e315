#include "shell.hpp"

#include <fstream>

#include <charconv>

#include <functional>

#include "cube/viewer.hpp"
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

TfrmCubo* openViewer() {
    auto viewer = dynamic_cast<TfrmCubo*>(frmCubo);
    if (!viewer || viewer->Released()) throw ScriptError("o visualizador do cubo não está aberto");
    return viewer;
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
    Application->OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>&) {
        return recorder_.Message(text, type);
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
        if (auto* viewer = dynamic_cast<TfrmCubo*>(frmCubo)) viewer->EditView();
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
    auto args = std::vector<std::string>(w.begin() + 1, w.end());
    auto need = [&](size_t n) {
        if (args.size() < n) throw ScriptError("argumentos insuficientes para " + Shown(cmd));
    };

    if (cmd == "dump") return State();
    if (cmd == "open") {
        bool wasLoaded = loader_.Loaded();
        runGuarded([&] {
            if (!wasLoaded) {
                loader_.Load();
                instances_ = 0;
                cubeBaseline_ = CriafrmCuboCalls();
            }
            loader_.IniProc();
        });
    } else if (cmd == "unload") {
        loader_.Unload();
        openPopup_ = nullptr;
    } else if (cmd == "server") {
        need(1);
        setServer(args[0]);
    } else if (cmd == "press" || cmd == "dblclick") {
        need(1);
        bool right = !args.empty() && args.back() == "--right";
        if (right) args.pop_back();
        TTreeView* t = tree(args[0]);
        int x = 0, y = 0;
        pointOf(t, {args.begin() + 1, args.end()}, x, y);
        runGuarded([&] {
            if (cmd == "dblclick") DoubleClick(t, x, y);
            else MousePress(t, right ? TMouseButton::mbRight : TMouseButton::mbLeft, x, y);
        });
    } else if ((cmd == "expand" || cmd == "collapse") && !args.empty() && args[0].rfind("trv", 0) != 0) {
        // A row dimension of the open viewer, not a tree of the screen.
        need(1);
        TfrmCubo* viewer = openViewer();
        std::optional<std::string> member;
        if (args.size() > 1) member = args[1];
        if (!viewer->SetCollapsed(args[0], member, cmd == "collapse"))
            throw ScriptError("dimensão de linha ou membro não encontrado no cubo: " + Shown(args[0]));
    } else if (cmd == "pivot") {
        need(2);
        static const std::map<std::string, TfrmCubo::Axis> kAxis = {
            {"rows", TfrmCubo::Axis::Rows}, {"columns", TfrmCubo::Axis::Columns}, {"pages", TfrmCubo::Axis::Pages}};
        auto axis = kAxis.find(args[1]);
        if (axis == kAxis.end()) throw ScriptError("pivot espera DIMENSÃO rows|columns|pages [POSIÇÃO]");
        std::optional<size_t> position;
        if (args.size() > 2) {
            size_t n = 0;
            auto [end, ec] = std::from_chars(args[2].data(), args[2].data() + args[2].size(), n);
            if (ec != std::errc() || end != args[2].data() + args[2].size()) throw ScriptError("posição inválida: " + Shown(args[2]));
            position = n;
        }
        if (!openViewer()->MoveDimension(args[0], axis->second, position))
            throw ScriptError("dimensão não encontrada no cubo: " + Shown(args[0]));
    } else if (cmd == "order") {
        need(2);
        if (args[1] != "key" && args[1] != "label") throw ScriptError("order espera key ou label");
        if (!openViewer()->SetOrder(args[0], args[1] == "label" ? MemberOrder::Label : MemberOrder::Key))
            throw ScriptError("dimensão não encontrada no cubo: " + Shown(args[0]));
    } else if (cmd == "sort") {
        need(1);
        TfrmCubo* viewer = openViewer();
        if (args[0] == "none") {
            viewer->SetSort(std::nullopt, true);
        } else {
            need(2);
            if (args[1] != "asc" && args[1] != "desc") throw ScriptError("sort espera FATO asc|desc ou none");
            if (!viewer->SetSort(args[0], args[1] == "desc")) throw ScriptError("fato não encontrado no cubo: " + Shown(args[0]));
        }
    } else if (cmd == "chart") {
        need(1);
        if (args[0] != "bar" && args[0] != "line" && args[0] != "off") throw ScriptError("chart espera bar, line ou off");
        openViewer()->SetChart(args[0] == "off" ? std::nullopt : std::optional<std::string>(args[0]));
    } else if (cmd == "subtotals") {
        need(1);
        if (args[0] != "on" && args[0] != "off") throw ScriptError("subtotals espera on ou off");
        openViewer()->SetSubtotals(args[0] == "on");
    } else if (cmd == "show") {
        need(1);
        static const std::map<std::string, ShowAs> kShow = {{"values", ShowAs::Values},
                                                             {"percent-total", ShowAs::PercentTotal},
                                                             {"percent-row", ShowAs::PercentRow},
                                                             {"percent-column", ShowAs::PercentColumn}};
        auto it = kShow.find(args[0]);
        if (it == kShow.end()) throw ScriptError("show espera values, percent-total, percent-row ou percent-column");
        openViewer()->SetShow(it->second);
    } else if (cmd == "expand" || cmd == "collapse") {
        need(2);
        TTreeView* t = tree(args[0]);
        TTreeNode* n = nodeAt(t, {args.begin() + 1, args.end()});
        if (!n->IsVisible()) throw ScriptError("nó sob um pai recolhido: " + Shown(n->Text));
        runGuarded([&] {
            if (cmd == "expand" && !n->Expanded()) n->Expand();
            if (cmd == "collapse" && n->Expanded()) n->Collapse();
        });
    } else if (cmd == "focus") {
        need(1);
        TTreeView* t = tree(args[0]);
        runGuarded([&] { requireScreen()->FocusControl(t); });
    } else if (cmd == "key") {
        need(1);
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
    } else if (cmd == "drag") {
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
    } else if (cmd == "click") {
        need(1);
        auto b = dynamic_cast<TButtonFlat*>(control(args[0]));
        if (!b) throw ScriptError("não é um botão: " + Shown(args[0]));
        runGuarded([&] {
            if (b->Enabled && b->Visible) b->Click();
        });
    } else if (cmd == "menu") {
        need(1);
        TForm* s = screen();
        std::vector<TMenuItem*> bar = MergeMenus(*hostMenu_, s ? s->Menu : nullptr);
        TMenuItem* item = followCaptions(bar, args, 0);
        runGuarded([&] { item->Click(); });
    } else if (cmd == "popup") {
        need(1);
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
    } else if (cmd == "choose") {
        need(1);
        // A closed screen took its menu with it (compared without touching the old pointers).
        if (!openPopup_ || !loader_.Loaded() || screen() != popupScreen_ || instances_ != popupInstance_)
            throw ScriptError("nenhum menu de contexto aberto");
        TMenuItem* item = followCaptions(children(openPopup_->Items()), args, 0);
        openPopup_ = nullptr;
        runGuarded([&] { item->Click(); });
    } else if (cmd == "answer") {
        need(1);
        if (args[0] == "confirm") {
            need(2);
            recorder_.QueueAnswer({true, args[1]});
        } else if (args[0] == "cancel") {
            recorder_.QueueAnswer({false, ""});
        } else {
            throw ScriptError("answer espera confirm SELEÇÃO ou cancel");
        }
    } else if (cmd == "page") {
        need(2);
        TfrmCubo* viewer = openViewer();
        std::optional<std::string> member;
        if (args[1] != "--all") member = args[1];
        if (!viewer->ChoosePage(args[0], member)) throw ScriptError("página ou membro não encontrado no cubo: " + Shown(args[0]) + " " + Shown(args[1]));
    } else if (cmd == "export") {
        need(1);
        TfrmCubo* viewer = openViewer();
        const std::string& file = args[0];
        bool workbook = file.size() > 5 && file.compare(file.size() - 5, 5, ".xlsx") == 0;
        runGuarded([&] { workbook ? viewer->ExportXlsx(file) : viewer->ExportCsv(file); });
    } else if (cmd == "saveview") {
        need(1);
        TfrmCubo* viewer = openViewer();
        runGuarded([&] { viewer->SaveView(args[0]); });
    } else if (cmd == "openview") {
        need(1);
        runGuarded([&] { OpenView(args[0]); });
    } else if (cmd == "editview") {
        TfrmCubo* viewer = openViewer();
        runGuarded([&] { viewer->EditView(); });
    } else if (cmd == "closeviewer") {
        TfrmCubo* viewer = openViewer();
        runGuarded([&] { viewer->Close(); });
    } else if (cmd == "minimize" || cmd == "restore") {
        TForm* s = requireScreen();
        s->SetWindowState(cmd == "minimize" ? TWindowState::wsMinimized : TWindowState::wsNormal);
    } else if (cmd == "closebox") {
        TForm* s = requireScreen();
        runGuarded([&] { s->Close(); });
    } else {
        throw ScriptError("comando desconhecido: " + Shown(cmd));
    }
    return nullptr;
}

void Shell::OpenView(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Não foi possível abrir o arquivo " + path);
    criafrmCubo(true, &in, ViewNameOf(path));
}

