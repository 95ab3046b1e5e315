// The view build: checks the item limit, writes the view definition into the cube module's lists
// zone by zone (facts, rows, columns, pages), asks the cube module to open its viewer and, once the
// view is computed, closes the screen. Within a zone, list entry k belongs to the node at zone index k (display order with every
// group expanded); a nested node's position code names its top-level ancestor.
#include "screen/frm_opcodes_dw.hpp"
#include "services/cube.hpp"

namespace {

constexpr int kMaxItems = 31;

// Names into `names` and position codes into `codes`; with withName the code ends in "_" and the name.
void writeZone(const TTreeView* zone, TStringList& names, TStringList& codes, bool withName) {
    names.Clear();
    codes.Clear();
    int top = 0;
    for (int i = 0; i < zone->Items().Count(); ++i) {
        const TTreeNode* n = zone->Items()[i];
        names.Add(n->Text);
        std::string code = std::to_string(i);
        if (n->Level() == 0) top = i;
        else code = std::to_string(top) + "." + code;
        codes.Add(withName ? code + "_" + n->Text : code);
    }
}

}  // namespace

void TfrmOpcodesDW::sbtConfirmarClick(TObject*) {
    if (!sbtConfirmar->Enabled) return;
    int items = 0;
    for (TTreeView* zone : {trvPages, trvCols, trvRows, trvFacts}) items += zone->Items().Count();
    if (items > kMaxItems) MensErro(MsgPadrao->Msg("itensDemais"), true);

    Fatos.Clear();
    for (int i = 0; i < trvFacts->Items().Count(); ++i) Fatos.Add(trvFacts->Items()[i]->Text);
    writeZone(trvRows, Linhas, treeLinhas, false);
    writeZone(trvCols, Colunas, treeColunas, true);
    writeZone(trvPages, Paginas, treePaginas, true);

    criafrmCubo(false, nullptr, "");
    // A view that failed, ran out of time or was cancelled leaves the layout here to be changed.
    if (LastViewComputed()) Close();
}
