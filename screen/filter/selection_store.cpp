// The filter selections of the layout items, kept by the cube module in two index-aligned lists:
// entry k of stlDSfiltro names a filtered item, entry k of stlCDfiltro holds its selection.
#include "screen/frm_opcodes_dw.hpp"
#include "services/cube.hpp"

int TfrmOpcodesDW::FilterIndexOf(const std::string& Name) { return stlDSfiltro.IndexOf(Name); }

void TfrmOpcodesDW::DropFilterEntry(const std::string& Name) {
    int k = FilterIndexOf(Name);
    if (k < 0) return;  // an item without an entry is removed all the same
    stlCDfiltro.Delete(k);
    stlDSfiltro.Delete(k);
}
