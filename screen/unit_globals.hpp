// State of the unit Cli_qel00100: one copy per loaded module, shared by every form instance.
// frmOpcodesDW is assigned by the form factory before the form's create handler runs and is not
// cleared by closing; bostcriado alone tells whether a screen instance exists. None of the pointers
// owns what it points to (the application owns the form; the form owns its trees and nodes).
#pragma once

#include <string>

class TfrmOpcodesDW;
class TTreeView;
class TTreeNode;

extern TfrmOpcodesDW* frmOpcodesDW;
extern "C" bool bostcriado;  // exported so the host can show it
extern "C" TTreeView* trvPointer;  // the layout zone last entered or pressed; none when a screen opens
extern std::string stLista;    // selection exchanged with the member list dialog
extern TTreeNode* node;        // scratch while nodes are built or searched
extern TTreeNode* node2;
extern TTreeNode* node0;       // never assigned: as a sibling it appends at the top level

void CriaOpcoesDW();
