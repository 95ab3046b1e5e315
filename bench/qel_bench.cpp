// The benchmarks in one run: it generates the data, measures each figure several times beside its
// floor (curl, the sqlite3 shell) in the same run, and prints one table with medians, minima and
// maxima, the ratios and the machine. It asserts nothing.
//   qel_bench [--scale S] [--runs N]
// Data: the demo warehouse; a large synthetic catalogue (200 areas, 20,000 facts, 5,000 dimensions and
// 200,000 links at scale 1); a dimension table of 1,000,000 rows with 100,000 distinct members; a
// fact table of 1,000,000 rows for the cube viewer.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <httplib.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_data.hpp"
#include "data/aggregates.hpp"
#include "cube/viewer.hpp"
#include "fwk/host_bridge.hpp"
#include "module/package_info.hpp"
#include "screen/unit_globals.hpp"
#include "screen/filter/member_statement.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/cube.hpp"
#include "services/query.hpp"
#include "services/session.hpp"
#include "support/clickhouse.hpp"
#include "support/postgres.hpp"
#include "support/processes.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Stat {
    double median = 0, min = 0, max = 0;
};

Stat stat(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

// One line of the table.
void row(const std::string& what, const Stat& s, const char* unit, double scale, const std::string& note = "") {
    std::printf("| %-58s | %10.2f | %10.2f | %10.2f | %-4s | %s\n", what.c_str(), s.median * scale, s.min * scale, s.max * scale, unit,
                note.c_str());
}
void ms(const std::string& what, const std::vector<double>& seconds, const std::string& note = "") {
    row(what, stat(seconds), "ms", 1000.0, note);
}
// The median of the ratios of figures measured side by side in each run.
std::string ratio(const char* name, const std::vector<double>& a, const std::vector<double>& b, double target = 0) {
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) r.push_back(a[i] / b[i]);
    char buf[160];
    if (target > 0) std::snprintf(buf, sizeof buf, "%s %.3g (target ≤ %g)", name, stat(r).median, target);
    else std::snprintf(buf, sizeof buf, "%s %.2f", name, stat(r).median);
    return buf;
}
void section(const char* title) {
    std::printf("\n%s\n| %-58s | %10s | %10s | %10s | %-4s | %s\n|%s|%s|%s|%s|%s|%s\n", title, "figure", "median", "min", "max",
                "unit", "beside it", std::string(60, '-').c_str(), std::string(12, '-').c_str(), std::string(12, '-').c_str(),
                std::string(12, '-').c_str(), std::string(6, '-').c_str(), std::string(20, '-').c_str());
}

// A child process run to completion, with its wall time and CPU time (user + system).
struct Timed {
    double wall = 0, cpu = 0;
    int status = -1;
};
Timed runTimed(const std::vector<std::string>& argv, const std::string& input = "") {
    std::fflush(nullptr);
    Timed t;
    std::string in = std::string("/tmp/qel_bench_in_") + std::to_string(getpid());
    std::ofstream(in) << input;
    // Spawned, not forked: a fork would mark every page of this process copy-on-write, and the
    // refreshes measured next would pay a fault on each page they write.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &files, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage ru{};
    if (pid > 0) wait4(pid, &status, 0, &ru);
    t.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    t.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    t.status = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::remove(in.c_str());
    return t;
}

// CPU seconds a process has used so far, and its resident and peak memory in MiB.
double cpuOf(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), {});
    std::istringstream in(s.substr(s.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
double memoryOf(pid_t pid, const char* key) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key) + 1)) / 1024.0;
    return 0;
}

// The first two full refreshes of a screen just opened, timed.
std::vector<double> warmUp(TfrmOpcodesDW* form) {
    std::vector<double> first;
    for (int i = 0; i < 2; ++i) {
        ForgetKeptAnswers();
        first.push_back(secondsOf([&] { form->sbtVerificarClick(form); }));
    }
    return first;
}

const std::string kCatalogueCall = R"({"args":[null,null,null,null,"ADMIN"]})";

struct Answer {
    int status = 0;
    size_t bytes = 0;
    std::string cache;
};
Answer catalogueCall(int port, bool gzip) {
    httplib::Client c("127.0.0.1", port);
    c.set_decompress(false);
    c.set_read_timeout(60, 0);
    httplib::Headers h;
    if (gzip) h.emplace("Accept-Encoding", "gzip");
    auto res = c.Post("/QEL00100.rdmOpcoesDW/GetItemData", h, kCatalogueCall, "application/json");
    if (!res) return {};
    return {res->status, res->body.size(), res->get_header_value("X-Qel-Cache")};
}

std::vector<std::string> curlArgs(int port, bool compressed) {
    std::vector<std::string> a{"curl", "-s", "-o", "/dev/null", "-X", "POST", "-H", "Content-Type: application/json", "-d", kCatalogueCall};
    if (compressed) a.push_back("--compressed");
    a.push_back("http://127.0.0.1:" + std::to_string(port) + "/QEL00100.rdmOpcoesDW/GetItemData");
    return a;
}

const char* kFourSelects =
    "SELECT NRSEQUEDIME, NMITEMDIME, CDTABELADIME, DSPKDIME, DSITEMDIME, DSPKDIME2, ' ' AS ID FROM DIMENSAODIME ORDER BY rowid;\n"
    "SELECT NMAREANEGDW, CDAREANEGDW FROM AREANEGDW ORDER BY rowid;\n"
    "SELECT CDTABELADW, CDITEMDW, NMITEMDW, CDAREANEGDW, DSHINTITEM, IDTPFATODW, CDTABDRILL FROM ITEMDW ORDER BY rowid;\n"
    "SELECT NRSEQUEDIME, CDTABELADW, CDITEMDIME FROM DIMENSAODW ORDER BY rowid;\n";

// The catalogue changes by one name, so the server's kept answer is out of date.
void touchCatalogue(const std::string& db, int n) {
    OpenSqlite(db)->Execute("UPDATE AREANEGDW SET NMAREANEGDW = 'Área tocada " + std::to_string(n) + "' WHERE rowid = 1");
}

// 32 clients each making 20 catalogue calls, a new connection each, reading the whole (gzip) answer.
void concurrency(const std::string& name, int port, pid_t server) {
    constexpr int kClients = 32, kCalls = 20;
    std::vector<std::vector<double>> latency(kClients);
    std::atomic<int> errors{0}, resets{0};
    auto t0 = Clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            for (int i = 0; i < kCalls; ++i) {
                auto s = Clock::now();
                httplib::Client client("127.0.0.1", port);
                client.set_decompress(false);
                client.set_read_timeout(60, 0);
                auto res = client.Post("/QEL00100.rdmOpcoesDW/GetItemData", {{"Accept-Encoding", "gzip"}}, kCatalogueCall, "application/json");
                latency[static_cast<size_t>(c)].push_back(std::chrono::duration<double>(Clock::now() - s).count());
                if (!res) {
                    ++resets;
                    ++errors;
                } else if (res->status != 200) {
                    ++errors;
                }
            }
        });
    for (auto& t : clients) t.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    std::vector<double> all;
    for (auto& l : latency) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("| %-58s | %10.1f calls/s | p50 %.1f ms | p99 %.1f ms | errors %d | resets %d | server idle %.0f MiB, peak %.0f MiB\n",
                (name + ", 32 clients × 20 calls").c_str(), kClients * kCalls / elapsed, all[all.size() / 2] * 1000,
                all[all.size() * 99 / 100] * 1000, errors.load(), resets.load(), memoryOf(server, "VmRSS:"), memoryOf(server, "VmHWM:"));
}

}  // namespace

// The pivot grid rebuilt from 2,400,000 cells held in memory (1,000 × 50 row members, 12 columns, 4
// pages, one measure): coding the keys once, then a page change, a pivot and a sort, each from the
// integer codes.
void gridSection(int runs) {
    const size_t sizes[] = {1000, 50, 12, 4};
    const char* prefixes[] = {"C", "P", "M", "F"};
    PivotInput in;
    in.rowDims = 2;
    in.colDims = 1;
    in.pageDims = 1;
    in.measures = 1;
    in.labels.resize(4);
    for (size_t d = 0; d < 4; ++d)
        for (size_t k = 0; k < sizes[d]; ++k) in.labels[d][prefixes[d] + std::to_string(k)] = std::string("Membro ") + prefixes[d] + std::to_string(k);
    in.cells.reserve(sizes[0] * sizes[1] * sizes[2] * sizes[3]);
    for (size_t a = 0; a < sizes[0]; ++a)
        for (size_t b = 0; b < sizes[1]; ++b)
            for (size_t c = 0; c < sizes[2]; ++c)
                for (size_t p = 0; p < sizes[3]; ++p)
                    in.cells.push_back({{"C" + std::to_string(a), "P" + std::to_string(b), "M" + std::to_string(c), "F" + std::to_string(p)},
                                        {static_cast<double>((a * 7 + b * 3 + c + p) % 1000)}});
    in.pageChoice = {std::nullopt};
    std::vector<double> encode, first, page, all, pivot, sort;
    size_t lines = 0;
    for (int r = 0; r < runs; ++r) {
        in.coded.reset();
        first.push_back(secondsOf([&] { lines = BuildPivot(in).Lines(); }));  // codes the keys itself
        encode.push_back(secondsOf([&] { in.coded = MakeCells(in.cells, 4, 1); }));
        in.pageChoice = {std::string("F1")};
        page.push_back(secondsOf([&] { BuildPivot(in); }));
        in.pageChoice = {std::nullopt};
        all.push_back(secondsOf([&] { BuildPivot(in); }));
        // The column dimension to the end of the rows: the dimensions' order stays C, P, M, F.
        pivot.push_back(secondsOf([&] {
            in.rowDims = 3;
            in.colDims = 0;
            BuildPivot(in);
        }));
        in.rowDims = 2;
        in.colDims = 1;
        in.view.sortMeasure = 0;
        sort.push_back(secondsOf([&] { BuildPivot(in); }));
        in.view.sortMeasure.reset();
    }
    section("Pivot grid from 2,400,000 cells in memory (1,000 × 50 rows, 12 columns, 4 pages)");
    ms("first grid, keys coded on the way, " + std::to_string(lines) + " lines", first);
    ms("coding the keys once, values into columns (MakeCells)", encode);
    ms("page change to one of 4 pages (600,000 cells)", page, ratio("÷ first grid", page, first));
    ms("page back to every member (2,400,000 cells)", all, ratio("÷ first grid", all, first));
    ms("pivot: the column dimension to the rows", pivot, ratio("÷ first grid", pivot, first));
    ms("sort by the total", sort, ratio("÷ first grid", sort, first));
}

// qelhost's memory with a view of 2,400,000 cells computed on the client's database, then closed.
void viewMemory() {
    std::fprintf(stderr, "qel_bench: a view of 2,400,000 cells in qelhost...\n");
    TempDatabase cells(GridFactSql());
    ServerProcess cellServer(cells.Path());
    HostSession host(cellServer.Address(), cells.Path());
    host.Send("open");
    host.Wait();
    const double before = memoryOf(host.Pid(), "VmRSS:");
    host.Send("press trvFatos Vendas\ndblclick trvFatos Vendas Valor\ndblclick trvDimensoes Artigo\ndblclick trvDimensoes Bairro\n"
              "drag trvDimensoes Mês --to trvCols\ndrag trvDimensoes Filial --to trvPages\nkey Ctrl+F2");
    host.Wait();
    const double built = memoryOf(host.Pid(), "VmRSS:"), peak = memoryOf(host.Pid(), "VmHWM:");
    host.Send("closeviewer");
    host.Wait();
    const double closed = memoryOf(host.Pid(), "VmRSS:");
    std::printf("| %-58s | RSS before %.0f, with the view %.0f (%.0f bytes a cell), peak %.0f, after closeviewer %.0f (target: "
                "within 50 of before)\n",
                "qelhost, a view of 2,400,000 cells", before, built, (built - before) * 1048576.0 / 2400000.0, peak, closed);
}

int main(int argc, char** argv) {
    int scale = 1, runs = 5;
    long factRows = 1000000;  // --rows: the view's fact table (1,000,000 or 10,000,000)
    // "grid": only the pivot grid's section; "view-memory": only qelhost's memory with a large view;
    // "refresh": only the catalogue refresh, at scales 1 and 4
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--scale") scale = std::max(1, std::atoi(argv[i + 1]));
        if (a == "--runs") runs = std::max(3, std::atoi(argv[i + 1]));
        if (a == "--rows") factRows = std::max(1000L, std::atol(argv[i + 1]));
        if (a == "--only") only = argv[i + 1];
    }
    utsname u{};
    uname(&u);
    std::printf("qel_bench: %s; %ld cores; %.1f GiB; %s %s; scale %d; %d runs per figure\n", CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 30), u.sysname,
                u.release, scale, runs);
    std::fflush(stdout);
    KeepMemoryForReloads();  // as the host does: the grid's figures are the host's
    if (only == "grid") {
        gridSection(runs);
        return 0;
    }
    if (only == "view-memory") {
        viewMemory();
        return 0;
    }

    std::fprintf(stderr, "qel_bench: generating the data...\n");
    TempDatabase demo(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_DEMO_DIR "/access_rules_schema.sql") +
                      ReadFile(QEL_DEMO_DIR "/warehouse.sql"));
    TempDatabase large(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + LargeCatalogueSql(scale));
    TempDatabase& members = large;
    large.Execute(MemberTableSql());
    TempDatabase facts(FactTableSql(factRows));

    TApplication app;
    TScreen screen;
    Application = &app;
    Screen = &screen;
    app.OnMessageDlg = [](const std::string& text, TMsgDlgType, const std::vector<TMsgDlgBtn>&) {
        std::fprintf(stderr, "qel_bench: message: %s\n", text.c_str());
        return mrOk;
    };
    TdtmDBGeral* data = app.Owned<TdtmDBGeral>();
    dtmDBGeral = data;

    // 1. The catalogue: refresh end to end beside curl and the sqlite3 shell ---------------------
    ServerProcess largeServer(large.Path());
    SetSession("ADMIN", "127.0.0.1", largeServer.Port());
    Initialize();
    IniProc();  // opens the screen: the first load
    TfrmOpcodesDW* form = frmOpcodesDW;
    std::vector<double> full, unchanged, curlZip, curlPlain, selectsWall, selectsCpu, hostOpen;
    // The first full refreshes after opening grow the heap to its working size (page faults, dear on
    // this machine); they are shown apart, and the figures beside curl are the refreshes after them.
    const std::vector<double> firstFull = warmUp(form);
    for (int r = 0; r < runs; ++r) {
        ForgetKeptAnswers();
        full.push_back(secondsOf([&] { form->sbtVerificarClick(form); }));
        unchanged.push_back(secondsOf([&] { form->sbtVerificarClick(form); }));
        curlZip.push_back(runTimed(curlArgs(largeServer.Port(), true)).wall);
        curlPlain.push_back(runTimed(curlArgs(largeServer.Port(), false)).wall);
        Timed sel = runTimed({"sqlite3", large.Path()}, std::string(".output /dev/null\n") + kFourSelects);
        selectsWall.push_back(sel.wall);
        selectsCpu.push_back(sel.cpu);
        hostOpen.push_back(runTimed({QEL_BIN_DIR "/qelhost", "--server", largeServer.Address(), "--script", "-"}, "open\n").wall);
    }
    section("1. Catalogue refresh, large catalogue, against qelserver on loopback");
    ms("refresh (F5), full answer: call, gzip, decode, load, tree", full,
       ratio("÷ curl --compressed", full, curlZip, 1.5));
    ms("refresh (F5), unchanged catalogue (304)", unchanged, ratio("÷ curl --compressed", unchanged, curlZip));
    ms("refresh (F5), full answer, the first two after opening", firstFull);
    ms("qelhost process: start, open the screen (load), close", hostOpen);
    ms("curl --compressed, same request, to /dev/null", curlZip);
    ms("curl, same request without gzip, to /dev/null", curlPlain);
    ms("sqlite3 shell, the four SELECTs, to /dev/null", selectsWall);

    // The same refresh on a catalogue four times as large, in a screen opened on its server (a
    // screen keeps the server it connected to): the cost beside curl should not grow with it.
    if (scale == 1) {
        std::fprintf(stderr, "qel_bench: a catalogue at scale 4...\n");
        form->Close();
        app.ProcessReleases();
        Finalize();
        TempDatabase larger(ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + LargeCatalogueSql(4));
        ServerProcess largerServer(larger.Path());
        SetSession("ADMIN", "127.0.0.1", largerServer.Port());
        Initialize();
        IniProc();
        TfrmOpcodesDW* big = frmOpcodesDW;
        std::vector<double> full4, unchanged4, curl4;
        const std::vector<double> firstFull4 = warmUp(big);
        for (int r = 0; r < runs; ++r) {
            ForgetKeptAnswers();
            full4.push_back(secondsOf([&] { big->sbtVerificarClick(big); }));
            unchanged4.push_back(secondsOf([&] { big->sbtVerificarClick(big); }));
            curl4.push_back(runTimed(curlArgs(largerServer.Port(), true)).wall);
        }
        const std::string areas = std::to_string(big->trvFatos->Items().Count()) + " nodes in the facts tree";
        ms("scale 4: refresh (F5), full answer", full4, ratio("÷ curl --compressed", full4, curl4, 1.5) + "; " + areas);
        ms("scale 4: refresh (F5), unchanged catalogue (304)", unchanged4, ratio("÷ curl --compressed", unchanged4, curl4));
        ms("scale 4: refresh (F5), full answer, the first two after opening", firstFull4);
        ms("scale 4: curl --compressed, same request", curl4);
        big->Close();
        app.ProcessReleases();
        Finalize();
        SetSession("ADMIN", "127.0.0.1", largeServer.Port());
        Initialize();
        IniProc();  // the scale-1 catalogue again, for the gestures below
        form = frmOpcodesDW;
    }
    if (only == "refresh") return 0;

    // 3. Gestures on the large catalogue ---------------------------------------------------------
    std::vector<double> firstPress, press, transfer, recompute;
    TTreeNodes& tree = form->trvFatos->Items();
    for (int r = 0; r < runs; ++r) {
        form->trvFacts->Items().Clear();
        form->sbtVerificarClick(form);  // a load, so the next press is the first after it
        firstPress.push_back(secondsOf([&] { form->trvFatos->Select(tree.Top(r % tree.TopCount())); }));
        press.push_back(secondsOf([&] { form->trvFatos->Select(tree.Top((r + 7) % tree.TopCount())); }));
        TTreeNode* area = tree.Top((r + 7) % tree.TopCount());
        form->trvFatos->Select(area->Item(0));
        transfer.push_back(secondsOf([&] { form->TransferItemsNoDups(form->trvFacts, form->trvFatos); }));
        for (int i = 1; i < 31; ++i) form->trvFacts->Items().Add(nullptr, "Fato Analítico " + std::to_string(100000 + i * 613 % 20000).substr(1));
        recompute.push_back(secondsOf([&] { form->filtraDimensoes(); }));
    }

    // 2. Cached and uncached GetItemData: server CPU per call, answer bytes ---------------------
    std::vector<double> uncachedCpu, cachedCpu, cachedZipCpu;
    size_t plainBytes = 0, zipBytes = 0;
    for (int r = 0; r < runs; ++r) {
        // The server's CPU clock ticks in hundredths of a second: a few calls make one figure.
        constexpr int kUncached = 5;
        double used = 0;
        for (int i = 0; i < kUncached; ++i) {
            touchCatalogue(large.Path(), r * kUncached + i);
            double c0 = cpuOf(largeServer.Pid());
            Answer miss = catalogueCall(largeServer.Port(), false);
            used += cpuOf(largeServer.Pid()) - c0;
            if (miss.cache != "miss") std::fprintf(stderr, "qel_bench: expected a cache miss\n");
            plainBytes = miss.bytes;
        }
        uncachedCpu.push_back(used / kUncached);
        zipBytes = catalogueCall(largeServer.Port(), true).bytes;  // makes the gzip form once
        constexpr int kCalls = 20;
        double c0 = cpuOf(largeServer.Pid());
        for (int i = 0; i < kCalls; ++i) catalogueCall(largeServer.Port(), false);
        cachedCpu.push_back((cpuOf(largeServer.Pid()) - c0) / kCalls);
        c0 = cpuOf(largeServer.Pid());
        for (int i = 0; i < kCalls; ++i) catalogueCall(largeServer.Port(), true);
        cachedZipCpu.push_back((cpuOf(largeServer.Pid()) - c0) / kCalls);
    }
    section("2. GetItemData on the server, large catalogue (server CPU per call)");
    ms("uncached: four SELECTs streamed into the answer, sent", uncachedCpu,
       ratio("÷ sqlite3 CPU", uncachedCpu, selectsCpu, 1.5));
    ms("sqlite3 shell CPU, the four SELECTs to /dev/null", selectsCpu);
    ms("cached answer, plain, sent", cachedCpu, "target ≤ 5 ms");
    ms("cached answer, gzip, sent", cachedZipCpu, "target ≤ 5 ms");
    std::printf("| %-58s | %10.2f MB plain | %.2f MB gzip (%.1f×)\n", "answer size", plainBytes / 1e6, zipBytes / 1e6,
                static_cast<double>(plainBytes) / static_cast<double>(zipBytes));

    section("3. Gestures on the large catalogue (target < 50 ms, aim 5 ms)");
    ms("first area press after a load (100 facts)", firstPress);
    ms("area press (100 facts)", press);
    ms("fact transfer into the view, with the recomputation", transfer);
    ms("filtraDimensoes with 31 facts in the view", recompute);
    form->Close();  // the screen closes as a person closes it; the next IniProc opens a new one
    app.ProcessReleases();

    // 4. Member list of a dimension of 1,000,000 rows ---------------------------------------------
    SetSession("ADMIN", "127.0.0.1", largeServer.Port());
    IniProc();
    form = frmOpcodesDW;
    const std::string statement = "Select DISTINCT ' ' as IDMARCADO, CDMEMBRO, NMMEMBRO from DBIG Order by NMMEMBRO";
    std::vector<double> local, remote, shell;
    size_t rows = 0;
    for (int r = 0; r < runs; ++r) {
        data->OpenDatabase(members.Path());
        local.push_back(secondsOf([&] { rows = form->buscaMembros(statement).rows.size(); }));
        data->OpenDatabase("");  // no client database: the server reads the members
        remote.push_back(secondsOf([&] { form->buscaMembros(statement); }));
        shell.push_back(runTimed({"sqlite3", members.Path()}, ".output /dev/null\n" + statement + ";\n").wall);
    }
    section("4. Member list, dimension table of 1,000,000 rows, 100,000 members");
    ms("local (client database): query and packet", local, ratio("÷ sqlite3", local, shell, 1.5));
    ms("through the application server (getInfo)", remote, ratio("÷ sqlite3", remote, shell));
    ms("sqlite3 shell, same statement, to /dev/null", shell, std::to_string(rows) + " rows");
    // A dimension without a table of its own (Mês) read from the fact table, with one fact of FBIG in
    // the view and with two: each fact table is read once, however many of its facts the view holds.
    const std::string oneFact = FactTablesStatement({{"FBIG", "A", "CDC"}});
    const std::string twoFacts = FactTablesStatement({{"FBIG", "A", "CDC"}, {"FBIG", "B", "CDC"}});
    std::vector<double> one, two;
    data->OpenDatabase(facts.Path());
    for (int r = 0; r < runs; ++r) {
        one.push_back(secondsOf([&] { form->buscaMembros(oneFact); }));
        two.push_back(secondsOf([&] { form->buscaMembros(twoFacts); }));
    }
    data->OpenDatabase("");
    ms("members of Mês from " + Thousands(factRows) + " fact rows, one fact of FBIG", one);
    ms("members of Mês, two facts of FBIG in the view", two, ratio("÷ one fact", two, one, 1.3));
    form->Close();
    app.ProcessReleases();
    Finalize();

    // The cube viewer over 1,000,000 fact rows ---------------------------------------------------
    ServerProcess factServer(facts.Path());
    SetSession("ADMIN", "127.0.0.1", factServer.Port());
    data->OpenDatabase(facts.Path());
    ViewOverFacts();
    std::vector<double> viewer, viewerShell, restricted;
    for (int r = 0; r < runs; ++r) {
        SetSession("ADMIN", "127.0.0.1", factServer.Port());
        viewer.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
        viewerShell.push_back(runTimed({"sqlite3", facts.Path()}, LastViewStatementForShell()).wall);
        SetSession("RESTRITO", "127.0.0.1", factServer.Port());  // the same rows, through the access rules
        restricted.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
    }
    SetSession("ADMIN", "127.0.0.1", factServer.Port());
    // Reading the computed view another way, from the cells the viewer holds.
    criafrmCubo(false, nullptr, "");
    std::vector<double> moves, sorts;
    size_t lines = 0;
    if (auto* cube = dynamic_cast<TfrmCubo*>(frmCubo)) {
        for (int r = 0; r < runs; ++r) {
            // Mês from the columns to the rows: three row levels, tens of thousands of lines.
            double there = secondsOf([&] { cube->MoveDimension("Mês", TfrmCubo::Axis::Rows, std::nullopt); });
            lines = cube->Grid.Lines();
            sorts.push_back(secondsOf([&] { cube->SetSort("Valor", true); }));
            cube->SetSort(std::nullopt, true);
            double back = secondsOf([&] { cube->MoveDimension("Mês", TfrmCubo::Axis::Columns, std::nullopt); });
            moves.push_back((there + back) / 2);
        }
    }
    // The floor: the same sums from columns already in memory, one pass.
    std::vector<double> floor;
    {
        const FactColumns columns = LoadFactColumns(facts.Path());
        size_t filled = 0;
        for (int r = 0; r < runs; ++r) floor.push_back(secondsOf([&] { filled = FloorPass(columns); }));
        if (filled == 0) std::fprintf(stderr, "qel_bench: the floor pass filled no cell\n");
    }
    // The fact table's summaries, then the same view again: it reads the covering one.
    std::vector<AggregateTable> built;
    const double building = secondsOf([&] { built = BuildAggregates(*OpenSqlConnection(facts.Path()), false, std::nullopt); });
    std::vector<double> summarized, summarizedShell;
    for (int r = 0; r < runs; ++r) {
        summarized.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
        summarizedShell.push_back(runTimed({"sqlite3", facts.Path()}, LastViewStatementForShell()).wall);
    }
    const std::string summary = LastViewStatement().find("QEL_AGR_") != std::string::npos ? "read a summary" : "no summary covers it";
    for (TForm* f : app.Forms()) f->Release();
    app.ProcessReleases();
    const std::string title = "Cube viewer, fact table of " + Thousands(factRows) + " rows, 2 row and 1 column dimensions, a member filter";
    section(title.c_str());
    ms("viewer: catalogue, aggregate statement, grid", viewer, ratio("÷ sqlite3", viewer, viewerShell, 1.3));
    ms("sqlite3 shell, same statement and parameters", viewerShell);
    ms("floor: columns in memory as integer codes, one pass", floor, ratio("viewer ÷", viewer, floor));
    std::printf("| %-58s | %10.0f | %10s | %10s | ms   | %zu tables, largest %s rows\n", "summary tables built (--build-aggregates)",
                building * 1000, "", "", built.size(), built.empty() ? "0" : Thousands(std::max_element(built.begin(), built.end(), [](auto& a, auto& b) { return a.rows < b.rows; })->rows).c_str());
    ms("viewer with the summaries: " + summary, summarized, ratio("÷ without", summarized, viewer) + "; target < 1000 ms at 10M");
    ms("sqlite3 shell, the statement the viewer ran on the summary", summarizedShell, ratio("viewer ÷", summarized, summarizedShell));
    ms("viewer, an operator whose access rules allow the same rows", restricted, ratio("÷ ADMIN", restricted, viewer, 1.3));
    ms("pivot move (Mês to the rows and back), " + std::to_string(lines) + " lines", moves, ratio("÷ viewer", moves, viewer, 0.05));
    ms("sort by the total of Valor, " + std::to_string(lines) + " lines", sorts, ratio("÷ viewer", sorts, viewer, 0.05));
    gridSection(runs);

    // On PostgreSQL: the member list and the cube view beside psql ------------------------------
    {
        std::fprintf(stderr, "qel_bench: starting PostgreSQL and loading the member and fact tables...\n");
        PostgresServer pg;
        std::string memberUri = pg.CreateDatabase(MemberTableSqlPostgres());
        std::string factUri = pg.CreateDatabase(FactTableSqlPostgres(factRows));
        const std::string psql = PostgresProgram("psql");
        ServerProcess pgServer(factUri);
        SetSession("ADMIN", "127.0.0.1", pgServer.Port());
        Initialize();
        IniProc();
        form = frmOpcodesDW;
        std::vector<double> pgLocal, pgShell, pgViewer, pgViewerShell;
        for (int r = 0; r < runs; ++r) {
            data->OpenDatabase(memberUri);
            pgLocal.push_back(secondsOf([&] { form->buscaMembros(statement); }));
            pgShell.push_back(runTimed({psql, "-X", "-q", memberUri}, "\\o /dev/null\n" + statement + ";\n").wall);
        }
        form->Close();
        app.ProcessReleases();
        Finalize();
        data->OpenDatabase(factUri);
        ViewOverFacts();
        std::vector<double> pgRestricted;
        for (int r = 0; r < runs; ++r) {
            SetSession("ADMIN", "127.0.0.1", pgServer.Port());
            pgViewer.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
            pgViewerShell.push_back(runTimed({psql, "-X", "-q", factUri}, LastViewStatementForPsql()).wall);
            SetSession("RESTRITO", "127.0.0.1", pgServer.Port());
            pgRestricted.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
        }
        SetSession("ADMIN", "127.0.0.1", pgServer.Port());
        std::vector<AggregateTable> pgBuilt;
        const double pgBuilding = secondsOf([&] { pgBuilt = BuildAggregates(*OpenSqlConnection(factUri), true, std::nullopt); });
        std::vector<double> pgSummarized, pgSummarizedShell;
        for (int r = 0; r < runs; ++r) {
            pgSummarized.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
            pgSummarizedShell.push_back(runTimed({psql, "-X", "-q", factUri}, LastViewStatementForPsql()).wall);
        }
        const std::string pgSummary = LastViewStatement().find("QEL_AGR_") != std::string::npos ? "read a summary" : "no summary covers it";
        for (TForm* f : app.Forms()) f->Release();
        app.ProcessReleases();
        data->OpenDatabase("");
        section("On PostgreSQL (a local server on loopback)");
        ms("member list, 1,000,000-row dimension: query and packet", pgLocal, ratio("÷ psql", pgLocal, pgShell, 1.3));
        ms("psql, same statement, to /dev/null", pgShell);
        ms("cube view, " + Thousands(factRows) + " fact rows: catalogue, statement, grid", pgViewer, ratio("÷ psql", pgViewer, pgViewerShell, 1.3));
        ms("psql, same statement prepared with the same parameters", pgViewerShell);
        ms("cube view, an operator whose access rules allow the same rows", pgRestricted, ratio("÷ ADMIN", pgRestricted, pgViewer, 1.3));
        std::printf("| %-58s | %10.0f | %10s | %10s | ms   | %zu tables\n", "summary tables built (--build-aggregates)", pgBuilding * 1000,
                    "", "", pgBuilt.size());
        ms("cube view with the summaries: " + pgSummary, pgSummarized, ratio("÷ without", pgSummarized, pgViewer));
        ms("psql, the statement the viewer ran on the summary", pgSummarizedShell, ratio("viewer ÷", pgSummarized, pgSummarizedShell));
    }

    // 5. Memory of qelhost and qelserver -----------------------------------------------------------
    // On ClickHouse: the same fact table copied from SQLite, the cube view beside clickhouse-client,
    // on one node and spread over two shards (two servers on this machine).
    {
        struct Run {
            double loading = 0;
            std::vector<double> viewer, client, members, membersClient;
        };
        auto measure = [&](ClickHouseServer& node, const std::vector<std::string>& spread, const std::string& owner) {
            Run run;
            std::vector<std::string> argv{QEL_BIN_DIR "/qelserver", "--db", owner, "--copy-from", facts.Path()};
            argv.insert(argv.end(), spread.begin(), spread.end());
            CommandResult copied;
            run.loading = secondsOf([&] { copied = RunCommand(argv); });
            if (copied.status != 0) std::fprintf(stderr, "qel_bench: --copy-from failed: %s\n", copied.err.c_str());
            // The SQLite file's summaries came along: without them, the fact table answers.
            OpenClickHouse(owner)->Execute("DROP TABLE IF EXISTS QEL_AGREGADOS");
            const std::string reader = ClickHouseServer::ReaderUri(owner);
            ServerProcess chServer(reader);
            SetSession("ADMIN", "127.0.0.1", chServer.Port());
            data->OpenDatabase(reader);
            ViewOverFacts();
            const std::string database = owner.substr(owner.rfind('/') + 1);
            for (int r = 0; r < runs; ++r) {
                run.viewer.push_back(secondsOf([&] { criafrmCubo(false, nullptr, ""); }));
                run.client.push_back(runTimed({"clickhouse-client", "--port", std::to_string(node.TcpPort()), "--database", database,
                                               "--query", LastViewStatementForClickHouse(), "--format", "Null"})
                                         .wall);
            }
            for (TForm* f : app.Forms()) f->Release();
            app.ProcessReleases();
            // The members of Mês, which has no table of its own: read from the fact table.
            Initialize();
            IniProc();
            TfrmOpcodesDW* screen = frmOpcodesDW;
            const std::string months = FactTablesStatement({{"FBIG", "A", "CDC"}});
            for (int r = 0; r < runs; ++r) {
                run.members.push_back(secondsOf([&] { screen->buscaMembros(months); }));
                run.membersClient.push_back(runTimed({"clickhouse-client", "--port", std::to_string(node.TcpPort()), "--database", database,
                                                      "--query", months, "--format", "Null"})
                                                .wall);
            }
            screen->Close();
            app.ProcessReleases();
            Finalize();
            data->OpenDatabase("");
            return run;
        };
        std::fprintf(stderr, "qel_bench: starting ClickHouse and copying the fact table...\n");
        Run one, two;
        {
            ClickHouseServer ch;
            one = measure(ch, {}, ch.CreateDatabase());
        }
        {
            auto [first, second] = ClickHouseServer::TwoShards();
            const std::string owner = first->CreateDatabase(), other = second->CreateDatabase();
            two = measure(*first, {"--shards", "qel_shards", "--shard", other}, owner);
        }
        section("On ClickHouse (local servers on loopback, the fact table as MergeTree sorted by its dimensions)");
        ms("one node, load: every table copied from the SQLite file (--copy-from)", std::vector<double>{one.loading});
        ms("one node, cube view, " + Thousands(factRows) + " fact rows: catalogue, statement, grid", one.viewer,
           ratio("÷ clickhouse-client", one.viewer, one.client, 1.2));
        ms("one node, clickhouse-client, same statement, to Null", one.client);
        ms("one node, members of Mês from the fact table", one.members, ratio("÷ clickhouse-client", one.members, one.membersClient, 1.2));
        ms("one node, clickhouse-client, same member statement", one.membersClient);
        ms("two shards, load (fact tables through a Distributed table)", std::vector<double>{two.loading});
        ms("two shards, cube view", two.viewer, ratio("÷ clickhouse-client", two.viewer, two.client, 1.2));
        ms("two shards, clickhouse-client, same statement, to Null", two.client);
        ms("two shards, members of Mês from the fact table", two.members, ratio("÷ clickhouse-client", two.members, two.membersClient, 1.2));
        ms("two shards, clickhouse-client, same member statement", two.membersClient);
    }

    section("5. Memory (MiB)");
    {
        HostSession host(largeServer.Address());
        host.Send("open");
        host.Dump();
        std::vector<double> after;
        for (int i = 0; i < 5; ++i) {
            host.Send("key F5");
            host.Wait();
            after.push_back(memoryOf(host.Pid(), "VmRSS:"));
        }
        std::printf("| %-58s | RSS after each of five F5: %.0f %.0f %.0f %.0f %.0f; peak %.0f (target < 150)\n",
                    "qelhost, large catalogue", after[0], after[1], after[2], after[3], after[4], memoryOf(host.Pid(), "VmHWM:"));
    }
    std::printf("| %-58s | RSS %.0f, peak %.0f\n", "qelserver, large catalogue, after the runs above", memoryOf(largeServer.Pid(), "VmRSS:"),
                memoryOf(largeServer.Pid(), "VmHWM:"));
    viewMemory();

    // 6. Concurrency --------------------------------------------------------------------------------
    std::printf("\n6. Concurrent clients on loopback (gzip answers, a new connection per call; targets: 0 errors, ≥ 100 calls/s on the "
                "large catalogue, idle server < 100 MiB)\n");
    {
        ServerProcess demoServer(demo.Path());
        concurrency("demo warehouse", demoServer.Port(), demoServer.Pid());
    }
    concurrency("large catalogue", largeServer.Port(), largeServer.Pid());
    dtmDBGeral = nullptr;
    return 0;
}
