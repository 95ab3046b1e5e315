// Toolbar buttons, the main menu mnuConstrucao and the zones' context menu pnmPopup as designed.
#include "frm_opcodes_dw.hpp"
#include "placement.hpp"

namespace {

TMenuItem* entry(TMenuItem* parent, const char* name, const char* caption, const char* shortcut) {
    TMenuItem* m = parent->AddNew(caption, name);
    m->ShortCut = TextToShortCut(shortcut);
    return m;
}

}  // namespace

void TfrmOpcodesDW::DefineToolbarAndMenus() {
    int left = 2;
    auto button = [&](const char* name, const char* hint, const char* glyph, bool enabled) {
        TButtonFlat* b = PlaceControl<TButtonFlat>(this, panMenu, name, left, 3, 21, 21);
        b->Hint = hint;
        b->ShowHint = true;
        b->Glyph = glyph;
        b->Enabled = enabled;
        left += 23;
        return b;
    };
    sbtExcluir = button("sbtExcluir", "Excluir Item de Configuração", "excluir", false);
    sbtCancelar = button("sbtCancelar", "Excluir Todos os Itens de Configuração", "excluir_todos", false);
    sbtConfirmar = button("sbtConfirmar", "Construir Visão de DW", "construir", false);
    sbtVerificar = button("sbtVerificar", "Atualizar", "atualizar", true);
    sbtOrdenar = button("sbtOrdenar", "Ordenar", "ordenar", false);
    sbtOrdenar->Visible = false;
    sbtOrdenar->Left = sbtOrdenar->Top = sbtOrdenar->Width = sbtOrdenar->Height = 0;
    left -= 23;
    sbtAjuda = button("sbtAjuda", "Ajuda", "ajuda", true);
    sbtFechar = button("sbtFechar", "Fechar", "fechar", true);

    mnuConstrucao = Owned<TMainMenu>();
    mnuConstrucao->Name = "mnuConstrucao";
    mnuConstrucao->AutoMerge = true;
    Menu = mnuConstrucao;
    TMenuItem* bar = mnuConstrucao->Items();
    mnuOperacao = entry(bar, "mnuOperacao", "Operação", "");
    mnuOperacao->GroupIndex = 2;
    mnuFechar = entry(mnuOperacao, "mnuFechar", "Fechar", "Ctrl+F4");
    mnuManutencao = entry(bar, "mnuManutencao", "Manutenção", "");
    mnuManutencao->GroupIndex = 2;
    mnuAtualizar = entry(mnuManutencao, "mnuAtualizar", "Atualizar", "F5");
    mnuExcluirItem = entry(mnuManutencao, "mnuExcluirItem", "Excluir Item de Configuração", "Del");
    mnuExcluirTodos = entry(mnuManutencao, "mnuExcluirTodos", "Excluir Todos os Itens de Configuração", "Ctrl+Del");
    N1 = entry(mnuManutencao, "N1", "-", "");
    mnuConfirmar = entry(mnuManutencao, "mnuConfirmar", "Construir Visão de DW", "Ctrl+F2");
    N2 = entry(mnuManutencao, "N2", "-", "");
    mnuDesfazer = entry(mnuManutencao, "mnuDesfazer", "Desfazer", "Ctrl+Z");
    mnuRefazer = entry(mnuManutencao, "mnuRefazer", "Refazer", "Ctrl+Y");
    mnuDesfazer->Enabled = mnuRefazer->Enabled = false;  // nothing done yet
    // The layout commands start as their buttons do: disabled until the zones hold items.
    mnuExcluirItem->Enabled = mnuExcluirTodos->Enabled = mnuConfirmar->Enabled = false;

    pnmPopup = Owned<TPopupMenu>();
    pnmPopup->Name = "pnmPopup";
    mnuFiltrar = entry(pnmPopup->Items(), "mnuFiltrar", "Filtrar", "F9");
    mnuExcluir = entry(pnmPopup->Items(), "mnuExcluir", "Excluir", "Del");  // no action: it takes no key
    for (TTreeView* zone : {trvPages, trvRows, trvCols}) zone->PopupMenu = pnmPopup;
}
