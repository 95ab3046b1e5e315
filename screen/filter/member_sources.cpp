// Where a member list that reads fact tables reads them: each from its smallest fresh summary table
// that holds the dimension's column and every column the operator's access rules restrict in that
// table, else from the fact table itself. A summary groups by its columns, so it holds the same keys
// as its fact table; with the restricted columns in it, the server keeps the operator's rules on it
// as on the fact table. The lookups go where the member list goes (locally, or through the server).
#include "data/access_rules.hpp"
#include "data/filter_expression.hpp"
#include "member_statement.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/query.hpp"
#include "services/session.hpp"

void TfrmOpcodesDW::readFromSummaries(std::vector<FactTable>& tables, const std::string& dimension) {
    const std::vector<AggregateTable> fresh = FreshAggregates(*qryMutante, *netOpcoesDW);
    if (fresh.empty()) return;
    const SqlParams op{{"P_CDOPERADOR", Operador()}};
    std::vector<std::string> restricted;  // the sequence numbers of the dimensions that restrict the operator
    for (const auto& row : OpenLocalOrServer(*qryMutante, *netOpcoesDW, kRestrictedDimensionsSql, &op, "as regras de acesso").rows)
        restricted.push_back(row.at(1));
    for (FactTable& t : tables) {
        std::vector<std::string> needed{t.column};
        for (const std::string& sequence : restricted) {
            cdsDimensaoDW->SetFilter("NRSEQUEDIME = " + QuotedStr(sequence) + " AND CDTABELADW = " + QuotedStr(t.table));
            cdsDimensaoDW->First();
            if (!cdsDimensaoDW->IsEmpty()) needed.push_back(cdsDimensaoDW->FieldByName("CDITEMDIME")->AsString());
        }
        if (const AggregateTable* summary = ChooseAggregate(fresh, t.table, needed)) {
            RequireIdentifier(summary->table, dimension);
            t.table = summary->table;
        }
    }
}
