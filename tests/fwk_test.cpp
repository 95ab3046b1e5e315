// The framework services as the screen relies on them.
#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <optional>
#include <thread>

#include "fwk/gzip_answer.hpp"
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

namespace {

// The gzip form of a text, one member.
std::string gzipOf(std::string_view text) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The same with the trailer's size (the text's length modulo 2^32) replaced.
std::string withTrailerSize(std::string zipped, uint32_t size) {
    for (int i = 0; i < 4; ++i) zipped[zipped.size() - 4 + static_cast<size_t>(i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
    return zipped;
}

}  // namespace

TEST(GunzipAnswer, InflatesOneMemberOrManyAndNeverPastTheCapWhateverTheTrailerSays) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "[\"" + std::to_string(i) + "\",\"FT" + std::to_string(i / 10) + "\"],";
    const std::string half = text.substr(0, text.size() / 2), rest = text.substr(text.size() / 2);
    const std::string whole = gzipOf(text), twoMembers = gzipOf(half) + gzipOf(rest);
    struct Case {
        const char* what;
        std::string zipped;
        size_t cap;
        std::optional<std::string> expected;  // nullopt: over the cap
    };
    const std::vector<Case> cases{
        {"one member", whole, text.size(), text},
        {"two members", twoMembers, text.size(), text},
        {"over the cap, said so", whole, text.size() - 1, std::nullopt},
        {"over the cap, the trailer saying otherwise", withTrailerSize(whole, 10), text.size() / 2, std::nullopt},
        {"empty text", gzipOf(""), 10, std::string()},
    };
    for (const Case& c : cases) {
        std::optional<InflatedText> got = GunzipAnswer(c.zipped, c.cap, kAnswerPadding);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.what;
        if (!got) continue;
        EXPECT_TRUE(got->text() == *c.expected) << c.what << ": " << got->size << " bytes against " << c.expected->size();
        EXPECT_GE(got->capacity, got->size + kAnswerPadding) << c.what;
    }
    std::string damaged = whole;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    // A trailer whose size is not the text's is damage too, as any gzip reader takes it.
    for (const std::string& bad : {damaged, whole.substr(0, whole.size() / 2), whole.substr(0, 10), std::string(40, 'x'), whole + "lixo",
                                   withTrailerSize(whole, 10), withTrailerSize(whole, static_cast<uint32_t>(text.size() + 5))})
        EXPECT_THROW(GunzipAnswer(bad, text.size() * 2), std::runtime_error) << bad.size() << " bytes";
}

// What the connection makes of a compressed answer: read whole however many members it has, and
// refused with a message that says why when damaged, too large or compressed some other way.
TEST_F(FwkFixture, ACompressedAnswerIsReadWholeOrRefusedWithTheReason) {
    std::string answer = R"({"result":{"ok":true,"data":null},"args":[{"fields":[{"name":"A","type":"string","size":5,"fixed":false}],"rows":[)";
    for (int i = 0; i < 5000; ++i) answer += std::string(i ? "," : "") + "[\"" + std::to_string(i) + "\"]";
    answer += "]}]}";
    std::string body, encoding;
    httplib::Server server;
    server.Get("/QEL00100.rdmOpcoesDW", [](const httplib::Request&, httplib::Response& r) { r.set_content("{}", "application/json"); });
    server.Post("/QEL00100.rdmOpcoesDW/GetInfo", [&](const httplib::Request&, httplib::Response& r) {
        r.set_header("Content-Encoding", encoding);
        r.set_content(body, "application/octet-stream");  // as it is: the test server compresses nothing itself
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TNetConnection net(nullptr);
    net.ServerName = "QEL00100.rdmOpcoesDW";
    net.Host = "127.0.0.1";
    net.Port = port;
    auto call = [&](std::string zipped, std::string how) -> std::string {
        body = std::move(zipped);
        encoding = std::move(how);
        std::vector<Variant> args{Variant()};
        try {
            net.Call("GetInfo", args);
        } catch (const ENetError& e) {
            return e.what();
        }
        return args[0].IsPacket() ? "rows: " + std::to_string(args[0].AsPacket().rows.size()) : "no packet";
    };
    const std::string zipped = gzipOf(answer);
    EXPECT_EQ(call(zipped, "gzip"), "rows: 5000");
    EXPECT_EQ(call(gzipOf(answer.substr(0, 1000)) + gzipOf(answer.substr(1000)), "gzip"), "rows: 5000");
    std::string damaged = zipped;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    EXPECT_NE(call(damaged, "gzip").find("compactação danificada"), std::string::npos);
    EXPECT_NE(call(zipped, "br").find("compactação br desconhecida"), std::string::npos);
    const CallLimits limits = GetCallLimits();
    SetCallLimits({limits.deadline, answer.size() - 1});
    EXPECT_NE(call(zipped, "gzip").find("passou de"), std::string::npos);
    SetCallLimits(limits);
    EXPECT_EQ(call(zipped, "gzip"), "rows: 5000");
    server.stop();
    serving.join();
}

// The catalogue's packets are capped in rows, as the answer is in bytes: a catalogue at the cap loads,
// one row more is refused before it is built, with a message that says which packet and the cap.
TEST_F(FwkFixture, ACatalogueOfMoreRowsThanTheCapIsRefusedSayingWhich) {
    auto packet = [](const std::string& fields, size_t rows, const std::string& row) {
        std::string p = "{\"fields\":[" + fields + "],\"rows\":[";
        for (size_t i = 0; i < rows; ++i) p += (i ? "," : "") + row;
        return p + "]}";
    };
    auto catalogue = [&](size_t areas) {
        return "{\"result\":{\"ok\":true,\"data\":null},\"args\":[" + packet(R"({"name":"NRSEQUEDIME","size":5})", 1, R"(["1"])") + "," +
               packet(R"({"name":"NMAREANEGDW","size":30},{"name":"CDAREANEGDW","size":5})", areas, R"(["Área","01"])") + "," +
               packet(R"({"name":"CDTABELADW","size":20})", 1, R"(["FT"])") + "," + packet(R"({"name":"NRSEQUEDIME","size":5})", 1, R"(["1"])") +
               ",\"ADMIN\"]}";
    };
    std::string body;
    httplib::Server server;
    server.Get("/QEL00100.rdmOpcoesDW", [](const httplib::Request&, httplib::Response& r) { r.set_content("{}", "application/json"); });
    for (const char* method : {"GetItemData", "getInfo"})
        server.Post(std::string("/QEL00100.rdmOpcoesDW/") + method,
                    [&](const httplib::Request&, httplib::Response& r) { r.set_content(body, "application/json"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TNetConnection net(nullptr);
    net.ServerName = "QEL00100.rdmOpcoesDW";
    net.Host = "127.0.0.1";
    net.Port = port;
    auto call = [&](size_t areas) -> std::string {
        body = catalogue(areas);
        std::vector<Variant> args(5);
        args[4] = "ADMIN";
        try {
            net.Call("GetItemData", args);
        } catch (const ENetError& e) {
            return e.what();
        }
        return "areas: " + std::to_string(args[1].AsPacket().rows.size());
    };
    EXPECT_EQ(call(250000), "areas: 250000");
    EXPECT_EQ(call(250001),
              "O catálogo do servidor de aplicação tem mais de 250.000 áreas de negócio, o limite deste cliente; nada foi carregado");
    // Another call's packets are not the catalogue's: as many rows as its bytes allow.
    std::vector<Variant> args(5);
    ASSERT_NO_THROW(net.Call("getInfo", args));
    EXPECT_EQ(args[1].AsPacket().rows.size(), 250001u);
    server.stop();
    serving.join();
}
