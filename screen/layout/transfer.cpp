// Bringing items into the zones (copy from a catalogue, move from another zone) and reordering
// them within a zone. Names are identities: a name already anywhere in the four zones is not added
// again. Groups are one level deep, and no drop makes them deeper.
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"

void TfrmOpcodesDW::TransferItemsNoDups(TTreeView* Destination, TTreeView* Source) {
    const LayoutStep step(*this);
    TTreeNode* item = Source ? Source->Selected() : nullptr;
    bool zoneSource = Source == trvPages || Source == trvRows || Source == trvCols || Source == trvFacts;
    bool copy = item && ((Source == trvDimensoes && item->ImageIndex != 0) || (Source == trvFatos && item->SelectedIndex == -1));

    if (copy) {
        bool duplicate = false;
        for (TTreeView* zone : {trvPages, trvCols, trvRows, trvFacts})
            if (encontraNode(item->Text, zone->Items())) duplicate = true;
        if (!duplicate) SetMark(Destination->Items().Add(node0, item->Text), -1);
    } else if (zoneSource && item) {
        // The filter mark travels with the item; its filter entry is keyed by the name and stays valid.
        TTreeNode* moved = Destination->Items().Add(node0, item->Text);
        SetMark(moved, item->ImageIndex);
        while (TTreeNode* member = item->getFirstChild()) {
            SetMark(Destination->Items().AddChild(moved, member->Text), member->ImageIndex);
            member->Delete();
        }
        item->Delete();
    }
    filtraDimensoes();
}

void TfrmOpcodesDW::MoveItems(TObject*, int X, int Y) {
    const LayoutStep step(*this);
    TTreeView* zone = trvPointer;
    if (!zone) return;
    TTreeNode* target = zone->GetNodeAt(X, Y);
    TTreeNode* moved = zone->Selected();
    if (!target || !moved || target == moved || target->HasAsParent(moved)) return;
    if (target->Level() > 0 && moved->HasChildren()) {
        // A group head dropped on another group's member joins that group just before the target,
        // and its own members follow it there in order: groups stay one level deep.
        moved->MoveTo(target, TNodeAttachMode::naInsert);
        while (TTreeNode* member = moved->getFirstChild()) member->MoveTo(target, TNodeAttachMode::naInsert);
        return;
    }
    moved->MoveTo(target, TNodeAttachMode::naInsert);
}
