// Command state: the remove and build commands follow the contents of the four zones.
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
