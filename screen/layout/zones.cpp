// The gestures of the layout zones and the catalogues: which control takes which drag, what a drop,
// a double-click or Enter does. Facts go only into trvFacts, usable dimensions only into the three
// dimension zones; a drop within a zone reorders it.
#include <stdexcept>

#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"

namespace {

// A reorder the tree refuses (a node onto itself or into its own group: the toolkit's logic errors)
// is ignored without a message and the zone stays as it was; any other failure reaches the operator.
template <class F>
void ignoreRefusedMove(F&& reorder) {
    try {
        reorder();
    } catch (const std::logic_error&) {
    }
}

}  // namespace

void TfrmOpcodesDW::trvFatosDragOver(TObject*, TObject* Source, int, int, TDragState, bool& Accept) {
    Accept = Source == trvFacts;
}

void TfrmOpcodesDW::trvFatosDragDrop(TObject*, TObject*, int, int) {
    // The fact leaves the view: the drag began with a press in trvFacts, which made it current.
    ApagaItem(trvPointer);
}

void TfrmOpcodesDW::trvPagesDragOver(TObject*, TObject* Source, int, int, TDragState, bool& Accept) {
    if (Source == trvDimensoes) {
        TTreeNode* n = trvDimensoes->Selected();
        Accept = n && n->SelectedIndex != 0;
    } else {
        Accept = Source != trvFatos && Source != trvFacts;
    }
}

void TfrmOpcodesDW::trvPagesDragDrop(TObject* Sender, TObject* Source, int X, int Y) {
    if (Source == Sender) return ignoreRefusedMove([&] { MoveItems(Sender, X, Y); });
    TransferItemsNoDups(static_cast<TTreeView*>(Sender), dynamic_cast<TTreeView*>(Source));
}

void TfrmOpcodesDW::trvFactsDragOver(TObject*, TObject* Source, int, int, TDragState, bool& Accept) {
    TTreeNode* n = trvFatos->Selected();
    Accept = (Source == trvFatos && n && n->SelectedIndex == -1) || Source == trvFacts;
}

void TfrmOpcodesDW::trvFactsDragDrop(TObject* Sender, TObject* Source, int X, int Y) {
    if (Source != trvFacts) return TransferItemsNoDups(trvFacts, trvFatos);  // recomputes the marks itself
    ignoreRefusedMove([&] { MoveItems(Sender, X, Y); });
    filtraDimensoes();
}

void TfrmOpcodesDW::scrOpcoesDWDragOver(TObject*, TObject*, int, int, TDragState, bool& Accept) { Accept = false; }

void TfrmOpcodesDW::trvFatosDblClick(TObject*) {
    TTreeNode* n = trvFatos->Selected();
    if (trvFatos->Items().Count() > 0 && n && n->SelectedIndex == -1) TransferItemsNoDups(trvFacts, trvFatos);
}

void TfrmOpcodesDW::trvDimensoesDblClick(TObject*) {
    TTreeNode* n = trvDimensoes->Selected();
    if (trvDimensoes->Items().Count() > 0 && n && n->ImageIndex == 1) TransferItemsNoDups(trvRows, trvDimensoes);
}

void TfrmOpcodesDW::trvFatosKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
    if (trvFatos->Items().Count() == 0) return;  // an empty tree keeps the key to itself
    if (Key == VK_RETURN) trvFatosDblClick(Sender);
    FormKeyDown(Sender, Key, Shift);
}

void TfrmOpcodesDW::trvDimensoesKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
    if (trvDimensoes->Items().Count() == 0) return;
    if (Key == VK_RETURN) trvDimensoesDblClick(Sender);
    FormKeyDown(Sender, Key, Shift);
}
