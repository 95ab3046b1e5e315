#include <gtest/gtest.h>

#include <algorithm>

#include "toolkit/application.hpp"
#include "toolkit/input.hpp"
#include "toolkit/string_list.hpp"
#include "core/text_order.hpp"
#include "toolkit/tree_view.hpp"

namespace {

// Texts of every node in display order, with their levels: "a", " a1", ...
std::string outline(const TTreeView& t) {
    std::string out;
    for (int i = 0; i < t.Items().Count(); ++i) {
        TTreeNode* n = t.Items()[i];
        out += std::string(static_cast<size_t>(n->Level()), ' ') + n->Text + "|";
    }
    return out;
}

struct TreeFixture : ::testing::Test {
    TComponent owner{nullptr};
    TTreeView* tree = owner.Owned<TTreeView>();
    TTreeNode *a, *a1, *a2, *b, *b1, *c;
    void SetUp() override {
        tree->Width = 200;
        tree->Height = 5 * TTreeView::RowHeight;
        a = tree->Items().Add(nullptr, "a");
        a1 = tree->Items().AddChild(a, "a1");
        a2 = tree->Items().AddChild(a, "a2");
        b = tree->Items().Add(nullptr, "b");
        b1 = tree->Items().AddChild(b, "b1");
        c = tree->Items().Add(nullptr, "c");
    }
};

}  // namespace

TEST_F(TreeFixture, IndexCountsEveryNodeInDisplayOrderExpandedOrNot) {
    EXPECT_EQ(tree->Items().Count(), 6);
    EXPECT_EQ(outline(*tree), "a| a1| a2|b| b1|c|");
    EXPECT_EQ(b1->AbsoluteIndex(), 4);
    EXPECT_EQ(a2->Level(), 1);
    EXPECT_EQ(a2->Parent(), a);
    EXPECT_EQ(a1->getNextSibling(), a2);
    EXPECT_EQ(c->getPrevSibling(), b);
    b->Delete();  // with its subtree
    EXPECT_EQ(outline(*tree), "a| a1| a2|c|");
    EXPECT_EQ(c->AbsoluteIndex(), 3);
}

TEST_F(TreeFixture, NodeAtPositionSeesOnlyVisibleRowsAndNothingBelowTheLast) {
    EXPECT_EQ(tree->GetNodeAt(5, 1), a);
    EXPECT_EQ(tree->GetNodeAt(5, TTreeView::RowHeight + 1), b);  // a collapsed: a1 has no row
    EXPECT_EQ(tree->GetNodeAt(5, 2 * TTreeView::RowHeight + 1), c);
    EXPECT_EQ(tree->GetNodeAt(5, 3 * TTreeView::RowHeight + 1), nullptr);
    a->Expand();
    EXPECT_EQ(tree->GetNodeAt(5, TTreeView::RowHeight + 1), a1);
    EXPECT_EQ(tree->GetNodeAt(5, 4 * TTreeView::RowHeight + 1), c);
    EXPECT_EQ(tree->GetNodeAt(5, -1), nullptr);
}

TEST_F(TreeFixture, ScrollingBringsARowOutOfViewIntoView) {
    tree->Height = 2 * TTreeView::RowHeight;
    tree->FullExpand();  // a a1 a2 b b1 c: six rows, two shown
    int x = 0, y = 0;
    ASSERT_TRUE(PointOfNode(tree, c, x, y));
    EXPECT_EQ(tree->TopRow(), 4);
    EXPECT_EQ(tree->GetNodeAt(x, y), c);
    ASSERT_TRUE(PointOfNode(tree, a, x, y));
    EXPECT_EQ(tree->TopRow(), 0);
    tree->FullCollapse();
    EXPECT_FALSE(PointOfNode(tree, b1, x, y));  // under a collapsed parent
}

TEST_F(TreeFixture, MovesBeforeANodeOrAsLastChildAndNeverIntoItsOwnSubtree) {
    c->MoveTo(a1, TNodeAttachMode::naInsert);
    EXPECT_EQ(outline(*tree), "a| c| a1| a2|b| b1|");
    b->MoveTo(a, TNodeAttachMode::naInsert);
    EXPECT_EQ(outline(*tree), "b| b1|a| c| a1| a2|");
    a1->MoveTo(b, TNodeAttachMode::naAddChild);
    EXPECT_EQ(outline(*tree), "b| b1| a1|a| c| a2|");
    EXPECT_THROW(a->MoveTo(a2, TNodeAttachMode::naInsert), std::logic_error);
    EXPECT_THROW(a->MoveTo(a, TNodeAttachMode::naAddChild), std::logic_error);
    EXPECT_EQ(outline(*tree), "b| b1| a1|a| c| a2|");
    a->MoveTo(a, TNodeAttachMode::naInsert);  // onto itself: nothing happens
    EXPECT_EQ(outline(*tree), "b| b1| a1|a| c| a2|");
}

TEST(TreeView, SortsByTextOrderIgnoringAccentsThenCaseThenBytes) {
    TComponent owner(nullptr);
    auto* tree = owner.Owned<TTreeView>();
    for (const char* t : {"B", "arvore", "Árvore", "árvore", "Arvore", "ação", "acao", "Zebra", ""}) tree->Items().Add(nullptr, t);
    tree->SetSortType(TSortType::stText);
    EXPECT_EQ(outline(*tree), "|acao|ação|Arvore|arvore|Árvore|árvore|B|Zebra|");
    tree->Items().Add(nullptr, "Bá");  // a sorted tree places new nodes in order
    EXPECT_EQ(outline(*tree), "|acao|ação|Arvore|arvore|Árvore|árvore|B|Bá|Zebra|");
}

TEST(TreeView, AutoExpandClosesThePreviousBranchUpToWhatHoldsTheNewSelection) {
    TComponent owner(nullptr);
    auto* tree = owner.Owned<TTreeView>();
    tree->AutoExpand = true;
    std::vector<std::string> log;
    tree->OnExpanding = [&](TObject*, TTreeNode* n, bool&) { log.push_back("+" + n->Text); };
    tree->OnCollapsing = [&](TObject*, TTreeNode* n, bool&) { log.push_back("-" + n->Text); };
    TTreeNode* x = tree->Items().Add(nullptr, "x");
    TTreeNode* x1 = tree->Items().AddChild(x, "x1");
    TTreeNode* y = tree->Items().Add(nullptr, "y");
    tree->Items().AddChild(y, "y1");
    tree->Select(x);
    tree->Select(x1);  // x is an ancestor: it stays open
    tree->Select(y);   // the previous selection closes up to the top: x1, then x
    tree->Select(x);
    EXPECT_EQ(log, (std::vector<std::string>{"+x", "-x", "+y", "-y", "+x"}));
    EXPECT_TRUE(x->Expanded());
    EXPECT_FALSE(y->Expanded());

    bool allow = false;  // a handler may refuse
    tree->OnCollapsing = [&](TObject*, TTreeNode*, bool& a) { a = allow; };
    x->Collapse();
    EXPECT_TRUE(x->Expanded());
}

TEST_F(TreeFixture, DeletingTheSelectionHandsItToANeighbourAndClearLeavesNone) {
    std::vector<TTreeNode*> changes;
    tree->OnChange = [&](TObject*, TTreeNode* n) { changes.push_back(n); };
    tree->Select(b);
    b->Delete();
    EXPECT_EQ(tree->Selected(), c);
    c->Delete();
    EXPECT_EQ(tree->Selected(), a);
    EXPECT_EQ(changes, (std::vector<TTreeNode*>{b, c, a}));
    tree->Items().Clear();
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(tree->Items().Count(), 0);
}

TEST(StringList, SortedSetIgnoresDuplicatesWithoutCaseAndFindsByBinarySearch) {
    TStringList s;
    s.SetSorted(true);
    s.Duplicates = TDuplicates::dupIgnore;
    for (const char* t : {"10", "9", "Filial", "FILIAL", "filial", "Fílial", "2"}) s.Add(t);
    EXPECT_EQ(s.Items(), (std::vector<std::string>{"10", "2", "9", "Filial", "Fílial"}));
    EXPECT_EQ(s.IndexOf("FILIAL"), 3);
    EXPECT_EQ(s.IndexOf("fílial"), 4);
    EXPECT_EQ(s.IndexOf("11"), -1);
    TStringList plain;  // unsorted lists keep insertion order and accept repeats
    for (const char* t : {"b", "a", "b"}) plain.Add(t);
    EXPECT_EQ(plain.Items(), (std::vector<std::string>{"b", "a", "b"}));
    EXPECT_TRUE(SameTextIgnoreCase("ÁRVORE", "árvore"));
    EXPECT_FALSE(SameTextIgnoreCase("arvore", "árvore"));
}

TEST(Menus, ShortcutTextRoundTrips) {
    for (const char* t : {"F9", "Del", "Ctrl+F2", "Ctrl+Del", "Ctrl+F4", "F5", "Enter", "Shift+F1", "Alt+X"})
        EXPECT_EQ(ShortCutToText(TextToShortCut(t)), t);
    EXPECT_EQ(TextToShortCut(""), 0u);
    EXPECT_THROW(TextToShortCut("Ctrl+Nada"), std::invalid_argument);
}

namespace {

struct KeyFixture : ::testing::Test {
    TApplication app;
    TForm* form = nullptr;
    TTreeView* tree = nullptr;
    TMainMenu* menu = nullptr;
    TPopupMenu* popup = nullptr;
    TMenuItem *save = nullptr, *filter = nullptr;
    std::vector<std::string> log;
    void SetUp() override {
        Application = &app;
        app.CreateForm(form);
        form->Show();
        tree = form->Owned<TTreeView>();
        tree->Name = "tree";
        tree->Parent = form;
        menu = form->Owned<TMainMenu>();
        form->Menu = menu;
        save = menu->Items()->AddNew("Arquivo")->AddNew("Gravar");
        save->ShortCut = TextToShortCut("Ctrl+F2");
        save->OnClick = [this](TObject*) { log.push_back("menu"); };
        popup = form->Owned<TPopupMenu>();
        filter = popup->Items()->AddNew("Filtrar");
        filter->ShortCut = TextToShortCut("F9");
        filter->OnClick = [this](TObject*) { log.push_back("popup"); };
        tree->PopupMenu = popup;
        tree->OnKeyDown = [this](TObject*, Word& k, TShiftState) { log.push_back("tree " + ShortCutToText(k)); };
        form->OnKeyDown = [this](TObject*, Word& k, TShiftState) { log.push_back("form " + ShortCutToText(k)); };
    }
    void TearDown() override { Application = nullptr; }
};

}  // namespace

TEST_F(KeyFixture, MenuShortcutsComeFirstThenTheFocusedControlThenTheForm) {
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);  // no focus: the main menu takes it
    form->KeyDown(VK_F1 + 8, {});                  // F9 without focus: the popup is not the form's
    form->FocusControl(tree);
    form->KeyDown(VK_F1 + 8, {});                  // the focused control's popup menu
    form->KeyDown(VK_DELETE, {});
    save->Enabled = false;                         // a disabled entry does not take its key
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);
    filter->OnClick = nullptr;                     // nor does an entry without an action
    form->KeyDown(VK_F1 + 8, {});
    EXPECT_EQ(log, (std::vector<std::string>{"menu", "form F9", "popup", "tree Del", "tree F2", "tree F9"}));
}

TEST_F(KeyFixture, PressFocusesTheTreeAndSelectsTheRowAndReleaseDestroysAClosedForm) {
    TTreeNode* n = tree->Items().Add(nullptr, "n");
    std::vector<std::string> enters;
    tree->OnEnter = [&](TObject*) { enters.push_back("enter"); };
    MousePress(tree, TMouseButton::mbRight, 5, 5);  // right button: no selection without RightClickSelect
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(form->ActiveControl(), tree);
    MousePress(tree, TMouseButton::mbLeft, 5, 5);
    EXPECT_EQ(tree->Selected(), n);
    EXPECT_EQ(enters.size(), 1u);

    form->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caFree; };
    form->Close();
    EXPECT_EQ(app.Forms().size(), 0u);  // released: gone from the list at once
    EXPECT_EQ(app.ComponentCount(), 1);  // but destroyed only when the event has completed
    app.ProcessReleases();
    EXPECT_EQ(app.ComponentCount(), 0);
}

TEST_F(KeyFixture, DropHappensOnlyWhenTheTargetAccepts) {
    auto* target = form->Owned<TTreeView>();
    target->Parent = form;
    TTreeNode* n = tree->Items().Add(nullptr, "n");
    int drops = 0;
    bool accept = false;
    TObject* seenSource = nullptr;
    target->OnDragOver = [&](TObject*, TObject* src, int, int, TDragState, bool& a) {
        seenSource = src;
        a = accept;
    };
    target->OnDragDrop = [&](TObject*, TObject*, int, int) { ++drops; };
    EXPECT_FALSE(DragAndDrop(tree, 5, 5, target, 5, 5));
    EXPECT_EQ(tree->Selected(), n);  // the press that starts the drag selects
    EXPECT_EQ(seenSource, tree);
    accept = true;
    EXPECT_TRUE(DragAndDrop(tree, 5, 5, target, 5, 5));
    EXPECT_EQ(drops, 1);
}

TEST(TextOrder, SortKeysOrderAsTheComparisonDoes) {
    const std::vector<std::string> texts{"", "a", "A", "á", "Á", "ab", "Ab", "árvore", "Árvore", "arvore", "Arvore", "b", "B",
                                         "ã", "a\xFF", "a b", "a\tb", "Z", "z", "Ça", "ca", "cá", std::string("a\0b", 3), "\xF0\x9F\x98\x80",
                                         "ÿ", "y", "Dimensão 00001", "Dimensão 0001", "Dimensao 00001"};
    for (const auto& a : texts)
        for (const auto& b : texts) {
            int byKey = TextOrderKey(a) < TextOrderKey(b) ? -1 : TextOrderKey(a) == TextOrderKey(b) ? 0 : 1;
            int byText = CompareTextOrder(a, b);
            EXPECT_EQ(byKey, byText < 0 ? -1 : byText == 0 ? 0 : 1) << "'" << a << "' vs '" << b << "'";
        }
}

// Numbers inside texts by value, the rest in text order; folding for search drops case and accents.
TEST(TextOrder, NaturalOrderComparesNumbersByValueAndFoldingDropsCaseAndAccents) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"Loja 9", "Loja 166", -1}, {"Loja 166", "Loja 168", -1}, {"Loja 218", "Loja 168", 1},
        {"Açúcar", "abacate", 1}, {"açúcar", "Acucar", 1}, {"Óleo", "oleo", 1},  // equal but for case and accents: decided last
        {"7", "07", -1}, {"A10B2", "A10B10", -1}, {"10", "Abc", -1}, {"Loja", "Loja 1", -1}, {"x", "x", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareNaturalText(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareNaturalText(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
    EXPECT_EQ(FoldText("Açúcar ÓLEO Pão"), "acucar oleo pao");
}

// Letters past Latin-1 (a supplier's name in Hungarian, Czech, Polish or Vietnamese) sort beside
// their base letters and fold for search like the Portuguese ones.
TEST(TextOrder, LettersOfEveryLatinAlphabetSortBesideTheirBaseLetter) {
    std::vector<std::string> names{"Pera", "Őrség", "Ordem", "Čapek", "Dvořák", "Cabral", "Nguyễn", "Nunes"};
    std::stable_sort(names.begin(), names.end(), [](auto& a, auto& b) { return CompareTextOrder(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"Cabral", "Čapek", "Dvořák", "Nguyễn", "Nunes", "Ordem", "Őrség", "Pera"}));
    EXPECT_EQ(FoldText("Őrség Dvořák Nguyễn"), "orseg dvorak nguyen");
    EXPECT_TRUE(SameTextIgnoreCase("ČAPEK", "čapek"));
    EXPECT_FALSE(SameTextIgnoreCase("Capek", "čapek"));
    EXPECT_EQ(LowerText("ŐRSÉG"), "őrség");
}
