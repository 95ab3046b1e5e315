// The framework services as the screen relies on them.
#include <gtest/gtest.h>

#include "fwk/host_bridge.hpp"
#include "data/wire.hpp"
#include "services/list_dialog.hpp"
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "support/processes.hpp"

namespace {

struct FwkFixture : ::testing::Test {
    TApplication app;
    std::vector<std::string> shown;
    void SetUp() override {
        Application = &app;
        app.OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>&) {
            shown.push_back((type == TMsgDlgType::mtError ? "error: " : "warning: ") + text);
            return mrOk;
        };
    }
    void TearDown() override { Application = nullptr; }
};

struct StubDialog : ListDialogService {
    ListDialogRequest seen;
    ListDialogAnswer answer;
    ListDialogAnswer Show(const ListDialogRequest& r) override {
        seen = r;
        return answer;
    }
};

}  // namespace

TEST_F(FwkFixture, MessagesErrorsAndServerResults) {
    TMessages msg(nullptr);
    msg.Mensagens.Add("fato|Não há fatos a serem exibidos.");
    msg.Mensagens.Add("fatos|outra");
    EXPECT_EQ(msg.Msg("fato"), "Não há fatos a serem exibidos.");
    EXPECT_EQ(msg.Msg("nada"), "");
    msg.ShowMsg("fatos", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK}, 0);
    EXPECT_THROW(MensErro("Falhou", true), EAbort);
    EXPECT_EQ(shown, (std::vector<std::string>{"warning: outra", "error: Falhou"}));

    auto failed = std::make_shared<ServerResult>();
    failed->ok = false;
    failed->error = "no such table: ITEMDW";
    try {
        CheckResultServ(Variant(std::shared_ptr<const ServerResult>(failed)), true, 0);
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(), "no such table: ITEMDW");
    }
    Variant good = DecodeAnswer(R"({"result":{"ok":true,"data":{"fields":[{"name":"A","size":1}],"rows":[["x"]]}},"args":[]})").result;
    EXPECT_EQ(CheckResultServ(good, true, 0).AsPacket().rows[0][0], "x");
}

TEST_F(FwkFixture, ListDialogGetsTheRowsAndReturnsTheSelectionOnlyWhenConfirmed) {
    TClientDataSet cds(nullptr);
    DataPacket p;
    p.fields = {{"IDMARCADO", 1}, {"CDFILIAL", 5}, {"NMFILIAL", 30}};
    p.rows = {{" ", "01", "São Paulo"}, {" ", "02", "Pau d'Alho"}};
    cds.SetData(p);
    cds.FieldByName("CDFILIAL")->DisplayLabel = "Código";
    TDataSource src(nullptr);
    src.DataSet = &cds;
    StubDialog dialog;
    SetListDialogService(&dialog);
    std::string selection = "'01'";
    dialog.answer = {false, "'02'"};
    EXPECT_FALSE(PesquisaListaMsg(&src, "CDFILIAL", "Filial", false, selection));
    EXPECT_EQ(selection, "'01'");
    EXPECT_EQ(dialog.seen.given, "'01'");
    EXPECT_EQ(dialog.seen.labels, (std::vector<std::string>{"IDMARCADO", "Código", "NMFILIAL"}));
    EXPECT_EQ(dialog.seen.rows.size(), 2u);
    dialog.answer = {true, "'01','02'"};
    EXPECT_TRUE(PesquisaListaMsg(&src, "CDFILIAL", "Filial", false, selection));
    EXPECT_EQ(selection, "'01','02'");
    SetListDialogService(nullptr);
}

TEST_F(FwkFixture, AConnectionThatCannotOpenRaisesOnTheCallAndAsksForTheAddressAgain) {
    TNetConnection net(nullptr);
    net.ServerName = "QEL00100.rdmOpcoesDW";
    net.ThrowException = false;
    int port = UnusedPort();
    int connects = 0;
    net.OnBeforeConnect = [&](TObject*) {
        ++connects;
        net.Host = "127.0.0.1";
        net.Port = port;
    };
    net.SetConnected(true);  // no exception with ThrowException off
    EXPECT_FALSE(net.Connected());
    std::vector<Variant> args{Variant(), Variant("ADMIN")};
    try {
        net.Call("GetItemData", args);
        FAIL() << "no error";
    } catch (const ENetError& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(port)), std::string::npos) << e.what();
    }
    EXPECT_EQ(connects, 2);
    net.ThrowException = true;
    EXPECT_THROW(net.SetConnected(true), ENetError);
}

TEST_F(FwkFixture, ACallWhoseAnswerHasNotChangedIsServedFromTheKeptAnswer) {
    TempDatabase db(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql"));
    ServerProcess server(db.Path());
    TNetConnection net(nullptr);
    net.ServerName = "QEL00100.rdmOpcoesDW";
    net.Host = "127.0.0.1";
    net.Port = server.Port();
    auto areas = [&] {
        std::vector<Variant> args(5);
        args[4] = "ADMIN";
        EXPECT_TRUE(net.Call("GetItemData", args).AsResult().ok);
        return args[1].AsPacket().rows;
    };
    auto first = areas();
    EXPECT_EQ(areas(), first);  // the server said 304: the kept packets came back
    db.Execute("INSERT INTO AREANEGDW VALUES ('Compras', '04')");
    auto changed = areas();
    EXPECT_EQ(changed.size(), first.size() + 1);
    EXPECT_EQ(changed.back(), (std::vector<std::string>{"Compras", "04"}));
}
