// The dimension list of the selected business area, and the availability rule: a dimension is
// usable only when every fact in the facts zone is linked to it. Unusable dimensions leave the layout.
#include <unordered_map>

#include "data/filter_expression.hpp"
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"

namespace {

// A sorted set of texts that ignores duplicates without regard to case.
TStringList makeSet() {
    TStringList s;
    s.SetSorted(true);
    s.Duplicates = TDuplicates::dupIgnore;
    return s;
}

}  // namespace

TTreeNode* TfrmOpcodesDW::encontraNode(const std::string& Name, const TTreeNodes& Nodes) const {
    for (int i = 0; i < Nodes.Count(); ++i)
        if (Nodes[i]->Text == Name) return Nodes[i];
    return nullptr;
}

void TfrmOpcodesDW::trvFatosChange(TObject*, TTreeNode* Node) {
    if (!Node) return;
    TTreeNode* area = Node->Level() == 0 ? Node : Node->Parent();
    if (area->Text == stUltimaArea) return;
    stUltimaArea = area->Text;

    std::vector<std::string> items;
    for (int i = 0; i < area->Count(); ++i) items.push_back(area->Item(i)->Text);

    TStringList numbers = makeSet();
    for (const std::string& name : items) {
        cdsItemDW->SetFilter("NMITEMDW = " + QuotedStr(name));
        cdsItemDW->First();
        std::string table = cdsItemDW->FieldByName("CDTABELADW")->AsString();
        cdsDimensaoDW->SetFilter("CDTABELADW = " + QuotedStr(table));
        for (cdsDimensaoDW->First(); !cdsDimensaoDW->Eof(); cdsDimensaoDW->Next())
            numbers.Add(cdsDimensaoDW->FieldByName("NRSEQUEDIME")->AsString());
    }

    trvDimensoes->Items().Clear();
    for (int i = 0; i < numbers.Count(); ++i) {
        cdsDimensaoDime->SetFilter("NRSEQUEDIME = " + QuotedStr(numbers[i]));
        cdsDimensaoDime->First();
        node = trvDimensoes->Items().Add(node0, cdsDimensaoDime->FieldByName("NMITEMDIME")->AsString());
        SetMark(node, cdsDimensaoDime->FieldByName("ID")->AsString() == "*" ? 1 : 0);
    }
    trvDimensoes->SetSortType(TSortType::stNone);
    trvDimensoes->SetSortType(TSortType::stText);
}

void TfrmOpcodesDW::filtraDimensoes() {
    TStringList common = makeSet();
    TStringList working = makeSet();
    cdsDimensaoDime->SetFilter("");
    cdsDimensaoDW->SetFilter("");
    {
        TCursorGuard wait(TCursor::crSQLWait);
        // The list does not change during the run: its first node of each text is looked up once
        // (the same node encontraNode would find).
        std::unordered_map<std::string, TTreeNode*> listed;
        const TTreeNodes& list = trvDimensoes->Items();
        for (int i = list.Count() - 1; i >= 0; --i) listed[list[i]->Text] = list[i];
        auto listedNode = [&](const std::string& name) {
            auto it = listed.find(name);
            return it == listed.end() ? nullptr : it->second;
        };
        TField* id = cdsDimensaoDime->FieldByName("ID");
        TField* name = cdsDimensaoDime->FieldByName("NMITEMDIME");

        int count = trvFacts->Items().Count();
        if (count == 0) {
            for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next()) {
                cdsDimensaoDime->Edit();
                id->SetAsString("*");
                cdsDimensaoDime->Post();
                if (TTreeNode* n = listedNode(name->AsString())) SetMark(n, 1);
            }
        } else {
            for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next()) {
                cdsDimensaoDime->Edit();
                id->SetAsString(" ");
                cdsDimensaoDime->Post();
            }
            // Dimensions linked to the table of each fact, intersected fact by fact.
            TField* number = cdsDimensaoDW->FieldByName("NRSEQUEDIME");
            auto linksOf = [&](const std::string& fact) {
                cdsItemDW->SetFilter("NMITEMDW = " + QuotedStr(fact));
                cdsItemDW->First();
                cdsDimensaoDW->SetFilter("CDTABELADW = " + QuotedStr(cdsItemDW->FieldByName("CDTABELADW")->AsString()));
            };
            linksOf(trvFacts->Items()[0]->Text);
            for (cdsDimensaoDW->First(); !cdsDimensaoDW->Eof(); cdsDimensaoDW->Next()) common.Add(number->AsString());
            for (int i = 1; i < count; ++i) {
                linksOf(trvFacts->Items()[i]->Text);
                working.Clear();
                for (cdsDimensaoDW->First(); !cdsDimensaoDW->Eof(); cdsDimensaoDW->Next())
                    if (common.IndexOf(number->AsString()) >= 0) working.Add(number->AsString());
                common.Assign(working);
            }
            for (int i = 0; i < common.Count(); ++i) {
                cdsDimensaoDime->SetFilter("NrsequeDime = " + QuotedStr(common[i]));
                for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next()) {
                    cdsDimensaoDime->Edit();
                    id->SetAsString("*");
                    cdsDimensaoDime->Post();
                }
            }
            working.Clear();
            cdsDimensaoDime->SetFilter("ID <> '*'");
            for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next()) working.Add(name->AsString());
            common.Clear();
            cdsDimensaoDime->SetFilter("ID = '*'");
            for (cdsDimensaoDime->First(); !cdsDimensaoDime->Eof(); cdsDimensaoDime->Next()) common.Add(name->AsString());

            for (int i = 0; i < working.Count(); ++i) {
                SeekAndDestroy(working[i]);
                if (TTreeNode* n = listedNode(working[i])) SetMark(n, 0);
            }
            for (int i = 0; i < common.Count(); ++i)
                if (TTreeNode* n = listedNode(common[i])) SetMark(n, 1);
        }
    }
    controlaBotoes();
}
