// The module Pkg_Qel00100: its load and unload hooks, the exported entry IniProc and CriaOpcoesDW.
// Load and unload hooks run once per load however often they are requested: a counter, decremented
// by the load hook and incremented by the unload hook, lets only the first load and the matching last
// unload do their work.
#include "package_info.hpp"
#include "screen/frm_opcodes_dw.hpp"
#include "services/cube.hpp"
#include "screen/unit_globals.hpp"

#define QEL_EXPORT __attribute__((visibility("default")))


namespace {

int initCounter = 0;

void unitInitialization() {
    bostcriado = false;
    frmCubo = nullptr;
}

void unitFinalization() { stLista.clear(); }

const PackageUnitInfo kUnits[] = {{"Cli_qel00100", unitInitialization, unitFinalization}};
const char* const kRequires[] = {"rtl", "vcl", "dbrtl", "vcldb", "dsnap", "_fwk", "Pkg_Qel00110", "Pkg_Host"};
const PackageInfoTable kInfo = {1, kUnits, static_cast<int>(sizeof kRequires / sizeof *kRequires), kRequires};

}  // namespace

void CriaOpcoesDW() {
    TCursorGuard hourglass(TCursor::crHourGlass);  // the default comes back on every way out
    if (!bostcriado) {
        Application->CreateForm(frmOpcodesDW);
        bostcriado = true;
    }
    frmOpcodesDW->SetWindowState(TWindowState::wsNormal);
    frmOpcodesDW->Show();
    Screen->SetCursor(TCursor::crDefault);
    frmOpcodesDW->trvFatos->FullCollapse();
    if (ViewEditRequested()) frmOpcodesDW->LoadViewToEdit();
}

extern "C" {

QEL_EXPORT const PackageInfoTable* GetPackageInfoTable() { return &kInfo; }

QEL_EXPORT void Initialize() {
    // The modules this one requires are loaded (and initialized) by the dynamic loader before it.
    if (initCounter-- == 0)
        for (auto& unit : kUnits) unit.init();
}

QEL_EXPORT void Finalize() {
    if (++initCounter == 0)
        for (auto& unit : kUnits) unit.fini();
}

QEL_EXPORT void IniProc() { CriaOpcoesDW(); }
}
