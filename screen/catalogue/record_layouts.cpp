// The four catalogue data sets and their record layouts, as the server's packets must carry them.
#include "screen/frm_opcodes_dw.hpp"

void TfrmOpcodesDW::DefineCatalogueData() {
    auto dataSet = [this](const char* name) {
        TClientDataSet* ds = Owned<TClientDataSet>();
        ds->Name = name;
        return ds;
    };
    cdsAreanegDW = dataSet("cdsAreanegDW");
    cdsAreanegDW->AddStringField("NMAREANEGDW", 30);
    cdsAreanegDW->AddStringField("CDAREANEGDW", 5);

    cdsItemDW = dataSet("cdsItemDW");
    cdsItemDW->AddStringField("CDTABELADW", 20);
    cdsItemDW->AddStringField("CDITEMDW", 30);
    cdsItemDW->AddStringField("NMITEMDW", 30);
    cdsItemDW->AddStringField("CDAREANEGDW", 5);
    cdsItemDW->AddStringField("DSHINTITEM", 200);
    cdsItemDW->AddStringField("IDTPFATODW", 1, true);
    cdsItemDW->AddStringField("CDTABDRILL", 30);
    cdsItemDW->ReadOnly = true;
    cdsItemDW->LookupFields = {"CDAREANEGDW", "NMITEMDW"};

    cdsDimensaoDW = dataSet("cdsDimensaoDW");
    cdsDimensaoDW->AddStringField("NRSEQUEDIME", 5);
    cdsDimensaoDW->AddStringField("CDTABELADW", 20);
    cdsDimensaoDW->AddStringField("CDITEMDIME", 30);
    cdsDimensaoDW->LookupFields = {"CDTABELADW"};

    cdsDimensaoDime = dataSet("cdsDimensaoDime");
    cdsDimensaoDime->AddStringField("NRSEQUEDIME", 5);
    cdsDimensaoDime->AddStringField("NMITEMDIME", 30);
    cdsDimensaoDime->AddStringField("CDTABELADIME", 30);
    cdsDimensaoDime->AddStringField("DSPKDIME", 30);
    cdsDimensaoDime->AddStringField("DSITEMDIME", 30);
    cdsDimensaoDime->AddStringField("DSPKDIME2", 30);
    cdsDimensaoDime->AddStringField("ID", 1, true);
    cdsDimensaoDime->LookupFields = {"NRSEQUEDIME"};
    cdsDimensaoDime->AddIndexDef("cdsDimensaoDimeIndex1", "NMITEMDIME");
    cdsDimensaoDime->SetIndexName("cdsDimensaoDimeIndex1");

    // Open and empty until the first load, so that every reader finds its fields.
    for (TClientDataSet* ds : {cdsAreanegDW, cdsItemDW, cdsDimensaoDW, cdsDimensaoDime}) {
        ds->SetFiltered(true);
        ds->CreateDataSet();
    }
}
