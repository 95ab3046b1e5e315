// Removal of layout items.
#include "screen/frm_opcodes_dw.hpp"

// Removal by name arrives with the layout editor's removal commands; until then the zones cannot
// hold items, so there is nothing to remove.
void TfrmOpcodesDW::SeekAndDestroy(const std::string&) {}
