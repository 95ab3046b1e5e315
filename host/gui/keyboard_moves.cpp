// The front end's keyboard moves and drop explanations: each move is the drop a person would make
// with the mouse (the same DragOver and DragDrop events of the form), so the screen's rules decide.
#include <QMainWindow>
#include <QStatusBar>

#include "cube/selection.hpp"
#include "front_end.hpp"
#include "member_dialog.hpp"
#include "services/cube.hpp"
#include "toolkit/input.hpp"
#include "toolkit/tree_view.hpp"

namespace {

// The zone's node of that name (a group's member too), or nullptr.
TTreeNode* zoneNode(TForm* form, const std::string& text, TTreeView** zoneOut = nullptr) {
    for (const char* name : {"trvPages", "trvRows", "trvCols", "trvFacts"})
        if (auto* zone = dynamic_cast<TTreeView*>(form->FindComponent(name)))
            for (int i = 0; i < zone->Items().Count(); ++i)
                if (zone->Items()[i]->Text == text) {
                    if (zoneOut) *zoneOut = zone;
                    return zone->Items()[i];
                }
    return nullptr;
}

bool inZones(TForm* form, const std::string& text) { return zoneNode(form, text) != nullptr; }

int countOf(TControl* c) {
    auto* t = dynamic_cast<TTreeView*>(c);
    return t ? t->Items().Count() : -1;
}

}  // namespace

void FrontEnd::Note(const QString& text) { window_->statusBar()->showMessage(text, 5000); }

QString FrontEnd::RefusalOf(TControl* source, TControl* target, bool accepted) const {
    auto* tree = dynamic_cast<TTreeView*>(source);
    TTreeNode* item = tree ? tree->Selected() : nullptr;
    if (!item || !target) return {};
    const QString name = QString::fromStdString(item->Text);
    const std::string from = source->Name, to = target->Name;
    if (accepted) {
        // A drop that was taken but changed nothing: the item was already in the view.
        bool catalogue = from == "trvFatos" || from == "trvDimensoes";
        TForm* form = source->GetParentForm();
        return catalogue && form && inZones(form, item->Text) && from != to ? QString("“%1” já está na visão").arg(name) : QString();
    }
    if (from == "trvDimensoes" && item->ImageIndex == 0) return QString("“%1” não é comum a todos os fatos da visão").arg(name);
    if (from == "trvFatos" || to == "trvFacts") return QString("Fatos só vão para a área Fatos");
    if (to == "trvFatos") return QString("Só um fato da visão volta para a lista de fatos");
    return QString("“%1” não pode ir para esta área").arg(name);
}

void FrontEnd::SendTo(TTreeView* source, const std::string& zone) {
    TForm* form = source ? source->GetParentForm() : nullptr;
    auto* target = form ? dynamic_cast<TTreeView*>(form->FindComponent(zone)) : nullptr;
    if (!target || !source->Selected() || target == source) return;
    // A catalogue item already in the view is moved from the zone that holds it, as a person would
    // drag it from there: the screen's rules for a move between zones decide.
    const bool catalogue = source->Name == "trvFatos" || source->Name == "trvDimensoes";
    TTreeView* holder = nullptr;
    if (TTreeNode* placed = catalogue ? zoneNode(form, source->Selected()->Text, &holder) : nullptr) {
        if (holder == target) {
            Note(QString("“%1” já está nesta área").arg(QString::fromStdString(placed->Text)));
            return;
        }
        int px = 0, py = 0;
        bool shown = false;
        Act([&] {
            if (!(shown = PointOfNode(holder, placed, px, py))) return;
            MouseDown(holder, TMouseButton::mbLeft, px, py, {});
            MouseUp(holder, TMouseButton::mbLeft, px, py, {});
        });
        if (!shown || holder->Selected() != placed) return;
        source = holder;
    }
    int x = 0, y = 0;
    PointBelowRows(target, x, y);
    bool accepted = DragOver(target, source, x, y, TDragState::dsDragMove);
    const int before = countOf(target);
    if (accepted) Act([&] { Drop(target, source, x, y); });
    QString why = RefusalOf(source, target, accepted);
    if (!accepted || (countOf(target) == before && !why.isEmpty())) Note(why);
}

void FrontEnd::MoveWithin(TTreeView* zone, bool up) {
    TTreeNode* item = zone ? zone->Selected() : nullptr;
    if (!item) return;
    // Up: the item dropped on the one before it. Down: the one after it dropped on the item, which
    // is then selected again. Both are the drops a person makes to reorder a zone.
    TTreeNode* other = up ? item->getPrevSibling() : item->getNextSibling();
    if (!other) return;
    TTreeNode* moved = up ? item : other;
    TTreeNode* onto = up ? other : item;
    int mx = 0, my = 0, ox = 0, oy = 0;
    Act([&] {
        if (!PointOfNode(zone, moved, mx, my)) return;
        MouseDown(zone, TMouseButton::mbLeft, mx, my, {});
        MouseUp(zone, TMouseButton::mbLeft, mx, my, {});
        if (!PointOfNode(zone, onto, ox, oy)) return;
        if (DragOver(zone, zone, ox, oy, TDragState::dsDragMove)) Drop(zone, zone, ox, oy);
        if (!up && PointOfNode(zone, item, mx, my)) {
            MouseDown(zone, TMouseButton::mbLeft, mx, my, {});
            MouseUp(zone, TMouseButton::mbLeft, mx, my, {});
        }
    });
}

std::vector<std::string> FrontEnd::FilterLabels(const std::string& selection) const {
    if (dialogs_) {
        std::vector<std::string> labels = dialogs_->LabelsOf(selection);
        if (!labels.empty()) return labels;
    }
    try {
        return ParseSelection(selection);
    } catch (const ESelectionError&) {
        return {selection};
    }
}
