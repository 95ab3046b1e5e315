#include "module_loader.hpp"

#include <dlfcn.h>

#include <stdexcept>

#include "toolkit/application.hpp"

std::string ModuleLoader::Path() const { return dir_ + "/libPkg_Qel00100.so"; }

void ModuleLoader::Load() {
    if (handle_) return;
    void* h = dlopen(Path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) throw std::runtime_error(std::string("Não foi possível carregar o módulo: ") + dlerror());
    auto sym = [&](const char* name) {
        void* p = dlsym(h, name);
        if (!p) {
            dlclose(h);
            throw std::runtime_error(std::string("O módulo não exporta ") + name);
        }
        return p;
    };
    initialize_ = reinterpret_cast<void (*)()>(sym("Initialize"));
    finalize_ = reinterpret_cast<void (*)()>(sym("Finalize"));
    iniProc_ = reinterpret_cast<void (*)()>(sym("IniProc"));
    sym("GetPackageInfoTable");
    bostcriado_ = static_cast<bool*>(sym("bostcriado"));
    trvPointer_ = static_cast<TTreeView**>(sym("trvPointer"));
    handle_ = h;
    initialize_();
}

void ModuleLoader::Unload() {
    if (!handle_) return;
    // The module's forms run code of the library: they go before it does.
    for (TForm* f : Application->Forms())
        if (f->Name == "frmOpcodesDW") f->Release();
    Application->ProcessReleases();
    finalize_();
    dlclose(handle_);
    handle_ = nullptr;
    bostcriado_ = nullptr;
    trvPointer_ = nullptr;
}

void ModuleLoader::IniProc() {
    Load();
    iniProc_();
}
