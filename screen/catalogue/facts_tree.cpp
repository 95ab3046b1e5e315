// The facts tree: business areas with their fact items, folder images following expansion.
#include <optional>

#include "data/filter_expression.hpp"
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"

void TfrmOpcodesDW::MontaArvore() {
    TCursorGuard wait(TCursor::crSQLWait);
    trvFatos->Items().Clear();
    // Looked up once: a catalogue has tens of thousands of facts.
    TField* areaName = cdsAreanegDW->FieldByName("NMAREANEGDW");
    TField* areaCode = cdsAreanegDW->FieldByName("CDAREANEGDW");
    TField* itemName = cdsItemDW->FieldByName("NMITEMDW");
    for (cdsAreanegDW->First(); !cdsAreanegDW->Eof(); cdsAreanegDW->Next()) {
        node = trvFatos->Items().Add(node0, areaName->AsString());
        node->ImageIndex = 0;
        node->SelectedIndex = 0;
        cdsItemDW->SetFilter("CDAREANEGDW = " + QuotedStr(areaCode->AsString()));
        for (cdsItemDW->First(); !cdsItemDW->Eof(); cdsItemDW->Next()) {
            node2 = trvFatos->Items().AddChild(node, itemName->AsString());
            node2->ImageIndex = -1;
            node2->SelectedIndex = -1;
        }
    }
    trvFatos->FullCollapse();
}

void TfrmOpcodesDW::ReuseFactsTree() {
    TCursorGuard wait(TCursor::crSQLWait);
    trvFatos->ForgetSelection();  // before collapsing, which would move a hidden selection to its area
    trvFatos->FullCollapse();
    // The data sets as MontaArvore's walk leaves them: the areas past their end, the items filtered
    // to the last area.
    std::optional<std::string> last;
    for (cdsAreanegDW->First(); !cdsAreanegDW->Eof(); cdsAreanegDW->Next()) last = cdsAreanegDW->FieldByName("CDAREANEGDW")->AsString();
    if (last) cdsItemDW->SetFilter("CDAREANEGDW = " + QuotedStr(*last));
}

void TfrmOpcodesDW::trvFatosExpanding(TObject*, TTreeNode* Node, bool&) {
    Node->ImageIndex = 1;
    Node->SelectedIndex = Node->ImageIndex;
}

void TfrmOpcodesDW::trvFatosCollapsing(TObject*, TTreeNode* Node, bool&) {
    Node->ImageIndex = 0;
    Node->SelectedIndex = Node->ImageIndex;
}
