// The runner's commands on the cube viewer: pages, reading settings (pivot, order, sort, drill,
// subtotals, percentages, chart), exports, and views saved, opened and edited. All act on the open
// viewer, and a command that names no viewer, dimension, fact or member of it is a script error.
#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <map>

#include "cube/saved_view.hpp"
#include "services/cube.hpp"
#include "shell.hpp"

namespace {

TCubeViewer* openViewer() {
    TCubeViewer* viewer = OpenCubeViewer();
    if (!viewer) throw ScriptError("o visualizador do cubo não está aberto");
    return viewer;
}

}  // namespace

void Shell::cmdViewerLevel(const std::string& cmd, Args& args) {
    // A row dimension of the open viewer, not a tree of the screen.
    need(cmd, args, 1);
    TCubeViewer* viewer = openViewer();
    std::optional<std::string> member;
    if (args.size() > 1) member = args[1];
    if (!viewer->SetCollapsed(args[0], member, cmd == "collapse"))
        throw ScriptError("dimensão de linha ou membro não encontrado no cubo: " + Shown(args[0]));
}

void Shell::cmdPivot(const std::string&, Args& args) {
    static const std::map<std::string, TCubeViewer::Axis> kAxis = {
        {"rows", TCubeViewer::Axis::Rows}, {"columns", TCubeViewer::Axis::Columns}, {"pages", TCubeViewer::Axis::Pages}};
    auto axis = kAxis.find(args[1]);
    if (axis == kAxis.end()) throw ScriptError("pivot espera DIMENSÃO rows|columns|pages [POSIÇÃO]");
    std::optional<size_t> position;
    if (args.size() > 2) {
        size_t n = 0;
        auto [end, ec] = std::from_chars(args[2].data(), args[2].data() + args[2].size(), n);
        if (ec != std::errc() || end != args[2].data() + args[2].size()) throw ScriptError("posição inválida: " + Shown(args[2]));
        position = n;
    }
    if (!openViewer()->MoveDimension(args[0], axis->second, position))
        throw ScriptError("dimensão não encontrada no cubo: " + Shown(args[0]));
}

void Shell::cmdOrder(const std::string&, Args& args) {
    if (args[1] != "key" && args[1] != "label") throw ScriptError("order espera key ou label");
    if (!openViewer()->SetOrder(args[0], args[1] == "label" ? MemberOrder::Label : MemberOrder::Key))
        throw ScriptError("dimensão não encontrada no cubo: " + Shown(args[0]));
}

void Shell::cmdSort(const std::string& cmd, Args& args) {
    TCubeViewer* viewer = openViewer();
    if (args[0] == "none") {
        viewer->SetSort(std::nullopt, true);
    } else {
        need(cmd, args, 2);
        if (args[1] != "asc" && args[1] != "desc") throw ScriptError("sort espera FATO asc|desc ou none");
        if (!viewer->SetSort(args[0], args[1] == "desc")) throw ScriptError("fato não encontrado no cubo: " + Shown(args[0]));
    }
}

void Shell::cmdChart(const std::string&, Args& args) {
    if (args[0] != "bar" && args[0] != "line" && args[0] != "off") throw ScriptError("chart espera bar, line ou off");
    openViewer()->SetChart(args[0] == "off" ? std::nullopt : std::optional<std::string>(args[0]));
}

void Shell::cmdSubtotals(const std::string&, Args& args) {
    if (args[0] != "on" && args[0] != "off") throw ScriptError("subtotals espera on ou off");
    openViewer()->SetSubtotals(args[0] == "on");
}

void Shell::cmdShow(const std::string&, Args& args) {
    static const std::map<std::string, ShowAs> kShow = {{"values", ShowAs::Values},
                                                         {"percent-total", ShowAs::PercentTotal},
                                                         {"percent-row", ShowAs::PercentRow},
                                                         {"percent-column", ShowAs::PercentColumn}};
    auto it = kShow.find(args[0]);
    if (it == kShow.end()) throw ScriptError("show espera values, percent-total, percent-row ou percent-column");
    openViewer()->SetShow(it->second);
}

void Shell::cmdPage(const std::string&, Args& args) {
    TCubeViewer* viewer = openViewer();
    std::optional<std::string> member;
    if (args[1] != "--all") member = args[1];
    if (!viewer->ChoosePage(args[0], member)) throw ScriptError("página ou membro não encontrado no cubo: " + Shown(args[0]) + " " + Shown(args[1]));
}

void Shell::cmdExport(const std::string&, Args& args) {
    TCubeViewer* viewer = openViewer();
    const std::string& file = args[0];
    bool workbook = file.size() > 5 && file.compare(file.size() - 5, 5, ".xlsx") == 0;
    runGuarded([&] { workbook ? viewer->ExportXlsx(file) : viewer->ExportCsv(file); });
}

void Shell::cmdSaveView(const std::string&, Args& args) {
    TCubeViewer* viewer = openViewer();
    runGuarded([&] { viewer->SaveView(args[0]); });
}

void Shell::cmdOpenView(const std::string&, Args& args) {
    runGuarded([&] { OpenView(args[0]); });
}

void Shell::cmdEditView(const std::string&, Args&) {
    TCubeViewer* viewer = openViewer();
    runGuarded([&] { viewer->EditView(); });
}

void Shell::cmdCloseViewer(const std::string&, Args&) {
    TCubeViewer* viewer = openViewer();
    runGuarded([&] { viewer->Close(); });
}

void Shell::OpenView(const std::string& path) {
    // A pipe or a device would never end (or never start): only a regular file is a saved view.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw std::runtime_error("'" + path + "' não é um arquivo comum; escolha uma visão salva");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Não foi possível abrir o arquivo " + path);
    criafrmCubo(true, &in, ViewNameOf(path));
}
