// Undo and redo of the layout. A step copies the layout before the command; if the command changed
// it, the copy goes onto the undo history (the oldest dropped past kHistorySteps) and the redo
// history is forgotten. Undoing puts the layout as it stands onto the redo history and brings the
// copy back, zones and filters together; redoing does the reverse.
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"
#include "screen/unit_globals.hpp"
#include "services/cube.hpp"

namespace {

LayoutNode copyOf(const TTreeNode* n) {
    LayoutNode c{n->Text, n->ImageIndex, n->Expanded(), {}};
    for (int i = 0; i < n->Count(); ++i) c.members.push_back(copyOf(n->Item(i)));
    return c;
}

void place(TTreeNodes& items, TTreeNode* parent, const LayoutNode& c) {
    TTreeNode* n = parent ? items.AddChild(parent, c.text) : items.Add(node0, c.text);
    SetMark(n, c.image);
    for (const LayoutNode& member : c.members) place(items, n, member);
    if (c.expanded && n->HasChildren()) n->Expand();
}

}  // namespace

TfrmOpcodesDW::LayoutStep::LayoutStep(TfrmOpcodesDW& form) : form_(form), outer_(form.stepDepth_++ == 0) {
    if (outer_) before_ = form.TakeLayout();
}

TfrmOpcodesDW::LayoutStep::~LayoutStep() {
    --form_.stepDepth_;
    if (!outer_) return;
    try {
        if (form_.TakeLayout() == before_) return;
        form_.undo_.push_back(std::move(before_));
        if (form_.undo_.size() > kHistorySteps) form_.undo_.erase(form_.undo_.begin());
        form_.redo_.clear();
        form_.historyCommands();
    } catch (...) {
        // Out of memory for the copy: the step is not kept, the command's own work stands.
    }
}

LayoutSnapshot TfrmOpcodesDW::TakeLayout() const {
    LayoutSnapshot s;
    const TTreeView* zones[] = {trvPages, trvRows, trvCols, trvFacts};
    for (size_t z = 0; z < 4; ++z)
        for (int i = 0; i < zones[z]->Items().TopCount(); ++i) s.zones[z].push_back(copyOf(zones[z]->Items().Top(i)));
    s.filterNames = stlDSfiltro.Items();
    s.filterSelections = stlCDfiltro.Items();
    return s;
}

void TfrmOpcodesDW::restoreLayout(const LayoutSnapshot& layout) {
    TTreeView* zones[] = {trvPages, trvRows, trvCols, trvFacts};
    for (size_t z = 0; z < 4; ++z) {
        zones[z]->Items().Clear();
        for (const LayoutNode& c : layout.zones[z]) place(zones[z]->Items(), nullptr, c);
    }
    stlDSfiltro.Clear();
    stlCDfiltro.Clear();
    for (const std::string& name : layout.filterNames) stlDSfiltro.Add(name);
    for (const std::string& selection : layout.filterSelections) stlCDfiltro.Add(selection);
    filtraDimensoes();
    controlaBotoes();
}

void TfrmOpcodesDW::mnuDesfazerClick(TObject*) {
    if (undo_.empty()) return;
    redo_.push_back(TakeLayout());
    LayoutSnapshot back = std::move(undo_.back());
    undo_.pop_back();
    restoreLayout(back);
    historyCommands();
}

void TfrmOpcodesDW::mnuRefazerClick(TObject*) {
    if (redo_.empty()) return;
    undo_.push_back(TakeLayout());
    LayoutSnapshot again = std::move(redo_.back());
    redo_.pop_back();
    restoreLayout(again);
    historyCommands();
}

void TfrmOpcodesDW::historyCommands() {
    mnuDesfazer->Enabled = !undo_.empty();
    mnuRefazer->Enabled = !redo_.empty();
}
