// Grouping: a top-level dimension, with its members, becomes a member of another top-level
// dimension of the same zone, in one flat group; ungrouping takes a member to the top of the zone.
// Both act on the current zone and its selected node, and never on a node that is gone.
#include <algorithm>

#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"

void TfrmOpcodesDW::Group(TObject* Sender) {
    const LayoutStep step(*this);
    TTreeView* zone = trvPointer;
    TTreeNode* moved = zone ? zone->Selected() : nullptr;
    if (!moved) return;
    // The entry remembers its head, so a name with "&" (which menus may turn into an accelerator
    // mark) still finds it; the head must still be a top-level node of this zone.
    TTreeNode* target = nullptr;
    auto remembered = std::find_if(groupTargets_.begin(), groupTargets_.end(), [&](auto& t) { return t.first == Sender; });
    if (remembered != groupTargets_.end())
        for (int i = 0; i < zone->Items().TopCount(); ++i)
            if (zone->Items().Top(i) == remembered->second) target = zone->Items().Top(i);
    if (!target && remembered == groupTargets_.end()) {
        std::string name = static_cast<TMenuItem*>(Sender)->Caption;
        name.erase(std::remove(name.begin(), name.end(), '&'), name.end());
        target = encontraNode(name, zone->Items());
    }
    // Only a top-level head takes members: groups stay one level deep.
    if (!target || target->Level() != 0 || target == moved) return;
    moved->MoveTo(target, TNodeAttachMode::naAddChild);
    while (TTreeNode* member = moved->getFirstChild()) member->MoveTo(target, TNodeAttachMode::naAddChild);
}

void TfrmOpcodesDW::unGroup(TObject*) {
    const LayoutStep step(*this);
    TTreeView* zone = trvPointer;
    TTreeNode* member = zone ? zone->Selected() : nullptr;
    if (!member || member->Level() == 0) return;
    member->MoveTo(zone->Items().Top(0), TNodeAttachMode::naInsert);
}
