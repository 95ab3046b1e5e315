// The layout editor in process: which control takes which drag, where keys go, the position codes of
// deeper nodes and the fact aliases of the member statement.
#include <gtest/gtest.h>

#include <set>

#include "data/sql_connection.hpp"
#include "screen/filter/member_statement.hpp"
#include "services/cube.hpp"
#include "support/screen_fixture.hpp"

namespace {

struct LayoutFixture : ScreenFixture {
    void SetUp() override {
        ScreenFixture::SetUp();
        loadSetCatalogue();
        form->trvFatos->Select(form->trvFatos->Items()[0]);  // lists A..E
        add(form->trvFacts, "F1");                          // A, B, C usable; D, E not
        add(form->trvRows, "A");
        add(form->trvCols, "B");
        form->filtraDimensoes();
    }
    static TTreeNode* add(TTreeView* zone, const std::string& text) {
        TTreeNode* n = zone->Items().Add(nullptr, text);
        n->ImageIndex = n->SelectedIndex = -1;
        return n;
    }
    TTreeNode* find(TTreeView* tree, const std::string& text) { return form->encontraNode(text, tree->Items()); }
    // Whether the target would take a drag of that node: the press that starts a drag selects it.
    bool accepts(TTreeView* source, const std::string& node, TControl* target) {
        source->Select(find(source, node));
        bool accept = false;
        if (target->OnDragOver) target->OnDragOver(target, source, 4, 4, TDragState::dsDragMove, accept);
        return accept;
    }
};

}  // namespace

TEST_F(LayoutFixture, EveryControlTakesOnlyTheDragsItShould) {
    TfrmOpcodesDW& f = *form;
    struct Case {
        TTreeView* source;
        const char* node;
        TControl* target;
        bool accepted;
    };
    const Case cases[] = {
        {f.trvFatos, "F2", f.trvFacts, true},         {f.trvFatos, "Área", f.trvFacts, false},
        {f.trvFatos, "F2", f.trvRows, false},         {f.trvFatos, "F2", f.trvPages, false},
        {f.trvFatos, "F2", f.trvCols, false},         {f.trvFatos, "F2", f.trvFatos, false},
        {f.trvFatos, "F2", f.trvDimensoes, false},    {f.trvFatos, "F2", f.scrOpcoesDW, false},
        {f.trvDimensoes, "C", f.trvPages, true},      {f.trvDimensoes, "C", f.trvRows, true},
        {f.trvDimensoes, "C", f.trvCols, true},       {f.trvDimensoes, "D", f.trvRows, false},
        {f.trvDimensoes, "C", f.trvFacts, false},     {f.trvDimensoes, "C", f.trvFatos, false},
        {f.trvDimensoes, "C", f.trvDimensoes, false}, {f.trvDimensoes, "C", f.scrOpcoesDW, false},
        {f.trvRows, "A", f.trvCols, true},            {f.trvRows, "A", f.trvRows, true},
        {f.trvRows, "A", f.trvPages, true},           {f.trvRows, "A", f.trvFacts, false},
        {f.trvRows, "A", f.trvFatos, false},          {f.trvRows, "A", f.trvDimensoes, false},
        {f.trvRows, "A", f.scrOpcoesDW, false},       {f.trvFacts, "F1", f.trvFacts, true},
        {f.trvFacts, "F1", f.trvFatos, true},         {f.trvFacts, "F1", f.trvRows, false},
        {f.trvFacts, "F1", f.trvDimensoes, false},    {f.trvFacts, "F1", f.scrOpcoesDW, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(accepts(c.source, c.node, c.target), c.accepted) << c.source->Name << " " << c.node << " -> " << c.target->Name;
}

TEST_F(LayoutFixture, KeysInAnEmptyCatalogueTreeNeverReachTheForm) {
    int builds = 0;
    form->sbtConfirmar->OnClick = [&](TObject*) { ++builds; };
    form->mnuConfirmar->Enabled = false;  // so that Ctrl+F2 reaches the focused control's handler
    form->trvDimensoes->Items().Clear();
    form->FocusControl(form->trvDimensoes);
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);
    form->KeyDown(VK_RETURN, {});
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(form->trvRows->Items().Count(), 1);

    form->trvFatos->Items().Clear();
    form->FocusControl(form->trvFatos);
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);
    EXPECT_EQ(builds, 0);

    form->FocusControl(form->trvRows);  // a zone always passes the key on
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);
    EXPECT_EQ(builds, 1);
}

TEST_F(LayoutFixture, ANodeTwoLevelsDeepNamesItsTopLevelAncestor) {
    for (TTreeView* zone : {form->trvRows, form->trvCols}) {
        zone->Items().Clear();
        TTreeNode* a = add(zone, "A");
        TTreeNode* b = zone->Items().AddChild(a, "B");
        zone->Items().AddChild(b, "C");
        add(zone, "X");  // not in the catalogue, so never found unusable
    }
    form->filtraDimensoes();
    form->sbtConfirmar->Click();
    EXPECT_EQ(treeLinhas.Items(), (std::vector<std::string>{"0", "0.1", "0.2", "3"}));
    EXPECT_EQ(treeColunas.Items(), (std::vector<std::string>{"0_A", "0.1_B", "0.2_C", "3_X"}));
    EXPECT_EQ(Colunas.Items(), (std::vector<std::string>{"A", "B", "C", "X"}));
}

TEST(FactAliases, RunFromAToZThenTwoLettersThatAreNeverSqlWords) {
    EXPECT_EQ(FactAlias(0), "A");
    EXPECT_EQ(FactAlias(25), "Z");
    EXPECT_EQ(FactAlias(26), "AA");
    EXPECT_EQ(FactAlias(43), "AR");
    EXPECT_EQ(FactAlias(44), "AU");  // AS and AT are SQL words
    std::set<std::string> seen;
    for (int i = 0; i < 800; ++i) {
        std::string a = FactAlias(i);
        EXPECT_TRUE(seen.insert(a).second) << a;
        EXPECT_TRUE(IsPlainSqlIdentifier(a)) << a;
        for (const char* w : {"AS", "BY", "IN", "IS", "ON", "OR", "TO", "AND", "NOT", "FOR", "SET", "ALL"}) EXPECT_NE(a, w);
    }
}
