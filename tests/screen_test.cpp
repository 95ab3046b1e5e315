// The screen in process: the form's rules raised directly, without the host.
#include <gtest/gtest.h>

#include <set>

#include "module/package_info.hpp"
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "fwk/host_bridge.hpp"
#include "services/cube.hpp"
#include "services/session.hpp"
#include "support/processes.hpp"
#include "support/screen_fixture.hpp"

TEST_F(ScreenFixture, ServerDownIsReportedOnceAndTheScreenStillOpensWithNothingLeftOn) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("error: ", 0), 0u) << messages[0];
    EXPECT_TRUE(bostcriado);
    EXPECT_TRUE(form->Visible);
    EXPECT_EQ(form->trvFatos->Items().Count(), 0);
    EXPECT_EQ(Screen->Cursor(), TCursor::crDefault);
    EXPECT_FALSE(ShowAviActive());
}

TEST_F(ScreenFixture, CtrlF2ReachesTheBuildClickWhateverItsStateAndF2AloneDoesNot) {
    int clicks = 0;
    form->sbtConfirmar->OnClick = [&](TObject*) { ++clicks; };
    form->KeyDown(VK_F1 + 1, TShiftState::Ctrl);
    EXPECT_EQ(clicks, 1);
    form->KeyDown(VK_F1 + 1, TShiftState(TShiftState::Ctrl | TShiftState::Shift));
    EXPECT_EQ(clicks, 2);
    form->KeyDown(VK_F1 + 1, {});
    form->KeyDown(VK_F1 + 1, TShiftState::Alt);
    EXPECT_EQ(clicks, 2);
    Word key = VK_F1 + 1;
    form->FormKeyDown(form, key, TShiftState::Ctrl);
    EXPECT_EQ(key, 0);  // consumed
}

TEST_F(ScreenFixture, AvailabilityKeepsOnlyDimensionsSharedByEveryFact) {
    loadSetCatalogue();
    form->trvFatos->Select(form->trvFatos->Items()[1]);  // lists the whole area: A..E
    struct Case {
        std::vector<std::string> facts;
        std::set<std::string> usable;
    };
    const Case cases[] = {
        {{}, {"A", "B", "C", "D", "E"}},
        {{"F1"}, {"A", "B", "C"}},
        {{"F2", "F1"}, {"B", "C"}},
        {{"F1", "F2", "F1"}, {"B", "C"}},
        {{"F3"}, {}},                // a fact whose table has no links
        {{"Fantasma"}, {"E"}},       // missing from the catalogue: only links with an empty table code
        {{"F1", "Fantasma"}, {}},
        {{"F4"}, {"E"}},
    };
    for (const Case& c : cases) {
        form->trvFacts->Items().Clear();
        for (auto& f : c.facts) form->trvFacts->Items().Add(nullptr, f);
        form->filtraDimensoes();
        EXPECT_EQ(usable(), c.usable) << "facts: " << c.facts.size();
        std::set<std::string> shown;
        for (int i = 0; i < form->trvDimensoes->Items().Count(); ++i) {
            TTreeNode* n = form->trvDimensoes->Items()[i];
            EXPECT_EQ(n->ImageIndex, n->SelectedIndex);
            if (n->ImageIndex == 1) shown.insert(n->Text);
        }
        EXPECT_EQ(shown, c.usable);
        EXPECT_EQ(Screen->Cursor(), TCursor::crDefault);
        // Facts alone may be removed but not built.
        EXPECT_EQ(form->sbtExcluir->Enabled, !c.facts.empty());
        EXPECT_FALSE(form->sbtConfirmar->Enabled);
    }
    EXPECT_TRUE(messages.size() == 1u);  // only the failed load at open
}

TEST_F(ScreenFixture, ANewScreenStartsWithoutFiltersAndAFreshInstance) {
    TfrmOpcodesDW* first = form;
    stlDSfiltro.Add("Filial");
    stlCDfiltro.Add("'01'");
    first->sbtFechar->Click();
    EXPECT_FALSE(bostcriado);
    app.ProcessReleases();
    EXPECT_TRUE(app.MDIChildren().empty());
    IniProc();
    EXPECT_TRUE(bostcriado);
    EXPECT_EQ(stlDSfiltro.Count(), 0);
    EXPECT_EQ(stlCDfiltro.Count(), 0);
    EXPECT_EQ(trvPointer, nullptr);
    EXPECT_EQ(app.MDIChildren().size(), 1u);
}

TEST_F(ScreenFixture, RefreshWithFactsInTheViewDoesNotClaimTheCatalogueIsEmpty) {
    TempDatabase db(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"));
    ServerProcess server(db.Path());
    SetSession("ADMIN", "127.0.0.1", server.Port());
    messages.clear();
    form->sbtVerificarClick(form);  // reconnects to the address now set, and loads
    form->trvFacts->Items().Add(nullptr, "Devoluções");
    form->filtraDimensoes();
    EXPECT_EQ(usable(), (std::set<std::string>{"Cliente", "Produto"}));
    form->AtualizaDados();  // the availability filter is still set on the dimensions
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(usable(), (std::set<std::string>{"Cliente", "Produto"}));
}

TEST_F(ScreenFixture, EncontraNodeFindsTheFirstExactTextInIndexOrderGroupsIncluded) {
    TTreeNodes& rows = form->trvRows->Items();
    TTreeNode* head = rows.Add(nullptr, "Filial");
    TTreeNode* member = rows.AddChild(head, "Produto");  // a group member, collapsed
    rows.Add(nullptr, "Produto");
    EXPECT_EQ(form->encontraNode("Produto", rows), member);
    EXPECT_EQ(form->encontraNode("Filial", rows), head);
    EXPECT_EQ(form->encontraNode("produto", rows), nullptr);
    EXPECT_EQ(form->encontraNode("Prod", rows), nullptr);
    EXPECT_EQ(rows.Count(), 3);  // the collection is not changed
}

// The history keeps the last kHistorySteps layout changes (at least fifty): past that the oldest are
// forgotten, and undoing them all brings back the layout as it was that many changes ago.
TEST_F(ScreenFixture, TheLayoutHistoryKeepsItsLastStepsAndUndoesThemInOrder) {
    static_assert(TfrmOpcodesDW::kHistorySteps >= 50);
    loadSetCatalogue();
    form->trvFatos->Select(form->trvFatos->Items()[1]);
    TTreeView* list = form->trvDimensoes;
    auto nodeOf = [](TTreeView* t, const std::string& text) {
        for (int i = 0; i < t->Items().Count(); ++i)
            if (t->Items()[i]->Text == text) return t->Items()[i];
        return static_cast<TTreeNode*>(nullptr);
    };
    const std::string names[] = {"A", "B", "C"};
    std::vector<LayoutSnapshot> seen{form->TakeLayout()};
    const size_t changes = TfrmOpcodesDW::kHistorySteps + 20;
    for (size_t i = 0; i < changes; ++i) {
        const std::string& name = names[i / 2 % 3];
        if (i % 2 == 0) {
            list->Select(nodeOf(list, name));
            form->TransferItemsNoDups(form->trvRows, list);
        } else {
            form->trvRows->Select(nodeOf(form->trvRows, name));
            form->ApagaItem(form->trvRows);
        }
        seen.push_back(form->TakeLayout());
        ASSERT_NE(seen.back(), seen[seen.size() - 2]) << "change " << i;
    }
    // A command that changes nothing is no step.
    form->trvRows->Select(nullptr);
    form->ApagaItem(form->trvRows);
    EXPECT_EQ(form->UndoSteps(), TfrmOpcodesDW::kHistorySteps);
    EXPECT_EQ(form->RedoSteps(), 0u);
    for (size_t k = 1; k <= TfrmOpcodesDW::kHistorySteps; ++k) {
        form->mnuDesfazerClick(nullptr);
        ASSERT_EQ(form->TakeLayout(), seen[changes - k]) << "undo " << k;
    }
    EXPECT_FALSE(form->mnuDesfazer->Enabled);
    form->mnuDesfazerClick(nullptr);  // nothing left: nothing changes
    EXPECT_EQ(form->TakeLayout(), seen[changes - TfrmOpcodesDW::kHistorySteps]);
    EXPECT_EQ(form->RedoSteps(), TfrmOpcodesDW::kHistorySteps);
    for (size_t k = 1; k <= TfrmOpcodesDW::kHistorySteps; ++k) form->mnuRefazerClick(nullptr);
    EXPECT_EQ(form->TakeLayout(), seen.back());
    EXPECT_FALSE(form->mnuRefazer->Enabled);
    EXPECT_TRUE(form->mnuDesfazer->Enabled);
}

// The progress of a long statement says what is known: the seconds it has run and the groups that
// came, counted with a thousands point.
TEST(StatementProgress, SaysTheSecondsAndTheGroupsReceived) {
    EXPECT_EQ(StatementProgressText(0.5, 0), "Calculando… 0 s, 0 grupos recebidos");
    EXPECT_EQ(StatementProgressText(1.0, 1), "Calculando… 1 s, 1 grupo recebido");
    EXPECT_EQ(StatementProgressText(12.97, 1234), "Calculando… 12 s, 1.234 grupos recebidos");
    EXPECT_EQ(StatementProgressText(3600, 999), "Calculando… 3600 s, 999 grupos recebidos");
    EXPECT_EQ(StatementProgressText(61, 12345678), "Calculando… 61 s, 12.345.678 grupos recebidos");
}
