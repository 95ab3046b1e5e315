// Binds the handlers of the form to its components' events. One handler often serves several
// controls and tells them apart by its sender.
#include <functional>

#include "frm_opcodes_dw.hpp"

void TfrmOpcodesDW::WireEvents() {
    using std::bind_front;
    OnCreate = bind_front(&TfrmOpcodesDW::FormCreate, this);
    OnClose = bind_front(&TfrmOpcodesDW::FormClose, this);
    OnKeyDown = bind_front(&TfrmOpcodesDW::FormKeyDown, this);

    sbtFechar->OnClick = bind_front(&TfrmOpcodesDW::sbtFecharClick, this);
    mnuFechar->OnClick = bind_front(&TfrmOpcodesDW::sbtFecharClick, this);
    sbtVerificar->OnClick = bind_front(&TfrmOpcodesDW::sbtVerificarClick, this);
    mnuAtualizar->OnClick = bind_front(&TfrmOpcodesDW::sbtVerificarClick, this);
    sbtConfirmar->OnClick = bind_front(&TfrmOpcodesDW::sbtConfirmarClick, this);
    mnuConfirmar->OnClick = bind_front(&TfrmOpcodesDW::sbtConfirmarClick, this);
    sbtExcluir->OnClick = bind_front(&TfrmOpcodesDW::sbtExcluirClick, this);
    mnuExcluirItem->OnClick = bind_front(&TfrmOpcodesDW::sbtExcluirClick, this);
    sbtCancelar->OnClick = bind_front(&TfrmOpcodesDW::sbtCancelarClick, this);
    mnuExcluirTodos->OnClick = bind_front(&TfrmOpcodesDW::sbtCancelarClick, this);
    mnuDesfazer->OnClick = bind_front(&TfrmOpcodesDW::mnuDesfazerClick, this);
    mnuRefazer->OnClick = bind_front(&TfrmOpcodesDW::mnuRefazerClick, this);

    netOpcoesDW->OnBeforeConnect = bind_front(&TfrmOpcodesDW::netOpcoesDWBeforeConnect, this);

    trvFatos->OnExpanding = bind_front(&TfrmOpcodesDW::trvFatosExpanding, this);
    trvFatos->OnCollapsing = bind_front(&TfrmOpcodesDW::trvFatosCollapsing, this);
    trvFatos->OnChange = bind_front(&TfrmOpcodesDW::trvFatosChange, this);
    trvFatos->OnDblClick = bind_front(&TfrmOpcodesDW::trvFatosDblClick, this);
    trvFatos->OnDragOver = bind_front(&TfrmOpcodesDW::trvFatosDragOver, this);
    trvFatos->OnDragDrop = bind_front(&TfrmOpcodesDW::trvFatosDragDrop, this);
    trvFatos->OnKeyDown = bind_front(&TfrmOpcodesDW::trvFatosKeyDown, this);

    // The dimension list accepts no drop: it has no drag-over handler.
    trvDimensoes->OnDblClick = bind_front(&TfrmOpcodesDW::trvDimensoesDblClick, this);
    trvDimensoes->OnKeyDown = bind_front(&TfrmOpcodesDW::trvDimensoesKeyDown, this);

    pnmPopup->OnPopup = bind_front(&TfrmOpcodesDW::pnmPopupPopup, this);
    mnuFiltrar->OnClick = bind_front(&TfrmOpcodesDW::mnuFiltrarClick, this);
    for (TTreeView* zone : {trvPages, trvRows, trvCols}) {
        zone->OnDblClick = bind_front(&TfrmOpcodesDW::mnuFiltrarClick, this);
        zone->OnDragOver = bind_front(&TfrmOpcodesDW::trvPagesDragOver, this);
        zone->OnDragDrop = bind_front(&TfrmOpcodesDW::trvPagesDragDrop, this);
    }
    trvFacts->OnDblClick = bind_front(&TfrmOpcodesDW::sbtExcluirClick, this);
    trvFacts->OnDragOver = bind_front(&TfrmOpcodesDW::trvFactsDragOver, this);
    trvFacts->OnDragDrop = bind_front(&TfrmOpcodesDW::trvFactsDragDrop, this);
    for (TTreeView* zone : {trvPages, trvRows, trvCols, trvFacts}) {
        zone->OnKeyDown = bind_front(&TfrmOpcodesDW::trvFactsKeyDown, this);
        zone->OnEnter = bind_front(&TfrmOpcodesDW::trvPagesEnter, this);
        zone->OnMouseDown = bind_front(&TfrmOpcodesDW::trvFactsMouseDown, this);
    }
    scrOpcoesDW->OnDragOver = bind_front(&TfrmOpcodesDW::scrOpcoesDWDragOver, this);
}
