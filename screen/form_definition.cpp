// The static definition of the form: window, panels, trees and zones, labels, images, message table
// and the member-filter components. Geometry is that of the form as designed (796 x 604).
#include "frm_opcodes_dw.hpp"
#include "placement.hpp"

namespace {

TLabel* label(TForm* form, TControl* parent, const char* name, const char* caption, int left, int top, int size, bool bold) {
    TLabel* l = PlaceControl<TLabel>(form, parent, name, left, top, 0, size > 8 ? 20 : 13);
    l->Caption = caption;
    l->Transparent = true;
    l->ParentFont = false;
    l->Font.Size = size;
    l->Font.Bold = bold;
    l->Width = static_cast<int>(std::string(caption).size()) * (size > 8 ? 9 : 6);
    return l;
}

TImageList* images(TForm* form, const char* name, std::vector<std::string> artwork) {
    TImageList* iml = form->Owned<TImageList>();
    iml->Name = name;
    iml->Images = std::move(artwork);
    return iml;
}

}  // namespace

TfrmOpcodesDW::TfrmOpcodesDW(TComponent* owner) : TForm(owner) {
    DefineWindow();
    DefineToolbarAndMenus();
    DefineCatalogueData();
    WireEvents();
}

void TfrmOpcodesDW::DefineWindow() {
    Name = "frmOpcodesDW";
    Caption = "Construção da Visão do DW";
    FormStyle = TFormStyle::fsMDIChild;
    Position = "poScreenCenter";
    Width = 796;
    Height = 604;
    BorderIcons = {TBorderIcon::biSystemMenu, TBorderIcon::biMinimize};
    Font = TFont{"MS Sans Serif", 8, false, "clWindowText"};
    Visible = true;

    imlDimensoes = images(this, "imlDimensoes",
                          {"pasta_fechada", "pasta_aberta", "cubo", "tabela", "dimensao", "hierarquia", "documento"});
    imlFatos = images(this, "imlFatos", {"pasta_contorno_cinza", "pasta_aberta_amarela"});
    imlConfig = images(this, "imlConfig", {"filtro"});

    panMenu = PlaceControl<TPanel>(this, this, "panMenu", 0, 0, 788, 28);
    panMenu->Align = "alTop";
    panFundo = PlaceControl<TPanel>(this, this, "panFundo", 0, 28, 788, 549);
    panFundo->Align = "alClient";
    panFundo->BevelOuter = "bvNone";
    scrOpcoesDW = PlaceControl<TScrollBox>(this, panFundo, "scrOpcoesDW", 0, 0, 788, 549);
    scrOpcoesDW->Align = "alClient";

    pnlDimensoes = PlaceControl<TPanel>(this, scrOpcoesDW, "pnlDimensoes", 4, 4, 300, 537);
    lblDIms = label(this, pnlDimensoes, "lblDIms", "Itens Disponíveis", 8, 6, 12, true);
    lblFatos = label(this, pnlDimensoes, "lblFatos", "Fatos", 8, 36, 8, true);
    trvFatos = PlaceControl<TTreeView>(this, pnlDimensoes, "trvFatos", 8, 52, 284, 236);
    lblDimensoes = label(this, pnlDimensoes, "lblDimensoes", "Dimensões", 8, 296, 8, true);
    trvDimensoes = PlaceControl<TTreeView>(this, pnlDimensoes, "trvDimensoes", 8, 312, 284, 217);

    pnlDW = PlaceControl<TPanel>(this, scrOpcoesDW, "pnlDW", 308, 4, 476, 537);
    lblDW = label(this, pnlDW, "lblDW", "Configuração do DW", 14, 6, 12, true);
    lblCodTela = label(this, pnlDW, "lblCodTela", "QEL00100", 400, 10, 8, false);
    lblCodTela->Visible = false;
    imgBackground = PlaceControl<TImage>(this, pnlDW, "imgBackground", 14, 56, 456, 444);
    imgBackground->Stretch = true;
    imgBackground->Picture = "moldura_tabela_dinamica";  // 444 x 384 artwork, stretched
    lblprvPaginas = label(this, pnlDW, "lblprvPaginas", "Páginas", 44, 72, 8, true);
    lblprvLinhas = label(this, pnlDW, "lblprvLinhas", "Linhas", 44, 177, 8, true);
    lblprvColunas = label(this, pnlDW, "lblprvColunas", "Colunas", 198, 177, 8, true);
    lblprvFatos = label(this, pnlDW, "lblprvFatos", "Fatos", 199, 283, 8, true);
    trvPages = PlaceControl<TTreeView>(this, pnlDW, "trvPages", 24, 89, 436, 75);
    trvRows = PlaceControl<TTreeView>(this, pnlDW, "trvRows", 25, 194, 151, 295);
    trvCols = PlaceControl<TTreeView>(this, pnlDW, "trvCols", 178, 194, 282, 80);
    trvFacts = PlaceControl<TTreeView>(this, pnlDW, "trvFacts", 179, 300, 282, 189);

    // Facts tree: areas open and close one at a time as the operator moves through them.
    trvFatos->ReadOnly = true;
    trvFatos->ShowLines = false;
    trvFatos->ShowRoot = false;
    trvFatos->AutoExpand = true;
    trvFatos->Indent = 19;
    trvFatos->Color = "clInfoBk";
    trvFatos->Images = imlDimensoes;
    trvFatos->DragAutomatic = true;

    trvDimensoes->ReadOnly = true;
    trvDimensoes->RowSelect = true;
    trvDimensoes->RightClickSelect = true;
    trvDimensoes->ShowLines = false;
    trvDimensoes->ShowRoot = false;
    trvDimensoes->SetSortType(TSortType::stText);
    trvDimensoes->Color = "clSilver";
    trvDimensoes->Images = imlFatos;
    trvDimensoes->DragAutomatic = true;

    for (TTreeView* zone : {trvPages, trvRows, trvCols, trvFacts}) {
        zone->ReadOnly = true;
        zone->DragAutomatic = true;
        zone->Color = "clBtnFace";
    }
    for (TTreeView* zone : {trvPages, trvRows, trvCols}) zone->Images = imlConfig;
    trvFacts->Color = "clInfoBk";

    MsgPadrao = Owned<TMessages>();
    MsgPadrao->Name = "MsgPadrao";
    for (const char* entry : {"fato|Não há fatos a serem exibidos.", "GetAtualiza|Recebendo dados do Servidor",
                              "dimensao|Não há dimensões a serem exibidas.",
                              "emptyFatosFiltro|Não é possivel filtrar esta dimensão antes de incluir fatos na visão do DW",
                              "itensDemais|Não é permitido construir visões com mais de 31 ítens. Para continuar com a "
                              "construção da visão do DW, é necessário excluir ítens.",
                              "CODE|Código"})
        MsgPadrao->Mensagens.Add(entry);

    netOpcoesDW = Owned<TNetConnection>();
    netOpcoesDW->Name = "netOpcoesDW";
    netOpcoesDW->ServerName = "QEL00100.rdmOpcoesDW";
    netOpcoesDW->ThrowException = false;
    netOpcoesDW->Host = "localhost";

    auto query = [this](const char* name) {
        TADOIBQuery* q = Owned<TADOIBQuery>();
        q->Name = name;
        return q;
    };
    // The access-rule queries, line by line as designed (blank lines included).
    auto lines = [](TADOIBQuery* q, std::initializer_list<const char*> text) {
        for (const char* line : text) q->SQL.Add(line);
    };
    qryTpAces = query("qryTpAces");
    lines(qryTpAces, {"SELECT CDOPERADOR", "FROM  DIMEODWOPER", "WHERE  CDOPERADOR = :P_CDOPERADOR"});
    qryFilDimeOper = query("qryFilDimeOper");
    lines(qryFilDimeOper, {"SELECT COUNT(*) AS CONTA", "FROM  FILDIMEOPER", "WHERE  NRSEQUEDIME = :P_NRSEQUEDIME",
                           "  AND  CDOPERADOR  = :P_CDOPERADOR", " ", " "});
    qryFilDimeGrupOp = query("qryFilDimeGrupOp");
    lines(qryFilDimeGrupOp, {"SELECT COUNT(*) AS CONTA", "FROM   FILDIMEGRUPOP", "WHERE  NRSEQUEDIME = :P_NRSEQUEDIME",
                             "  AND  CDGRUPOPER IN (SELECT CDGRUPOPER", "                      FROM   OPERGRUPOP",
                             "                      WHERE CDOPERADOR = :P_CDOPERADOR)", " "});
    qryMutante = query("qryMutante");
    dspMutante = Owned<TDataSetProvider>();
    dspMutante->Name = "dspMutante";
    dspMutante->DataSet = qryMutante;
    cdsMutante = Owned<TClientDataSet>();
    cdsMutante->Name = "cdsMutante";
    dtsMutante = Owned<TDataSource>();
    dtsMutante->Name = "dtsMutante";
    dtsMutante->DataSet = cdsMutante;
}
