// Command state: the remove and build commands follow the contents of the four zones; the current
// zone follows the focus.
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"

void TfrmOpcodesDW::controlaBotoes() {
    int facts = trvFacts->Items().Count();
    int dimensions = trvCols->Items().Count() + trvPages->Items().Count() + trvRows->Items().Count();
    sbtCancelar->Enabled = facts > 0 || dimensions > 0;
    sbtExcluir->Enabled = facts > 0 || dimensions > 0;
    sbtConfirmar->Enabled = facts > 0 && dimensions > 0;
    mnuConfirmar->Enabled = sbtConfirmar->Enabled;
    mnuExcluirItem->Enabled = sbtExcluir->Enabled;
    mnuExcluirTodos->Enabled = sbtCancelar->Enabled;
}

void TfrmOpcodesDW::trvPagesEnter(TObject* Sender) { trvPointer = static_cast<TTreeView*>(Sender); }
