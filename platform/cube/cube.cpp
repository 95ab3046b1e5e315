// The cube module: the view-definition and filter lists, and the viewer that computes them.
#include "services/cube.hpp"

#include "toolkit/application.hpp"
#include "catalogue.hpp"
#include "saved_view.hpp"
#include "viewer.hpp"

#include <optional>

TStringList Fatos, Linhas, treeLinhas, Colunas, treeColunas, Paginas, treePaginas;
TStringList stlDSfiltro, stlCDfiltro;
TForm* frmCubo = nullptr;

namespace {
int gCalls = 0;
bool gComputed = false;
std::optional<std::chrono::seconds> gViewTimeout;
std::function<void()> gEditOpener;
bool gEditRequested = false;
}  // namespace

namespace {

// A saved view's facts and dimensions that the catalogue no longer has, as one message; empty when all are there.
std::string missingFromCatalogue(const SavedView& v) {
    Catalogue catalogue = ReadServerCatalogue();
    std::string missing;
    auto note = [&](const char* kind, const std::string& name) { missing += std::string(missing.empty() ? "" : "; ") + kind + " " + name; };
    for (const std::string& fact : v.lists[0])
        if (!catalogue.facts.count(fact)) note("fato", fact);
    for (size_t list : {1, 3, 5})
        for (const std::string& dimension : v.lists[list])
            if (!catalogue.dimensions.count(dimension)) note("dimensão", dimension);
    return missing;
}

}  // namespace

void criafrmCubo(bool flag, std::istream* stream, const std::string& text) {
    ++gCalls;
    gComputed = false;
    if (!Application) return;
    std::optional<SavedView> saved;
    if (flag) {
        // Everything is checked before the lists or the viewer change: a bad file opens nothing.
        if (!stream) throw ESavedView("Nenhuma visão foi dada para abrir.");
        // Read no further than a view can be: a huge file is refused before it costs memory or time.
        std::string content(SavedView::kMaxFileBytes + 1, '\0');
        stream->read(content.data(), static_cast<std::streamsize>(content.size()));
        content.resize(static_cast<size_t>(stream->gcount()));
        if (content.size() > SavedView::kMaxFileBytes)
            throw ESavedView("A visão " + text + " não pode ser aberta: o arquivo passa de " +
                             std::to_string(SavedView::kMaxFileBytes >> 20) + " MB, mais do que uma visão salva ocupa.");
        saved = ParseSavedView(content);
        std::string missing = missingFromCatalogue(*saved);
        if (!missing.empty()) throw ESavedView("A visão " + text + " não pode ser aberta: o catálogo não tem mais " + missing + ".");
        WriteModuleLists(*saved);
    }
    // A new definition replaces the open viewer's content; there is never a second viewer.
    auto* viewer = dynamic_cast<TfrmCubo*>(frmCubo);
    if (!viewer) {
        TfrmCubo* created = nullptr;
        Application->CreateForm(created);
        viewer = created;
        frmCubo = viewer;
    }
    viewer->Show();
    if (!viewer->Compute()) return;  // cancelled: the view shown before stays, as it was
    gComputed = viewer->Computed();
    if (saved) {
        viewer->Apply(*saved, text);
    } else {
        viewer->Name.reset();  // a view built anew is not the saved one
        viewer->Caption = "Cubo de Decisão";
    }
}

std::array<TStringList*, 7> ModuleLists() { return {&Fatos, &Linhas, &treeLinhas, &Colunas, &treeColunas, &Paginas, &treePaginas}; }

void WriteModuleLists(const SavedView& v) {
    const auto lists = ModuleLists();
    for (size_t i = 0; i < v.lists.size(); ++i) {
        lists[i]->Clear();
        for (const std::string& item : v.lists[i]) lists[i]->Add(item);
    }
    stlDSfiltro.Clear();
    stlCDfiltro.Clear();
    for (auto& [dimension, selection] : v.filters) {
        stlDSfiltro.Add(dimension);
        stlCDfiltro.Add(selection);
    }
}

void SetViewEditOpener(std::function<void()> open) { gEditOpener = std::move(open); }

void RequestViewEdit() {
    if (!gEditOpener) throw std::runtime_error("Não há como abrir a tela de construção da visão");
    gEditRequested = true;
    gEditOpener();
}

bool ViewEditRequested() { return gEditRequested; }
void TakeViewEditRequest() { gEditRequested = false; }

int CriafrmCuboCalls() { return gCalls; }
bool LastViewComputed() { return gComputed; }
void SetViewTimeout(std::optional<std::chrono::seconds> limit) { gViewTimeout = limit; }
std::optional<std::chrono::seconds> ViewTimeout() { return gViewTimeout; }
