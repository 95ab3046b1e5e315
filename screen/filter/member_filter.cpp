// The member filter of a dimension in a zone: its member statement, the member rows, the list dialog
// and the stored selection. The selection goes to the end of the cube module's filter lists (a new
// one, or a replaced one); an empty confirmed selection removes it; a cancelled dialog changes nothing.
#include "data/filter_expression.hpp"
#include "member_statement.hpp"
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "screen/node_marks.hpp"
#include "services/cube.hpp"
#include "services/list_dialog.hpp"
#include "services/query.hpp"

DataPacket TfrmOpcodesDW::buscaMembros(const std::string& Statement) {
    ShowAviScope animation(Application->MainForm, MsgPadrao->Msg("GetAtualiza"));
    return OpenLocalOrServer(*qryMutante, *netOpcoesDW, Statement, nullptr, "o pacote dos membros");
}

void TfrmOpcodesDW::mnuFiltrarClick(TObject*) {
    const LayoutStep step(*this);
    TTreeNode* target = trvPointer ? trvPointer->Selected() : nullptr;
    if (!target) return;
    const std::string name = target->Text;

    cdsDimensaoDime->SetFilter("NMITEMDIME = " + QuotedStr(name));
    cdsDimensaoDime->First();
    cdsMutante->SetIndexFieldNames("");
    cdsMutante->MasterFields.clear();
    cdsMutante->SetFilter("");
    const std::string ownTable = cdsDimensaoDime->FieldByName("CDTABELADIME")->AsString();
    const std::string sequence = cdsDimensaoDime->FieldByName("NRSEQUEDIME")->AsString();

    std::string statement, keyField, described, codeField;
    try {
        if (!ownTable.empty()) {
            const std::string d = cdsDimensaoDime->FieldByName("DSITEMDIME")->AsString();
            const std::string p = cdsDimensaoDime->FieldByName("DSPKDIME")->AsString();
            for (const std::string& id : {ownTable, p, d}) RequireIdentifier(id, name);
            statement = OwnTableStatement(ownTable, p, d, montaRestricao(p, sequence));
            keyField = p;
            described = d;
            if (p != d) codeField = p;
        } else {
            if (trvFacts->Items().Count() == 0) MensErro(MsgPadrao->Msg("emptyFatosFiltro"), true);
            // Aliases follow the facts zone's order; the base table is the first after sorting.
            TStringList aliases;
            for (int i = 0; i < trvFacts->Items().Count(); ++i) {
                cdsItemDW->SetFilter("NMITEMDW = " + QuotedStr(trvFacts->Items()[i]->Text));
                cdsItemDW->First();
                aliases.Add(cdsItemDW->FieldByName("CDTABELADW")->AsString() + "=" + FactAlias(i));
            }
            aliases.SetSorted(true);
            std::vector<FactTable> tables;
            for (int i = 0; i < aliases.Count(); ++i) {
                const std::string& entry = aliases[i];
                FactTable t{entry.substr(0, entry.rfind('=')), entry.substr(entry.rfind('=') + 1), ""};
                cdsDimensaoDW->SetFilter("NRSEQUEDIME = " + QuotedStr(sequence) + " AND CDTABELADW = " + QuotedStr(t.table));
                cdsDimensaoDW->First();
                t.column = cdsDimensaoDW->FieldByName("CDITEMDIME")->AsString();
                RequireIdentifier(t.table, name);
                RequireIdentifier(t.column, name);
                tables.push_back(std::move(t));
            }
            readFromSummaries(tables, name);
            statement = FactTablesStatement(tables);
            keyField = described = tables[0].column;
        }
    } catch (const EBadCatalogueName& e) {
        MensErro(e.what(), true);
    }

    cdsMutante->SetData(buscaMembros(statement));
    cdsMutante->FieldByName(described)->DisplayLabel = name;
    if (!codeField.empty()) cdsMutante->FieldByName(codeField)->DisplayLabel = MsgPadrao->Msg("CODE");

    int previous = target->ImageIndex == 0 ? FilterIndexOf(name) : -1;
    stLista = previous >= 0 ? stlCDfiltro[previous] : "";
    if (!PesquisaListaMsg(dtsMutante, keyField, name, false, stLista)) return;

    if (target->ImageIndex == 0) DropFilterEntry(name);
    if (!stLista.empty()) {
        stlCDfiltro.Add(stLista);
        stlDSfiltro.Add(name);
        SetMark(target, 0);
    } else {
        SetMark(target, -1);
    }
}
