// The dimension zones' context menu, thrown away and rebuilt at every opening from the current zone
// and its selected node: "Filtrar" and "Excluir" always; "Desagrupar" for a group member; "Agrupar"
// with the zone's other top-level dimensions for a top-level one.
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"

namespace {

TMenuItem* entry(TMenuItem* parent, const std::string& caption, const char* shortcut, int tag, TNotifyEvent action) {
    TMenuItem* m = parent->AddNew(caption);
    m->ShortCut = TextToShortCut(shortcut);
    m->Tag = tag;
    m->HelpContext = 0;
    m->OnClick = std::move(action);
    return m;
}

}  // namespace

void TfrmOpcodesDW::pnmPopupPopup(TObject*) {
    using std::bind_front;
    TMenuItem* items = pnmPopup->Items();
    for (int i = items->Count() - 1; i >= 0; --i) items->Delete(i);
    groupTargets_.clear();

    entry(items, "Filtrar", "F9", 1, bind_front(&TfrmOpcodesDW::mnuFiltrarClick, this));
    entry(items, "Excluir", "Del", 2, bind_front(&TfrmOpcodesDW::sbtExcluirClick, this));
    TTreeView* zone = trvPointer;
    if (!zone || zone->Items().Count() == 0) return;
    TTreeNode* selected = zone->Selected();
    if (!selected) return;  // nothing to group or ungroup without a node
    if (selected->Level() != 0) {
        entry(items, "-", "", 3, nullptr);
        entry(items, "Desagrupar", "", 4, bind_front(&TfrmOpcodesDW::unGroup, this));
        return;
    }

    std::vector<std::unique_ptr<TMenuItem>> others;
    for (int i = 0; i < zone->Items().Count(); ++i) {
        TTreeNode* n = zone->Items()[i];
        if (n->Level() != 0 || n == selected) continue;
        auto m = std::make_unique<TMenuItem>(nullptr);
        m->Caption = n->Text;
        m->Name = "mnuPopup" + std::to_string(i);
        m->OnClick = bind_front(&TfrmOpcodesDW::Group, this);
        groupTargets_.emplace_back(m.get(), n);
        others.push_back(std::move(m));
    }
    if (others.empty()) return;
    entry(items, "-", "", 3, nullptr);
    TMenuItem* group = entry(items, "Agrupar", "", 0, nullptr);
    group->Name = "mnuGroup";
    for (auto& m : others) group->Add(std::move(m));
}
