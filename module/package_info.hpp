// The module's description for the host: its units and the modules it requires, and the entry points
// the host resolves by name (C linkage): Initialize, Finalize, IniProc, GetPackageInfoTable.
#pragma once

extern "C" {

struct PackageUnitInfo {
    const char* name;
    void (*init)();
    void (*fini)();
};

struct PackageInfoTable {
    int unitCount;
    const PackageUnitInfo* units;
    int requiresCount;
    const char* const* requiredModules;
};

const PackageInfoTable* GetPackageInfoTable();
void Initialize();
void Finalize();
void IniProc();
}
