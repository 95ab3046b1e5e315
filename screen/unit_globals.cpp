// The unit's state (see unit_globals.hpp): one copy per loaded module. bostcriado and trvPointer are
// exported so that the host can show them.
#include "screen/unit_globals.hpp"

#define QEL_EXPORT __attribute__((visibility("default")))

TfrmOpcodesDW* frmOpcodesDW = nullptr;
extern "C" {
QEL_EXPORT bool bostcriado = false;
QEL_EXPORT TTreeView* trvPointer = nullptr;
}
std::string stLista;
TTreeNode* node = nullptr;
TTreeNode* node2 = nullptr;
TTreeNode* node0 = nullptr;
