// The screen in process, without the host: the module loaded in this process, the form opened with
// IniProc against a server address where nobody answers, and catalogue packets loaded by hand.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include "module/package_info.hpp"
#include "screen/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/session.hpp"
#include "support/processes.hpp"

inline DataPacket packet(std::vector<std::string> fields, std::vector<std::vector<std::string>> rows) {
    DataPacket p;
    for (auto& f : fields) p.fields.push_back({f, 30});
    for (auto& r : rows) {
        r.resize(fields.size());
        p.rows.push_back(r);
    }
    return p;
}

inline const std::vector<std::string> kItemFields{"CDTABELADW", "CDITEMDW", "NMITEMDW", "CDAREANEGDW", "DSHINTITEM", "IDTPFATODW", "CDTABDRILL"};
inline const std::vector<std::string> kDimFields{"NRSEQUEDIME", "NMITEMDIME", "CDTABELADIME", "DSPKDIME", "DSITEMDIME", "DSPKDIME2", "ID"};

struct ScreenFixture : ::testing::Test {
    TApplication app;
    TScreen screen;
    std::vector<std::string> messages;  // "type: text"
    TfrmOpcodesDW* form = nullptr;

    void SetUp() override {
        Application = &app;
        Screen = &screen;
        app.OnMessageDlg = [this](const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>&) {
            messages.push_back((type == TMsgDlgType::mtError ? "error: " : "warning: ") + text);
            return mrOk;
        };
        SetSession("ADMIN", "127.0.0.1", UnusedPort());  // nobody answers there
        Initialize();
        IniProc();
        form = frmOpcodesDW;
    }
    void TearDown() override {
        for (TForm* f : app.Forms()) f->Release();
        app.ProcessReleases();
        Finalize();
        Screen = nullptr;
        Application = nullptr;
    }

    // One area holding facts F1..F4 on tables T1, T2, T3 (no links) and an empty table code.
    void loadSetCatalogue() {
        form->cdsAreanegDW->SetData(packet({"NMAREANEGDW", "CDAREANEGDW"}, {{"Área", "01"}}));
        form->cdsItemDW->SetData(packet(kItemFields, {{"T1", "", "F1", "01"}, {"T2", "", "F2", "01"}, {"T3", "", "F3", "01"}, {"", "", "F4", "01"}}));
        form->cdsDimensaoDW->SetData(packet({"NRSEQUEDIME", "CDTABELADW", "CDITEMDIME"},
                                            {{"1", "T1"}, {"2", "T1"}, {"3", "T1"}, {"2", "T2"}, {"3", "T2"}, {"4", "T2"}, {"5", ""}}));
        form->cdsDimensaoDime->SetData(packet(kDimFields, {{"1", "A"}, {"2", "B"}, {"3", "C"}, {"4", "D"}, {"5", "E"}}));
        form->MontaArvore();
        form->filtraDimensoes();
    }

    std::set<std::string> usable() {
        std::set<std::string> out;
        auto* ds = form->cdsDimensaoDime;
        ds->SetFilter("ID = '*'");
        for (ds->First(); !ds->Eof(); ds->Next()) out.insert(ds->FieldByName("NMITEMDIME")->AsString());
        return out;
    }
};

