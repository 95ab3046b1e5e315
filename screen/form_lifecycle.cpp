// Creation, closing and the form's own keys.
#include "frm_opcodes_dw.hpp"
#include "screen/unit_globals.hpp"
#include "services/cube.hpp"

void TfrmOpcodesDW::FormCreate(TObject*) {
    Trad(this);
    netOpcoesDW->SetConnected(true);
    // Every new screen starts with no member filters and no current zone; a screen opened to edit a
    // view keeps the filters the viewer handed back with it.
    if (!ViewEditRequested()) {
        stlCDfiltro.Clear();
        stlDSfiltro.Clear();
    }
    trvPointer = nullptr;
    for (int i = 0; i < ComponentCount(); ++i) {
        if (auto q = dynamic_cast<TADOIBQuery*>(Components(i)); q && dtmDBGeral) {
            q->SetADOConnection(dtmDBGeral->ADOConnection);
            q->SetIBDataBase(dtmDBGeral->IBDatabase);
            q->SetIBTransaction(dtmDBGeral->IBTransaction);
        }
    }
    AtualizaDados();
}

void TfrmOpcodesDW::FormClose(TObject*, TCloseAction& Action) {
    bostcriado = false;
    netOpcoesDW->SetConnected(false);
    Action = TCloseAction::caFree;  // released once the close has completed
}

void TfrmOpcodesDW::FormKeyDown(TObject*, Word& Key, TShiftState Shift) {
    if (Shift.Contains(TShiftState::Ctrl) && Key == VK_F1 + 1) {
        sbtConfirmar->Click();  // the build decides for itself whether it may run
        Key = 0;
    }
}

void TfrmOpcodesDW::sbtFecharClick(TObject*) { Close(); }
