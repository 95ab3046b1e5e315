// The view build.
#include "screen/frm_opcodes_dw.hpp"

// Runs only while the build command is enabled; the writing of the view definition and the hand-over
// to the cube module come with the view build itself.
void TfrmOpcodesDW::sbtConfirmarClick(TObject*) {
    if (!sbtConfirmar->Enabled) return;
}
