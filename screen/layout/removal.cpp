// Items leave the zones one at a time, all at once, or by name when they stop being usable; the
// filter entries of every removed item that carries the filter mark leave with them. Removing them
// all is asked first.
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"
#include "toolkit/application.hpp"

void TfrmOpcodesDW::ApagaItem(TTreeView* Zone) {
    const LayoutStep step(*this);
    TTreeNode* item = Zone ? Zone->Selected() : nullptr;
    if (item) {
        if (Zone != trvFacts && IsFiltered(item)) DropFilterEntry(item->Text);
        while (TTreeNode* member = item->getFirstChild()) {
            if (IsFiltered(member)) DropFilterEntry(member->Text);
            member->Delete();
        }
        item->Delete();
    }
    filtraDimensoes();
}

void TfrmOpcodesDW::SeekAndDestroy(const std::string& Name) {
    // Only the dimension zones: a fact that shares a name with an unusable dimension stays.
    for (TTreeView* zone : {trvPages, trvCols, trvRows}) {
        TTreeNode* n = encontraNode(Name, zone->Items());
        if (!n) continue;
        while (TTreeNode* member = n->getFirstChild()) {
            if (IsFiltered(member)) DropFilterEntry(member->Text);
            member->Delete();
        }
        if (IsFiltered(n)) DropFilterEntry(n->Text);
        n->Delete();
        return;
    }
}

void TfrmOpcodesDW::sbtExcluirClick(TObject*) {
    if (trvPointer && trvPointer->Selected()) return ApagaItem(trvPointer);  // recomputes itself
    filtraDimensoes();
}

void TfrmOpcodesDW::sbtCancelarClick(TObject*) {
    bool any = false;
    for (TTreeView* zone : {trvPages, trvRows, trvCols, trvFacts}) any = any || zone->Items().Count() > 0;
    // Everything at once is asked first; once done, Desfazer (Ctrl+Z) still brings it back.
    if (any && Application->MessageDlg("Excluir todos os itens da visão, com os seus filtros? (Ctrl+Z desfaz)",
                                       TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}) != mrYes)
        return;
    const LayoutStep step(*this);
    for (TTreeView* zone : {trvPages, trvRows, trvCols})
        for (int i = 0; i < zone->Items().Count(); ++i)
            if (IsFiltered(zone->Items()[i])) DropFilterEntry(zone->Items()[i]->Text);
    for (TTreeView* zone : {trvPages, trvRows, trvCols, trvFacts}) zone->Items().Clear();
    filtraDimensoes();
}

void TfrmOpcodesDW::trvFactsKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
    auto zone = static_cast<TTreeView*>(Sender);
    if (Key == VK_DELETE && zone->Selected()) ApagaItem(zone);
    FormKeyDown(Sender, Key, Shift);
}

void TfrmOpcodesDW::trvFactsMouseDown(TObject* Sender, TMouseButton, TShiftState, int X, int Y) {
    auto zone = static_cast<TTreeView*>(Sender);
    trvPointer = zone;
    if (TTreeNode* n = zone->GetNodeAt(X, Y)) zone->Select(n);
}
