// Binds the handlers of the form to its components' events.
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

    netOpcoesDW->OnBeforeConnect = bind_front(&TfrmOpcodesDW::netOpcoesDWBeforeConnect, this);

    trvFatos->OnExpanding = bind_front(&TfrmOpcodesDW::trvFatosExpanding, this);
    trvFatos->OnCollapsing = bind_front(&TfrmOpcodesDW::trvFatosCollapsing, this);
    trvFatos->OnChange = bind_front(&TfrmOpcodesDW::trvFatosChange, this);
}
