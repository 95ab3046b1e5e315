// TfrmOpcodesDW, the screen "Construção da Visão do DW" (QEL00100). The form owns every component
// below (the component pointers are non-owning handles into its component list). The class is spread
// over files by concern: the static definition and event wiring in screen/, the catalogue refresh,
// facts tree, dimension list and availability in screen/catalogue/, the layout editor in
// screen/layout/, member filters in screen/filter/ and the view build in screen/build/.
// State lives in the trees themselves: names in node texts, marks in image indexes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/client_data_set.hpp"
#include "screen/layout/layout_snapshot.hpp"
#include "data/provider.hpp"
#include "services/button_flat.hpp"
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "services/query.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/form.hpp"
#include "toolkit/menu.hpp"
#include "toolkit/tree_view.hpp"

struct FactTable;  // screen/filter/member_statement.hpp

class TfrmOpcodesDW : public TForm {
public:
    explicit TfrmOpcodesDW(TComponent* owner);

    // Window and toolbar
    TPanel* panMenu;
    TPanel* panFundo;
    TScrollBox* scrOpcoesDW;
    TPanel* pnlDimensoes;
    TPanel* pnlDW;
    TButtonFlat *sbtExcluir, *sbtCancelar, *sbtConfirmar, *sbtVerificar, *sbtOrdenar, *sbtAjuda, *sbtFechar;
    // Catalogue trees and layout zones
    TTreeView *trvFatos, *trvDimensoes, *trvPages, *trvRows, *trvCols, *trvFacts;
    // Catalogue data sets and the server connection
    TClientDataSet *cdsAreanegDW, *cdsItemDW, *cdsDimensaoDW, *cdsDimensaoDime;
    TNetConnection* netOpcoesDW;
    TMessages* MsgPadrao;
    // Member filter queries and packet
    TADOIBQuery *qryTpAces, *qryFilDimeOper, *qryFilDimeGrupOp, *qryMutante;
    TDataSetProvider* dspMutante;
    TClientDataSet* cdsMutante;
    TDataSource* dtsMutante;
    // Menus (entries are owned by their menus)
    TPopupMenu* pnmPopup;
    TMenuItem *mnuFiltrar, *mnuExcluir;
    TMainMenu* mnuConstrucao;
    TMenuItem *mnuOperacao, *mnuFechar, *mnuManutencao, *mnuAtualizar, *mnuExcluirItem, *mnuExcluirTodos, *N1, *mnuConfirmar;
    TMenuItem *N2, *mnuDesfazer, *mnuRefazer;
    // Images, labels and backdrop
    TImageList *imlDimensoes, *imlFatos, *imlConfig;
    TLabel *lblCodTela, *lblDIms, *lblFatos, *lblDimensoes;
    TLabel *lblDW, *lblprvPaginas, *lblprvLinhas, *lblprvColunas, *lblprvFatos;
    TImage* imgBackground;

    // Name of the business area whose dimensions trvDimensoes shows; empty for a new form.
    std::string stUltimaArea;

    // Creation, closing and form keys (screen/form_lifecycle.cpp)
    void FormCreate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void sbtFecharClick(TObject* Sender);

    // Catalogue refresh (screen/catalogue/refresh.cpp)
    void AtualizaDados();
    void netOpcoesDWBeforeConnect(TObject* Sender);
    void sbtVerificarClick(TObject* Sender);

    // Facts tree (screen/catalogue/facts_tree.cpp)
    void MontaArvore();
    // The facts tree as MontaArvore would leave it, from nodes already built from the same catalogue.
    void ReuseFactsTree();
    void trvFatosExpanding(TObject* Sender, TTreeNode* Node, bool& AllowExpansion);
    void trvFatosCollapsing(TObject* Sender, TTreeNode* Node, bool& AllowCollapse);

    // Dimension list and availability (screen/catalogue/availability.cpp)
    void trvFatosChange(TObject* Sender, TTreeNode* Node);
    void filtraDimensoes();
    TTreeNode* encontraNode(const std::string& Name, const TTreeNodes& Nodes) const;

    // Zones, transfer and reorder (screen/layout/zones.cpp, screen/layout/transfer.cpp)
    void TransferItemsNoDups(TTreeView* Destination, TTreeView* Source);
    void MoveItems(TObject* Sender, int X, int Y);
    void trvFatosDragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept);
    void trvFatosDragDrop(TObject* Sender, TObject* Source, int X, int Y);
    void trvPagesDragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept);
    void trvPagesDragDrop(TObject* Sender, TObject* Source, int X, int Y);
    void trvFactsDragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept);
    void trvFactsDragDrop(TObject* Sender, TObject* Source, int X, int Y);
    void scrOpcoesDWDragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept);
    void trvFatosDblClick(TObject* Sender);
    void trvDimensoesDblClick(TObject* Sender);
    void trvFatosKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void trvDimensoesKeyDown(TObject* Sender, Word& Key, TShiftState Shift);

    // Removal (screen/layout/removal.cpp)
    void ApagaItem(TTreeView* Zone);
    void SeekAndDestroy(const std::string& Name);
    void sbtExcluirClick(TObject* Sender);
    void sbtCancelarClick(TObject* Sender);
    void trvFactsKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void trvFactsMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

    // Command state and the current zone (screen/layout/command_state.cpp)
    void controlaBotoes();
    void trvPagesEnter(TObject* Sender);

    // Context menu and grouping (screen/layout/context_menu.cpp, screen/layout/grouping.cpp)
    void pnmPopupPopup(TObject* Sender);
    void Group(TObject* Sender);
    void unGroup(TObject* Sender);

    // Member filter (screen/filter/): the command, the access-rule clause of the member statement and
    // the loading of the member rows (locally, or through the application server).
    void mnuFiltrarClick(TObject* Sender);
    std::string montaRestricao(const std::string& KeyColumn, const std::string& Sequence);
    DataPacket buscaMembros(const std::string& Statement);
    // The fact tables of a member list replaced by their summaries where one serves
    // (screen/filter/member_sources.cpp).
    void readFromSummaries(std::vector<FactTable>& tables, const std::string& dimension);

    // Undo and redo of the layout (screen/layout/history.cpp): every command that changes the zones
    // or the filters is one step, taken by a LayoutStep around it (steps inside a step join it).
    static constexpr size_t kHistorySteps = 100;
    void mnuDesfazerClick(TObject* Sender);
    void mnuRefazerClick(TObject* Sender);
    size_t UndoSteps() const { return undo_.size(); }
    size_t RedoSteps() const { return redo_.size(); }
    LayoutSnapshot TakeLayout() const;
    class LayoutStep {
    public:
        explicit LayoutStep(TfrmOpcodesDW& form);
        ~LayoutStep();
        LayoutStep(const LayoutStep&) = delete;
        LayoutStep& operator=(const LayoutStep&) = delete;

    private:
        TfrmOpcodesDW& form_;
        bool outer_;
        LayoutSnapshot before_;
    };

    // View build (screen/build/)
    void sbtConfirmarClick(TObject* Sender);
    // Reads the view the viewer handed back for editing into the zones (screen/build/view_edit.cpp).
    void LoadViewToEdit();

private:
    std::vector<LayoutSnapshot> undo_, redo_;  // oldest first
    int stepDepth_ = 0;
    void restoreLayout(const LayoutSnapshot& layout);
    void historyCommands();  // enables Desfazer and Refazer as the history allows

    // trvFatos shows the catalogue the data sets hold: set by a refresh that built or kept it.
    bool factsTreeCurrent_ = false;

    // The head each "Agrupar" entry of the last popup names (non-owning; checked against the zone
    // before use, since the node may be gone by the time the entry is chosen).
    std::vector<std::pair<const TMenuItem*, const TTreeNode*>> groupTargets_;

    // Filter entry of a layout item: its index in stlDSfiltro (without case), and dropping it from both
    // filter lists (screen/filter/selection_store.cpp).
    static int FilterIndexOf(const std::string& Name);
    static void DropFilterEntry(const std::string& Name);

    void DefineWindow();             // screen/form_definition.cpp
    void DefineToolbarAndMenus();    // screen/toolbar_menus.cpp
    void DefineCatalogueData();      // screen/catalogue/record_layouts.cpp
    void WireEvents();               // screen/event_wiring.cpp
};
