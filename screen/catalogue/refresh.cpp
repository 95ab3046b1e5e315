// Catalogue refresh from the application server: one GetItemData call fills the four data sets,
// then the facts tree is rebuilt and the availability recomputed.
#include "screen/frm_opcodes_dw.hpp"
#include "services/session.hpp"

namespace {

// The packet a by-reference argument brought back; the data set shares it rather than copy it.
const std::shared_ptr<const DataPacket>& packetOf(const Variant& v, const char* what) {
    if (!v.IsPacket()) throw EServerError(std::string("O servidor de aplicação não devolveu o pacote de ") + what);
    return v.SharedPacket();
}

}  // namespace

void TfrmOpcodesDW::netOpcoesDWBeforeConnect(TObject*) {
    netOpcoesDW->Port = WebPort();
    netOpcoesDW->Host = WebURL();
}

void TfrmOpcodesDW::AtualizaDados() {
    std::vector<Variant> args(5);
    {
        ShowAviScope animation(Application->MainForm, MsgPadrao->Msg("GetAtualiza"));
        args[4] = Operador();
        Variant result = netOpcoesDW->Call("GetItemData", args);
        CheckResultServ(result, true, 0);
    }
    const auto& areas = packetOf(args[1], "áreas de negócio");
    const auto& dimensions = packetOf(args[0], "dimensões");
    const auto& items = packetOf(args[2], "itens");
    const auto& links = packetOf(args[3], "ligações entre fatos e dimensões");
    // An unchanged catalogue comes back as the very packets loaded last time (the connection kept the
    // answer): the data sets keep their indexes, and the facts tree, built from areas and items only,
    // keeps its nodes.
    const bool unchanged = factsTreeCurrent_ && cdsAreanegDW->LoadedFrom(areas) && cdsItemDW->LoadedFrom(items);
    factsTreeCurrent_ = false;
    cdsAreanegDW->SetData(areas);
    cdsDimensaoDime->SetData(dimensions);
    cdsItemDW->SetData(items);
    cdsDimensaoDW->SetData(links);
    // Emptiness of what was delivered: a filter left set by the availability rule must not make a
    // loaded catalogue look empty.
    if (cdsAreanegDW->TotalRecordCount() == 0) MsgPadrao->ShowMsg("fato", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, 0);
    if (cdsDimensaoDime->TotalRecordCount() == 0)
        MsgPadrao->ShowMsg("dimensao", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, 0);
    if (unchanged) ReuseFactsTree();
    else MontaArvore();
    factsTreeCurrent_ = true;
    filtraDimensoes();
}

void TfrmOpcodesDW::sbtVerificarClick(TObject*) { AtualizaDados(); }
