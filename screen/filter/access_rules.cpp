// The operator's access rules for a dimension with a table of its own: a row of the operator in
// DIMEODWOPER makes the per-operator allow-list the only rule; otherwise the allow-lists of all the
// operator's groups count together. A dimension without matching rows is unrestricted. The rules are
// read over the client's own database; a failure there ends the filter command.
#include <cstdlib>

#include "data/filter_expression.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/session.hpp"

std::string TfrmOpcodesDW::montaRestricao(const std::string& KeyColumn, const std::string& Sequence) {
    qryTpAces->Close();
    qryTpAces->ParamByName("P_CDOPERADOR").AsString = Operador();
    qryTpAces->Open();

    if (qryTpAces->IsEmpty()) {
        qryFilDimeGrupOp->Close();
        qryFilDimeGrupOp->ParamByName("P_CDOPERADOR").AsString = Operador();
        qryFilDimeGrupOp->ParamByName("P_NRSEQUEDIME").AsString = Sequence;
        qryFilDimeGrupOp->Open();
        if (qryFilDimeGrupOp->FieldByName("CONTA").AsString() == "0") return "";
        return " WHERE " + KeyColumn + " in (SELECT CDFILDIMEGRUPOP FROM FILDIMEGRUPOP WHERE NRSEQUEDIME = " +
               QuotedStr(Sequence) + " AND CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = " +
               QuotedStr(Operador()) + "))";
    }

    qryFilDimeOper->Close();
    qryFilDimeOper->ParamByName("P_CDOPERADOR").AsString = Operador();
    qryFilDimeOper->ParamByName("P_NRSEQUEDIME").AsString = Sequence;
    qryFilDimeOper->Open();
    if (std::strtoll(qryFilDimeOper->FieldByName("CONTA").AsString().c_str(), nullptr, 10) == 0) return "";
    return " WHERE " + KeyColumn + " in (SELECT CDFILDIMEOPER FROM FILDIMEOPER WHERE NRSEQUEDIME = " + QuotedStr(Sequence) +
           " AND CDOPERADOR = " + QuotedStr(Operador()) + ")";
}
