// The runner's state as JSON (the `dump` command): the module, the screen and its trees, zones,
// command states and popup, the cube module's lists and its viewer's computed view, and the events
// since the last dump. Read-only: writing the state changes nothing but the recorder's event list.
#include <nlohmann/json.hpp>

#include "cube/saved_view.hpp"
#include "services/cube.hpp"
#include "shell.hpp"
#include "toolkit/menu.hpp"
#include "toolkit/tree_view.hpp"

namespace {

const char* const kTrees[] = {"trvFatos", "trvDimensoes", "trvPages", "trvRows", "trvCols", "trvFacts"};

nlohmann::json nodeJson(const TTreeNode* n) {
    nlohmann::json children = nlohmann::json::array();
    for (int i = 0; i < n->Count(); ++i) children.push_back(nodeJson(n->Item(i)));
    return {{"text", n->Text}, {"image", n->ImageIndex}, {"selected", n->SelectedIndex}, {"expanded", n->Expanded()},
            {"children", children}};
}

nlohmann::json listJson(const TStringList& l) { return l.Items(); }

nlohmann::json valuesJson(const CubeValues& values) {
    nlohmann::json out = nlohmann::json::array();
    for (auto& v : values) out.push_back(v ? nlohmann::json(*v) : nlohmann::json(nullptr));
    return out;
}

nlohmann::json viewerJson(const TCubeViewer& v) {
    nlohmann::json pages = nlohmann::json::array();
    for (auto& p : v.Pages) {
        nlohmann::json members = nlohmann::json::array();
        for (auto& m : p.members) members.push_back(m.label);
        pages.push_back({{"dimension", p.dimension}, {"members", members}, {"current", p.CurrentLabel()}});
    }
    nlohmann::json filters = nlohmann::json::object();
    for (auto& [dimension, selection] : v.Filters) filters[dimension] = selection;
    nlohmann::json lines = nlohmann::json::array();
    const PivotGrid& grid = v.Grid;
    for (size_t l = 0; l < grid.Lines(); ++l) {
        nlohmann::json values = nlohmann::json::array();
        for (size_t c = 0; c <= grid.columnKeys.size(); ++c) {
            CubeValues column;
            for (size_t m = 0; m < grid.Measures(); ++m) column.push_back(grid.Value(l, c, m));
            values.push_back(valuesJson(column));
        }
        lines.push_back({{"kind", std::string(grid.Kind(l))}, {"labels", grid.Labels(l)}, {"values", values}});
    }
    return {{"facts", v.Facts},     {"rows", v.Rows},   {"columns", v.Columns}, {"pages", pages},
            {"filters", filters},   {"columnKeys", v.Grid.columnKeys},          {"lines", lines},
            {"message", v.Message ? nlohmann::json(*v.Message) : nlohmann::json(nullptr)},
            {"name", v.Name ? nlohmann::json(*v.Name) : nlohmann::json(nullptr)}, {"settings", SettingsJson(v.Settings())}};
}

TMenuItem* findMenu(TMenuItem* root, const std::string& name) {
    if (root->Name == name) return root;
    for (int i = 0; i < root->Count(); ++i)
        if (TMenuItem* m = findMenu(root->Items(i), name)) return m;
    return nullptr;
}

}  // namespace

nlohmann::json Shell::State() {
    TForm* s = screen();
    nlohmann::json st;
    st["module"] = {{"loaded", loader_.Loaded()}, {"bostcriado", loader_.Bostcriado()}};
    if (s) {
        st["screen"] = {{"caption", s->Caption},
                        {"windowState", s->WindowState() == TWindowState::wsMinimized ? "minimized" : "normal"},
                        {"instance", instances_}};
    } else {
        st["screen"] = nullptr;
    }
    TCursor c = Screen->Cursor();
    st["cursor"] = c == TCursor::crHourGlass ? "hourglass" : c == TCursor::crSQLWait ? "sqlwait" : "default";
    st["trees"] = nlohmann::json::object();
    st["selection"] = nlohmann::json::object();
    for (const char* name : kTrees) {
        nlohmann::json nodes = nlohmann::json::array();
        nlohmann::json selection = nullptr;
        if (auto t = s ? dynamic_cast<TTreeView*>(s->FindComponent(name)) : nullptr) {
            for (int i = 0; i < t->Items().TopCount(); ++i) nodes.push_back(nodeJson(t->Items().Top(i)));
            if (TTreeNode* sel = t->Selected()) {
                selection = nlohmann::json::array();
                for (TTreeNode* n = sel; n; n = n->Parent()) selection.insert(selection.begin(), n->Text);
            }
        }
        st["trees"][name] = nodes;
        st["selection"][name] = selection;
    }
    TTreeView* current = s ? loader_.CurrentZone() : nullptr;
    st["current"] = current ? nlohmann::json(current->Name) : nlohmann::json(nullptr);
    st["focus"] = s && s->ActiveControl() ? nlohmann::json(s->ActiveControl()->Name) : nlohmann::json(nullptr);
    st["enabled"] = nlohmann::json::object();
    for (const char* name : {"sbtExcluir", "sbtCancelar", "sbtConfirmar", "sbtVerificar"}) {
        auto b = s ? dynamic_cast<TControl*>(s->FindComponent(name)) : nullptr;
        st["enabled"][name] = b && b->Enabled;
    }
    for (const char* name : {"mnuExcluirItem", "mnuExcluirTodos", "mnuConfirmar", "mnuAtualizar"}) {
        TMenuItem* m = s && s->Menu ? findMenu(s->Menu->Items(), name) : nullptr;
        st["enabled"][name] = m && m->Enabled;
    }
    // Whether Desfazer and Refazer (Ctrl+Z, Ctrl+Y) have a step to take.
    st["history"] = nlohmann::json::object();
    for (auto [key, name] : {std::pair{"undo", "mnuDesfazer"}, std::pair{"redo", "mnuRefazer"}}) {
        TMenuItem* m = s && s->Menu ? findMenu(s->Menu->Items(), name) : nullptr;
        st["history"][key] = m && m->Enabled;
    }
    st["popup"] = popup_;
    st["filters"] = {{"stlDSfiltro", listJson(stlDSfiltro)}, {"stlCDfiltro", listJson(stlCDfiltro)}};
    st["view"] = {{"Fatos", listJson(Fatos)},           {"Linhas", listJson(Linhas)},   {"treeLinhas", listJson(treeLinhas)},
                  {"Colunas", listJson(Colunas)},       {"treeColunas", listJson(treeColunas)},
                  {"Paginas", listJson(Paginas)},       {"treePaginas", listJson(treePaginas)}};
    TCubeViewer* viewer = OpenCubeViewer();
    st["cube"] = {{"opened", loader_.Loaded() ? CriafrmCuboCalls() - cubeBaseline_ : 0},
                  {"viewer", viewer ? viewerJson(*viewer) : nlohmann::json(nullptr)}};
    st["events"] = recorder_.TakeEvents();
    return st;
}
