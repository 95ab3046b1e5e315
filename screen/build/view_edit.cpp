// "Editar visão" brought back to the screen: the cube module's lists, written by the viewer, are read
// back into the zones in the same form the build writes them (names in display order, position codes
// naming each nested item's top-level head, the name after "_" in columns and pages), and the filter
// lists mark the filtered items. Whatever the zones held is replaced. An item the catalogue no longer
// has is left out, and all such items are named in one warning.
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"
#include "screen/unit_globals.hpp"
#include "services/cube.hpp"
#include "toolkit/application.hpp"

namespace {

// The top-level index a position code names for a nested item ("2.3", "2.3_Nome"), or -1 for a head.
int headOf(const std::string& code) {
    auto dot = code.find('.');
    if (dot == std::string::npos || dot == 0) return -1;
    int head = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (code[i] < '0' || code[i] > '9') return -1;
        head = head * 10 + (code[i] - '0');
    }
    return head;
}

}  // namespace

void TfrmOpcodesDW::LoadViewToEdit() {
    TakeViewEditRequest();
    const LayoutStep step(*this);  // the layout it replaces comes back with Desfazer
    std::string missing;
    auto note = [&](const char* kind, const std::string& name) { missing += std::string(missing.empty() ? "" : "; ") + kind + " " + name; };

    for (TTreeView* zone : {trvPages, trvRows, trvCols, trvFacts}) zone->Items().Clear();
    for (const std::string& fact : Fatos.Items()) {
        bool known = false;
        for (int i = 0; i < trvFatos->Items().Count() && !known; ++i)
            known = trvFatos->Items()[i]->Level() == 1 && trvFatos->Items()[i]->Text == fact;
        if (known) SetMark(trvFacts->Items().Add(node0, fact), -1);
        else note("fato", fact);
    }
    auto knownDimension = [&](const std::string& name) {
        cdsDimensaoDime->SetFilter("");
        for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next())
            if (cdsDimensaoDime->FieldByName("NMITEMDIME")->AsString() == name) return true;
        return false;
    };
    auto readZone = [&](TTreeView* zone, const TStringList& names, const TStringList& codes) {
        std::vector<TTreeNode*> placed(static_cast<size_t>(names.Count()), nullptr);  // by list index
        for (int i = 0; i < names.Count(); ++i) {
            if (!knownDimension(names[i])) {
                note("dimensão", names[i]);
                continue;
            }
            int head = i < codes.Count() ? headOf(codes[i]) : -1;
            TTreeNode* parent = head >= 0 && head < i ? placed[static_cast<size_t>(head)] : nullptr;
            TTreeNode* n = parent ? zone->Items().AddChild(parent, names[i]) : zone->Items().Add(node0, names[i]);
            SetMark(n, FilterIndexOf(names[i]) >= 0 ? 0 : -1);
            placed[static_cast<size_t>(i)] = n;
        }
    };
    readZone(trvRows, Linhas, treeLinhas);
    readZone(trvCols, Colunas, treeColunas);
    readZone(trvPages, Paginas, treePaginas);

    // The area of the first fact: the dimension list and its availability follow it.
    if (trvFacts->Items().Count() > 0) {
        const std::string& first = trvFacts->Items()[0]->Text;
        for (int i = 0; i < trvFatos->Items().Count(); ++i) {
            TTreeNode* n = trvFatos->Items()[i];
            if (n->Level() == 1 && n->Text == first) {
                trvFatos->Select(n->Parent());
                break;
            }
        }
    }
    filtraDimensoes();
    controlaBotoes();
    if (!missing.empty())
        Application->MessageDlg("Itens da visão que não estão mais no catálogo foram deixados de fora: " + missing + ".",
                                TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK});
}
