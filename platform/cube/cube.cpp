// The cube module: the view-definition and filter lists, and the viewer form that shows them.
#include "services/cube.hpp"

#include "toolkit/application.hpp"
#include "toolkit/tree_view.hpp"

TStringList Fatos, Linhas, treeLinhas, Colunas, treeColunas, Paginas, treePaginas;
TStringList stlDSfiltro, stlCDfiltro;
TForm* frmCubo = nullptr;

namespace {
int gCalls = 0;

// The viewer: one tree with a branch per list of the definition and one for the filters.
class TfrmCubo : public TForm {
public:
    explicit TfrmCubo(TComponent* owner) : TForm(owner) {
        Name = "frmCubo";
        Caption = "Cubo de Decisão";
        FormStyle = TFormStyle::fsMDIChild;
        Width = 640;
        Height = 480;
        trvDefinicao = Owned<TTreeView>();
        trvDefinicao->Name = "trvDefinicao";
        trvDefinicao->Parent = this;
        trvDefinicao->ReadOnly = true;
        trvDefinicao->Width = 620;
        trvDefinicao->Height = 440;
        OnClose = [](TObject*, TCloseAction& a) {
            a = TCloseAction::caFree;
            frmCubo = nullptr;
        };
    }

    void Refresh() {
        auto& items = trvDefinicao->Items();
        items.Clear();
        auto branch = [&](const char* caption, const TStringList& names, const TStringList* codes) {
            TTreeNode* n = items.Add(nullptr, caption);
            for (int i = 0; i < names.Count(); ++i) {
                std::string text = names[i];
                if (codes && i < codes->Count()) text += " [" + (*codes)[i] + "]";
                items.AddChild(n, text);
            }
        };
        branch("Fatos", Fatos, nullptr);
        branch("Linhas", Linhas, &treeLinhas);
        branch("Colunas", Colunas, &treeColunas);
        branch("Páginas", Paginas, &treePaginas);
        branch("Filtros", stlDSfiltro, &stlCDfiltro);
        trvDefinicao->FullExpand();
    }

    TTreeView* trvDefinicao;
};
}  // namespace

void criafrmCubo(bool, std::istream*, const std::string&) {
    ++gCalls;
    if (!Application) return;
    auto* viewer = dynamic_cast<TfrmCubo*>(frmCubo);
    if (!viewer) {
        TfrmCubo* created = nullptr;
        Application->CreateForm(created);
        viewer = created;
        frmCubo = viewer;
    }
    viewer->Refresh();
    viewer->Show();
}

int CriafrmCuboCalls() { return gCalls; }
