// Speed of the catalogue rules on a big synthetic catalogue (200 areas, 20,000 facts, 5,000
// dimensions, 200,000 links): loading and building the facts tree, listing the dimensions of an area
// of 100 facts (first time, when the data sets build their lookup indexes, and afterwards) and the
// availability recomputation with 31 facts in the view. Prints milliseconds and the share of a
// 50 ms budget each takes; it asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "module/package_info.hpp"
#include "module/unit_globals.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/session.hpp"

namespace {

constexpr int kAreas = 200, kFactsPerArea = 100, kDimensions = 5000, kLinksPerFact = 10;

DataPacket packet(std::vector<std::string> fields) {
    DataPacket p;
    for (auto& f : fields) p.fields.push_back({f, 30});
    return p;
}

std::string numbered(const char* format, int n) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, n);
    return buf;
}

double millis(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char* what, double ms) { std::printf("%-58s %9.2f ms  %6.1f%% of 50 ms\n", what, ms, ms / 50.0 * 100.0); }

}  // namespace

int main() {
    TApplication app;
    TScreen screen;
    Application = &app;
    Screen = &screen;
    app.OnMessageDlg = [](const std::string&, TMsgDlgType, const std::vector<TMsgDlgBtn>&) { return mrOk; };
    SetSession("ADMIN", "127.0.0.1", 1);  // no server: the catalogue is loaded below
    Initialize();
    IniProc();
    TfrmOpcodesDW* form = frmOpcodesDW;

    std::mt19937 rng(42);
    DataPacket areas = packet({"NMAREANEGDW", "CDAREANEGDW"});
    DataPacket items = packet({"CDTABELADW", "CDITEMDW", "NMITEMDW", "CDAREANEGDW", "DSHINTITEM", "IDTPFATODW", "CDTABDRILL"});
    DataPacket links = packet({"NRSEQUEDIME", "CDTABELADW", "CDITEMDIME"});
    DataPacket dims = packet({"NRSEQUEDIME", "NMITEMDIME", "CDTABELADIME", "DSPKDIME", "DSITEMDIME", "DSPKDIME2", "ID"});
    for (int a = 0; a < kAreas; ++a) areas.rows.push_back({numbered("Área %d", a), std::to_string(a)});
    for (int f = 0; f < kAreas * kFactsPerArea; ++f) {
        std::string table = numbered("T%d", f);
        items.rows.push_back({table, "C", numbered("Fato %d", f), std::to_string(f / kFactsPerArea), "", "V", ""});
        // Every table shares five dimensions with all the others; the rest are drawn at random.
        for (int k = 0; k < kLinksPerFact; ++k) {
            int d = k < 5 ? k : static_cast<int>(rng() % kDimensions);
            links.rows.push_back({std::to_string(d), table, numbered("CD%d", d)});
        }
    }
    for (int d = 0; d < kDimensions; ++d) dims.rows.push_back({std::to_string(d), numbered("Dimensão %04d", d), "", "", "", "", " "});

    std::printf("catalogue: %d areas, %zu facts, %d dimensions, %zu links\n", kAreas, items.rows.size(), kDimensions,
                links.rows.size());
    report("load the four data sets and build the facts tree", millis([&] {
               form->cdsAreanegDW->SetData(areas);
               form->cdsDimensaoDime->SetData(dims);
               form->cdsItemDW->SetData(items);
               form->cdsDimensaoDW->SetData(links);
               form->MontaArvore();
           }));
    report("filtraDimensoes, empty facts zone (first run)", millis([&] { form->filtraDimensoes(); }));

    TTreeNodes& tree = form->trvFatos->Items();
    auto area = [&](int a) { return tree.Top(a); };
    report("trvFatosChange, area of 100 facts, first time (indexes built)", millis([&] { form->trvFatos->Select(area(0)); }));
    std::vector<double> change;
    for (int a = 1; a <= 21; ++a) change.push_back(millis([&] { form->trvFatos->Select(area(a)); }));
    report("trvFatosChange, area of 100 facts (median of 21)", median(change));
    std::printf("  dimensions listed for the last area: %d\n", form->trvDimensoes->Items().Count());

    for (int i = 0; i < 31; ++i) form->trvFacts->Items().Add(nullptr, numbered("Fato %d", i * 613 % 20000));
    report("filtraDimensoes, 31 facts in the view (first run)", millis([&] { form->filtraDimensoes(); }));
    std::vector<double> recompute;
    for (int i = 0; i < 21; ++i) recompute.push_back(millis([&] { form->filtraDimensoes(); }));
    report("filtraDimensoes, 31 facts in the view (median of 21)", median(recompute));
    int usable = 0;
    for (int i = 0; i < form->trvDimensoes->Items().Count(); ++i) usable += form->trvDimensoes->Items()[i]->ImageIndex == 1;
    std::printf("  usable dimensions in the list: %d\n", usable);

    form->trvFacts->Items().Clear();
    std::vector<double> empty;
    for (int i = 0; i < 21; ++i) empty.push_back(millis([&] { form->filtraDimensoes(); }));
    report("filtraDimensoes, empty facts zone (median of 21)", median(empty));

    for (TForm* f : app.Forms()) f->Release();
    app.ProcessReleases();
    Finalize();
    return 0;
}
