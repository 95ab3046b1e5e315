// The cube viewer over a fact table of 1,000,000 rows (two row dimensions with tables of their own,
// one column dimension without, a member filter of 200 keys), beside the sqlite3 shell running the
// same statement with the same parameters on the same file, alternately, in one run. Prints the
// medians, minima and maxima of both and their ratio; it asserts nothing.
//   viewer_bench [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cube/viewer.hpp"
#include "fwk/host_bridge.hpp"
#include "services/cube.hpp"
#include "services/query.hpp"
#include "services/session.hpp"
#include "support/processes.hpp"
#include "toolkit/application.hpp"

namespace {

const char* kWarehouse = R"(
CREATE TABLE AREANEGDW (NMAREANEGDW, CDAREANEGDW);
CREATE TABLE ITEMDW (CDTABELADW, CDITEMDW, NMITEMDW, CDAREANEGDW, DSHINTITEM, IDTPFATODW, CDTABDRILL);
CREATE TABLE DIMENSAODW (NRSEQUEDIME, CDTABELADW, CDITEMDIME);
CREATE TABLE DIMENSAODIME (NRSEQUEDIME, NMITEMDIME, CDTABELADIME, DSPKDIME, DSITEMDIME, DSPKDIME2);
INSERT INTO AREANEGDW VALUES ('Vendas', '01');
INSERT INTO ITEMDW VALUES ('FBIG', 'VL', 'Valor', '01', '', 'V', '');
INSERT INTO DIMENSAODIME VALUES ('1', 'Artigo', 'DA', 'CDA', 'NMA', ''), ('2', 'Bairro', 'DB', 'CDB', 'NMB', ''),
  ('3', 'Mês', '', '', '', '');
INSERT INTO DIMENSAODW VALUES ('1', 'FBIG', 'CDA'), ('2', 'FBIG', 'CDB'), ('3', 'FBIG', 'CDC');
CREATE TABLE DA (CDA, NMA);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)
INSERT INTO DA SELECT printf('A%04d', i), printf('Artigo %04d', 999 - i) FROM n;
CREATE TABLE DB (CDB, NMB);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 49)
INSERT INTO DB SELECT printf('B%02d', i), printf('Bairro %02d', i) FROM n;
CREATE TABLE FBIG (CDA, CDB, CDC, VL);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999999)
INSERT INTO FBIG SELECT printf('A%04d', i % 1000), printf('B%02d', (i / 7) % 50), printf('2026-%02d', (i / 13) % 12 + 1),
  (i % 97) * 1.5 FROM n;
)";

class LastQuery : public FwkObserver {
public:
    void QueryOpened(const std::string& sql, const SqlParams& params) override {
        this->sql = sql;
        this->params = params;
    }
    std::string sql;
    SqlParams params;
};

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Figures {
    double median, min, max;
};

Figures figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::fprintf(stderr, "viewer_bench: building the warehouse (1,000,000 fact rows)...\n");
    TempDatabase db(kWarehouse);
    ServerProcess server(db.Path());

    TApplication app;
    TScreen screen;
    Application = &app;
    Screen = &screen;
    int errors = 0;
    app.OnMessageDlg = [&](const std::string& text, TMsgDlgType, const std::vector<TMsgDlgBtn>&) {
        std::fprintf(stderr, "viewer_bench: %s\n", text.c_str());
        ++errors;
        return mrOk;
    };
    TdtmDBGeral* data = app.Owned<TdtmDBGeral>();
    dtmDBGeral = data;
    data->OpenDatabase(db.Path());
    SetSession("ADMIN", "127.0.0.1", server.Port());
    LastQuery last;
    SetFwkObserver(&last);

    Fatos.Clear();
    Fatos.Add("Valor");
    Linhas.Clear();
    Linhas.Add("Artigo");
    Linhas.Add("Bairro");
    Colunas.Clear();
    Colunas.Add("Mês");
    Paginas.Clear();
    std::string selection;
    for (int i = 0; i < 1000; i += 5) {
        char key[16];
        std::snprintf(key, sizeof key, "A%04d", i);
        selection += (selection.empty() ? "" : ",") + quoted(key);
    }
    stlDSfiltro.Clear();
    stlCDfiltro.Clear();
    stlDSfiltro.Add("Artigo");
    stlCDfiltro.Add(selection);

    std::vector<double> viewer, shell;
    size_t lines = 0;
    for (int run = 0; run < runs; ++run) {
        viewer.push_back(seconds([&] { criafrmCubo(false, nullptr, ""); }));
        lines = dynamic_cast<TfrmCubo*>(frmCubo)->Grid.lines.size();
        std::string script = ".output /dev/null\n";
        for (auto& [name, value] : last.params) script += ".parameter set :" + name + " " + quoted(value) + "\n";
        script += last.sql + ";\n";
        shell.push_back(seconds([&] {
            CommandResult r = RunCommand({"/usr/bin/sqlite3", db.Path()}, script);
            if (r.status != 0) std::fprintf(stderr, "viewer_bench: sqlite3: %s\n", r.err.c_str());
        }));
    }
    SetFwkObserver(nullptr);
    Figures v = figures(viewer), s = figures(shell);
    std::printf("cube view, 1,000,000 fact rows, %zu grid lines, %d runs\n", lines, runs);
    std::printf("  %-34s median %7.3f s  min %7.3f  max %7.3f\n", "viewer (catalogue + statement + grid)", v.median, v.min, v.max);
    std::printf("  %-34s median %7.3f s  min %7.3f  max %7.3f\n", "sqlite3 shell, same statement", s.median, s.min, s.max);
    std::printf("  ratio viewer / shell (medians): %.2f\n", v.median / s.median);
    for (TForm* f : app.Forms()) f->Release();
    app.ProcessReleases();
    dtmDBGeral = nullptr;
    return errors == 0 ? 0 : 1;
}
