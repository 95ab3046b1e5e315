// The cube module: the view-definition and filter lists, and the viewer that computes them.
#include "services/cube.hpp"

#include "toolkit/application.hpp"
#include "viewer.hpp"

TStringList Fatos, Linhas, treeLinhas, Colunas, treeColunas, Paginas, treePaginas;
TStringList stlDSfiltro, stlCDfiltro;
TForm* frmCubo = nullptr;

namespace {
int gCalls = 0;
}  // namespace

void criafrmCubo(bool, std::istream*, const std::string&) {
    ++gCalls;
    if (!Application) return;
    // A new definition replaces the open viewer's content; there is never a second viewer.
    auto* viewer = dynamic_cast<TfrmCubo*>(frmCubo);
    if (!viewer) {
        TfrmCubo* created = nullptr;
        Application->CreateForm(created);
        viewer = created;
        frmCubo = viewer;
    }
    viewer->Show();
    viewer->Compute();
}

int CriafrmCuboCalls() { return gCalls; }
