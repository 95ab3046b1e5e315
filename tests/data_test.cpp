#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "data/aggregates.hpp"
#include "data/client_data_set.hpp"
#include "data/wire.hpp"
#include "data/provider.hpp"
#include "data/sql_connection.hpp"
#include "services/query.hpp"

namespace {

DataPacket people() {
    DataPacket p;
    p.fields = {{"NRSEQUEDIME", 5}, {"NMITEMDIME", 30}, {"ID", 1, true}};
    p.rows = {{"3", "filial", " "}, {"1", "Produto", "*"}, {"2", "Área", " "}, {"4", "Pau d'Alho", "*"}, {"5", "arvore", " "}};
    return p;
}

// Values of one field over the records the cursor visits.
std::vector<std::string> walk(TClientDataSet& ds, const char* field) {
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field)->AsString());
    return out;
}

struct DataSetFixture : ::testing::Test {
    TClientDataSet ds{nullptr};
    void SetUp() override {
        ds.Name = "cds";
        ds.SetData(people());
        ds.SetFiltered(true);
    }
};

}  // namespace

TEST_F(DataSetFixture, FiltersMatchValuesExactlyAndFieldNamesWithoutCase) {
    struct Case {
        std::string filter;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"", {"filial", "Produto", "Área", "Pau d'Alho", "arvore"}},
        {"ID = '*'", {"Produto", "Pau d'Alho"}},
        {"id <> '*'", {"filial", "Área", "arvore"}},
        {"NrsequeDime = '2'", {"Área"}},
        {"NMITEMDIME = 'Pau d''Alho'", {"Pau d'Alho"}},
        {"NMITEMDIME = 'FILIAL'", {}},
        {"ID = ' ' AND NRSEQUEDIME <> '3'", {"Área", "arvore"}},
        {"  NMITEMDIME='Produto'  and ID='*' ", {"Produto"}},
    };
    for (const Case& c : cases) {
        ds.SetFilter(c.filter);
        EXPECT_EQ(walk(ds, "NMITEMDIME"), c.names) << "filter: " << c.filter;
    }
    ds.SetFiltered(false);  // switched off, the filter text stays but every record passes
    EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(DataSetFixture, MalformedFiltersRaiseAClearErrorAndLeaveTheOldOne) {
    ds.SetFilter("ID = '*'");
    for (const char* bad : {"ID = *", "ID == '*'", "ID = 'x", "ID = 'x' OR ID = 'y'", "= 'x'", "SEMCAMPO = 'x'", "ID = 'x' AND"})
        EXPECT_THROW(ds.SetFilter(bad), EFilterError) << bad;
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Produto", "Pau d'Alho"}));
    EXPECT_EQ(QuotedStr("d'Alho"), "'d''Alho'");
}

TEST_F(DataSetFixture, ActiveIndexOrdersByTextOrderAlsoUnderAFilter) {
    ds.SetIndexFieldNames("NMITEMDIME");
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Área", "arvore", "filial", "Pau d'Alho", "Produto"}));
    ds.SetFilter("ID = ' '");
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Área", "arvore", "filial"}));
}

TEST_F(DataSetFixture, PostUpdatesFiltersAndLoadingKeepsTheFilter) {
    ds.SetFilter("ID = '*'");
    ds.SetFiltered(false);
    for (ds.First(); !ds.Eof(); ds.Next()) {  // edits while walking keep the walk intact
        ds.Edit();
        ds.FieldByName("ID")->SetAsString(ds.FieldByName("NRSEQUEDIME")->AsString() == "2" ? "*" : " ");
        ds.Post();
    }
    ds.SetFiltered(true);
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Área"}));
    ds.SetData(people());  // replaces the records, the filter stays set
    EXPECT_EQ(ds.Filter(), "ID = '*'");
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Produto", "Pau d'Alho"}));
    EXPECT_EQ(ds.TotalRecordCount(), 5);
    EXPECT_THROW(ds.FieldByName("ID")->SetAsString("x"), EDatabaseError);  // not in edit mode
}

// An unchanged answer hands the data set the very packet it holds: it keeps what it built and goes
// back to the first record; once edited it holds its own copy, and the packet brings the rows back.
TEST_F(DataSetFixture, TheSamePacketAgainKeepsTheFilterAndUndoesEdits) {
    auto packet = std::make_shared<const DataPacket>(people());
    ds.SetData(packet);
    ds.SetFilter("ID = '*'");
    ds.Next();
    ds.SetData(packet);
    EXPECT_EQ(ds.FieldByName("NMITEMDIME")->AsString(), "Produto");  // the first of the filtered records
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Produto", "Pau d'Alho"}));
    ds.First();
    ds.Edit();
    ds.FieldByName("NMITEMDIME")->SetAsString("Trocado");
    ds.Post();
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Trocado", "Pau d'Alho"}));
    ds.SetFilter("NMITEMDIME = 'Trocado'");  // an index over the edited field
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_TRUE(ds.LoadedFrom(packet));  // edited, but still from that packet
    ds.SetData(packet);
    EXPECT_EQ(ds.RecordCount(), 0);  // the index over the changed field was built again
    ds.SetFilter("NMITEMDIME = 'Produto'");
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Produto"}));
    ds.SetFilter("ID = '*'");
    EXPECT_EQ(walk(ds, "NMITEMDIME"), (std::vector<std::string>{"Produto", "Pau d'Alho"}));
    EXPECT_EQ(packet->rows, people().rows);  // the shared packet itself was never written
    ds.SetData(people());
    EXPECT_FALSE(ds.LoadedFrom(packet));
}

TEST(ClientDataSet, PersistentFieldsDemandThemInThePacketAndIgnoreTheRest) {
    TClientDataSet ds(nullptr);
    ds.Name = "cdsAreanegDW";
    ds.AddStringField("NMAREANEGDW", 30);
    ds.AddStringField("CDAREANEGDW", 5);
    ds.CreateDataSet();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.FieldByName("NMAREANEGDW")->AsString(), "");
    DataPacket p;
    p.fields = {{"EXTRA", 3}, {"cdareanegdw", 5}, {"NMAREANEGDW", 30}};
    p.rows = {{"x", "01", "Vendas"}};
    ds.SetData(p);
    EXPECT_EQ(ds.FieldByName("CDAREANEGDW")->AsString(), "01");
    EXPECT_EQ(ds.FindField("EXTRA"), nullptr);
    p.fields.pop_back();
    p.rows = {{"x", "01"}};
    EXPECT_THROW(ds.SetData(p), EDatabaseError);
}

TEST(ClientDataSet, EqualityFilterOnALargeSetFindsTheRightRecords) {
    DataPacket p;
    p.fields = {{"NRSEQUEDIME", 5}, {"CDTABELADW", 20}};
    for (int i = 0; i < 200000; ++i) p.rows.push_back({std::to_string(i % 5000), std::string(1, 'T').append(std::to_string(i / 20))});
    TClientDataSet ds(nullptr);
    ds.SetData(p);
    ds.SetFiltered(true);
    ds.SetFilter("CDTABELADW = 'T777'");
    auto nums = walk(ds, "NRSEQUEDIME");
    ASSERT_EQ(nums.size(), 20u);
    EXPECT_EQ(nums.front(), std::to_string(777 * 20 % 5000));
    std::string twoConditions = "CDTABELADW = 'T777' AND NRSEQUEDIME <> ";
    twoConditions += QuotedStr(nums.front());
    ds.SetFilter(twoConditions);
    EXPECT_EQ(ds.RecordCount(), 19);
}

TEST(PacketRows, RowsOfAnyWidthKeepTheirCellsThroughEveryWayOfBuildingThem) {
    const std::vector<std::vector<std::string>> expected{{"a", "b", "c"}, {}, {"a long cell past the short-string size"}, {"x", ""}};
    PacketRows pushed;
    for (auto& r : expected) pushed.push_back(r);
    PacketRows added;
    for (auto& r : expected) {
        for (auto& c : r) added.AddCell() = c;
        added.EndRow();
    }
    PacketRows appended{expected[0], expected[1]};
    appended.Append(PacketRows{expected[2], expected[3]});
    PacketRows converted(expected);
    for (const PacketRows* rows : {&pushed, &added, &appended, &converted}) {
        EXPECT_EQ(*rows, expected) << ::testing::PrintToString(*rows);
        EXPECT_EQ(*rows, pushed);
        std::vector<std::vector<std::string>> walked;
        for (auto& row : *rows) walked.push_back(row);
        EXPECT_EQ(walked, expected);
    }
    EXPECT_EQ(appended.size(), 4u);
    EXPECT_EQ(pushed.at(2).at(0), "a long cell past the short-string size");
    EXPECT_THROW(pushed.at(4), std::out_of_range);
    EXPECT_THROW(pushed.at(0).at(3), std::out_of_range);
    EXPECT_FALSE(pushed == (std::vector<std::vector<std::string>>{{"a", "b"}, {}, {"a long cell past the short-string size"}, {"x", ""}}));
    // A row changed in place changes only its own cell; a copy taken before keeps the old value.
    const std::vector<std::string> before = pushed[0];
    pushed[0][1] = "B";
    EXPECT_EQ(before, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(pushed[0], (std::vector<std::string>{"a", "B", "c"}));
    EXPECT_EQ(pushed[3], expected[3]);
    pushed.clear();
    EXPECT_TRUE(pushed.empty());
    EXPECT_EQ(pushed.begin(), pushed.end());
}

// A large data set builds its load indexes on a thread of its own: whatever the caller does next
// (filter at once, edit, load again, close), it sees the records of the packet it holds.
TEST(ClientDataSet, LoadIndexesBuiltAsideAnswerEveryLookupLikeAScan) {
    auto packet = [](int records, int seed) {
        DataPacket p;
        p.fields = {{"CDTABELADW", 10}, {"CDITEMDIME", 10}, {"NM", 10}};
        for (int i = 0; i < records; ++i)  // runs of ten in the first column, none in the second
            p.rows.push_back({"T" + std::to_string(i / 10 + seed), "D" + std::to_string((i * 7919) % 1000), std::to_string(i)});
        return p;
    };
    auto scan = [](const DataPacket& p, size_t column, const std::string& value) {
        std::vector<std::string> out;
        for (auto& r : p.rows)
            if (r[column] == value) out.push_back(r[2]);
        return out;
    };
    TClientDataSet ds(nullptr);
    ds.LookupFields = {"CDTABELADW", "CDITEMDIME"};
    ds.SetFiltered(true);
    const DataPacket first = packet(120000, 0), second = packet(90000, 5);
    ds.SetData(first);
    ds.SetFilter("CDITEMDIME = 'D17'");  // the second index, while the first may still be building
    EXPECT_EQ(walk(ds, "NM"), scan(first, 1, "D17"));
    ds.SetFilter("CDTABELADW = 'T4321'");
    EXPECT_EQ(walk(ds, "NM"), scan(first, 0, "T4321"));
    // Loaded again before anything was looked up, then again with the first packet.
    ds.SetData(second);
    ds.SetData(first);
    ds.SetData(second);
    EXPECT_EQ(walk(ds, "NM"), scan(second, 0, "T4321"));
    // An edit right after a load, before any lookup: the changed value is found under its new key
    // only, in the index being built as much as in the other.
    ds.SetFiltered(false);
    ds.SetData(first);
    ds.First();
    ds.Edit();
    ds.FieldByName("CDITEMDIME")->SetAsString("D-nova");
    ds.FieldByName("CDTABELADW")->SetAsString("T-nova");
    ds.Post();
    ds.SetFiltered(true);
    ds.SetFilter("CDITEMDIME = 'D-nova'");
    EXPECT_EQ(walk(ds, "NM"), (std::vector<std::string>{"0"}));
    ds.SetFilter("CDTABELADW = 'T-nova'");
    EXPECT_EQ(walk(ds, "NM"), (std::vector<std::string>{"0"}));
    ds.SetFilter("CDTABELADW = 'T0'");
    EXPECT_EQ(walk(ds, "NM"), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    // Closed, and destroyed, with indexes still being built.
    ds.SetData(second);
    ds.Close();
    EXPECT_FALSE(ds.Active());
    {
        TClientDataSet gone(nullptr);
        gone.LookupFields = {"CDTABELADW"};
        gone.SetData(first);
    }
}

TEST(Wire, PacketsRoundTripInEitherMemberOrderAndReadNullsAndNumbersAsText) {
    DataPacket p = people();
    std::string text;
    AppendPacketJson(text, p);
    EXPECT_EQ(PacketFromText(text), p);
    DataPacket q = PacketFromText(R"({"rows":[[null],["x"],[1.5]],"fields":[{"name":"A","type":"string","size":2,"fixed":true}]})");
    EXPECT_EQ(q.rows, (std::vector<std::vector<std::string>>{{""}, {"x"}, {"1.5"}}));
    EXPECT_TRUE(q.fields[0].fixed);
    // Texts with escapes and characters past the basic plane come back whole.
    DataPacket u;
    u.fields = {{"T", 10}};
    u.rows = {{"a\"b\\c\n\x01 \xF0\x9F\x98\x80 Árvore"}};
    text.clear();
    AppendPacketJson(text, u);
    EXPECT_EQ(PacketFromText(text), u);
    EXPECT_EQ(PacketFromText(R"({"fields":[{"name":"T"}],"rows":[["\u00c1\ud83d\ude00"]]})").rows[0][0], "Á\xF0\x9F\x98\x80");
}

TEST(Wire, MalformedPacketsAndCallsAreRefusedWithAClearMessage) {
    const char* bad[] = {
        R"({"fields":[{"name":"A"}],"rows":[["x","y"]]})",  // a row longer than the fields
        R"({"rows":[]})",                                    // no fields
        R"({"fields":[{"size":1}],"rows":[]})",              // a field without a name
        R"({"fields":[{"name":"A","size":1e300}],"rows":[]})",  // sizes are whole numbers in range
        R"({"fields":[{"name":"A","size":-1}],"rows":[]})",
        R"({"fields":[{"name":"A","size":2.5}],"rows":[]})",
        R"({"fields":[{"name":"A","size":1000001}],"rows":[]})",
        R"({"fields":[{"name":"A"}],"rows":[[[1]]]})",       // a cell that is not a plain value
        R"({"fields":[],"rows":[]} x)",                      // something after the value
        R"({"fields":[],"rows":[],})",
        "",
    };
    for (const char* text : bad) {
        try {
            PacketFromText(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EJsonError& e) {
            EXPECT_NE(std::string(e.what()).size(), 0u);
        }
    }
    EXPECT_EQ(DecodeCall(R"({"args":[null,"x",3,true]})").size(), 4u);
    for (const char* call : {R"({"sem":"args"})", R"({"args":{}})", "[]", R"({"args":[1,]})", "nada"})
        EXPECT_THROW(DecodeCall(call), EJsonError) << call;
    std::string deep = "{\"x\":" + std::string(64, '[') + std::string(64, ']') + ",\"args\":[]}";
    try {
        DecodeCall(deep);
        ADD_FAILURE() << "nesting past the limit accepted";
    } catch (const EJsonError& e) {
        EXPECT_NE(std::string(e.what()).find("64"), std::string::npos) << e.what();
    }
}

TEST(Wire, AnswersCarryTheResultAndTheArguments) {
    auto ok = std::make_shared<ServerResult>();
    ok->data = people();
    std::string text = EncodeAnswer(*ok, {Variant("SELECT 1"), Variant()});
    WireAnswer a = DecodeAnswer(text);
    EXPECT_TRUE(a.result.AsResult().ok);
    EXPECT_EQ(a.result.AsResult().data.AsPacket(), people());
    ASSERT_EQ(a.args.size(), 2u);
    EXPECT_EQ(a.args[0].AsString(), "SELECT 1");
    EXPECT_TRUE(a.args[1].IsNull());
    WireAnswer failed = DecodeAnswer(R"({"result":{"ok":false,"error":"sem tabela"},"args":[]})");
    EXPECT_FALSE(failed.result.AsResult().ok);
    EXPECT_EQ(failed.result.AsResult().error, "sem tabela");
    EXPECT_THROW(DecodeAnswer(R"({"args":[]})"), EJsonError);
}

// An answer larger than the parser each thread keeps is read by a parser of its own, from a copy or in
// place: a catalogue of 35 MB came back as "Resposta inválida" when that parser had no room.
TEST(Wire, AnswersLargerThanTheKeptParserAreReadWhole) {
    DataPacket big;
    big.fields = {{"NOME", 40, false, "string"}};
    const size_t rows = 700000;  // about 21 MB of text
    for (size_t i = 0; i < rows; ++i) big.rows.push_back({"Fato Analítico " + std::to_string(i)});
    auto ok = std::make_shared<ServerResult>();
    ok->data = big;
    std::string text = EncodeAnswer(*ok, {Variant()});
    ASSERT_GT(text.size(), size_t{16} << 20);
    const WireAnswer copied = DecodeAnswer(std::string_view(text));
    ASSERT_TRUE(copied.result.AsResult().ok);
    EXPECT_EQ(copied.result.AsResult().data.AsPacket().rows.size(), rows);
    const WireAnswer inPlace = DecodeAnswer(text);
    EXPECT_EQ(inPlace.result.AsResult().data.AsPacket(), big);
}

TEST(JsonText, InvalidUtf8BecomesTheReplacementCharacter) {
    std::string out;
    AppendJsonString(out, std::string("ok \xFF\x80 \xC3\xA1 \xED\xA0\x80 \xC0\xAF") + '\0');
    EXPECT_EQ(out, "\"ok \xEF\xBF\xBD\xEF\xBF\xBD \xC3\xA1 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\\u0000\"");
    EXPECT_EQ(ValidUtf8("a\xE2\x82"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    std::string hex;
    AppendHex(hex, std::string("\x00\xFF\x10", 3));
    EXPECT_EQ(hex, "00ff10");
}

namespace {

struct TempDb : ::testing::Test {
    std::string path = (std::filesystem::temp_directory_path() / ("qel_data_test_" + std::to_string(::getpid()) + ".db")).string();
    void SetUp() override {
        auto db = OpenSqlite(path);
        db->Execute("CREATE TABLE DFILIAL (CDFILIAL VARCHAR(10), NMFILIAL VARCHAR(40));"
                    "INSERT INTO DFILIAL VALUES ('01','São Paulo'),('02','Pau d''Alho'),('03',NULL);");
    }
    void TearDown() override { std::filesystem::remove(path); }
};

}  // namespace

TEST_F(TempDb, QueryBindsParametersAsTextAndTheProviderMakesAPacket) {
    TdtmDBGeral dm(nullptr);
    dm.OpenDatabase(path);
    TADOIBQuery q(nullptr);
    q.SetADOConnection(dm.ADOConnection);
    q.SQL.Add("SELECT CDFILIAL, NMFILIAL");
    q.SQL.Add("FROM DFILIAL WHERE NMFILIAL = :P_NMFILIAL OR CDFILIAL = :P_CDFILIAL");
    q.ParamByName("P_NMFILIAL").AsString = "Pau d'Alho";
    q.ParamByName("P_CDFILIAL").AsString = "03";
    q.Open();
    ASSERT_FALSE(q.IsEmpty());
    EXPECT_EQ(q.FieldByName("nmfilial").AsString(), "Pau d'Alho");
    TDataSetProvider dsp(nullptr);
    dsp.DataSet = &q;
    DataPacket p = dsp.GetData();
    EXPECT_EQ(p.fields, (std::vector<FieldDef>{{"CDFILIAL", 10}, {"NMFILIAL", 40}}));
    EXPECT_EQ(p.rows, (std::vector<std::vector<std::string>>{{"02", "Pau d'Alho"}, {"03", ""}}));
}

TEST_F(TempDb, FailuresRaiseWithTheDatabaseMessageAndReadOnlyRefusesWrites) {
    auto db = OpenSqlite(path, true);
    try {
        db->Query("SELECT NADA FROM DFILIAL");
        FAIL() << "no error";
    } catch (const ESqlError& e) {
        EXPECT_NE(std::string(e.what()).find("NADA"), std::string::npos) << e.what();
    }
    EXPECT_THROW(db->Query("DELETE FROM DFILIAL", {}, true), ESqlError);
    EXPECT_THROW(db->Query("SELECT 1; DELETE FROM DFILIAL", {}, true), ESqlError);
    EXPECT_THROW(db->Query("DELETE FROM DFILIAL"), ESqlError);  // the file itself is open read-only
    EXPECT_EQ(db->Query("SELECT count(*) FROM DFILIAL; -- fim", {}, true).rows[0][0], "3");
    // What the read-only file would let through (temporary objects, attached files, settings) the
    // connection's authorizer refuses: only what it names is allowed, everything else is denied.
    for (const char* script : {"CREATE TEMP TABLE t (x)", "CREATE TEMP VIEW v AS SELECT 1", "ATTACH DATABASE ':memory:' AS outro",
                               "PRAGMA query_only = 0", "CREATE TEMP TRIGGER g AFTER DELETE ON DFILIAL BEGIN SELECT 1; END"})
        EXPECT_THROW(db->Execute(script), ESqlError) << script;
    EXPECT_THROW(db->Query("SELECT * FROM temp.t"), ESqlError);  // and nothing of it was made
    TADOIBQuery noDb(nullptr);
    noDb.SQL.Add("SELECT 1");
    EXPECT_THROW(noDb.Open(), ESqlError);
    EXPECT_TRUE(IsPlainSqlIdentifier("dw.DFILIAL"));
    EXPECT_FALSE(IsPlainSqlIdentifier("DFILIAL; DROP"));
    EXPECT_FALSE(IsPlainSqlIdentifier("1TAB"));
}

// The viewer's choice among a fact table's fresh summaries: the smallest that holds every column the
// statement needs, names compared as SQL compares them; another fact table's never.
TEST(Aggregates, TheSmallestCoveringSummaryOfTheSameFactTableIsChosen) {
    const std::vector<AggregateTable> fresh = AggregatesFromRows({{"AGR_WIDE", "FVENDA", "CDPRODUTO,CDCLIENTE,CDFILIAL", "900"},
                                                                   {"AGR_PC", "FVENDA", "CDPRODUTO,CDCLIENTE", "300"},
                                                                   {"AGR_P", "FVENDA", "CDPRODUTO", "10"},
                                                                   {"AGR_OTHER", "FDEVOL", "CDPRODUTO", "2"},
                                                                   {"bad name;", "FVENDA", "CDPRODUTO", "1"}});
    ASSERT_EQ(fresh.size(), 4u) << "a table name that cannot go into SQL is dropped";
    EXPECT_EQ(fresh[1].columns, (std::vector<std::string>{"CDPRODUTO", "CDCLIENTE"}));
    struct Case {
        std::string base;
        std::vector<std::string> needed;
        const char* chosen;  // null: the fact table itself
    } cases[] = {
        {"FVENDA", {"CDPRODUTO"}, "AGR_P"},
        {"fvenda", {"cdproduto"}, "AGR_P"},
        {"FVENDA", {"CDCLIENTE"}, "AGR_PC"},
        {"FVENDA", {"CDCLIENTE", "CDPRODUTO", "CDCLIENTE"}, "AGR_PC"},
        {"FVENDA", {"CDFILIAL", "CDPRODUTO"}, "AGR_WIDE"},
        {"FVENDA", {"CDPERIODO"}, nullptr},
        {"FVENDA", {"CDPRODUTO", "CDPERIODO"}, nullptr},
        {"FDEVOL", {"CDPRODUTO"}, "AGR_OTHER"},
        {"FDEVOL", {"CDCLIENTE"}, nullptr},
        {"FESTOQ", {}, nullptr},
    };
    for (const Case& c : cases) {
        const AggregateTable* a = ChooseAggregate(fresh, c.base, c.needed);
        EXPECT_EQ(a ? a->table : "(fact table)", c.chosen ? c.chosen : "(fact table)") << c.base << " " << c.needed.size();
    }
}
