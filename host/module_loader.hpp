// Loads and unloads the screen module by name with dlopen, resolves its entry points and the two
// unit values the host shows. The loader owns the library handle; unloading destroys the module's
// forms first, since their code lives in the library.
#pragma once

#include <string>

class TTreeView;

class ModuleLoader {
public:
    explicit ModuleLoader(std::string dir) : dir_(std::move(dir)) {}
    ~ModuleLoader() { Unload(); }

    bool Loaded() const { return handle_ != nullptr; }
    // Loads (when not loaded) and runs the load hook; raises std::runtime_error on failure.
    void Load();
    void Unload();
    void IniProc();
    bool Bostcriado() const { return bostcriado_ && *bostcriado_; }
    TTreeView* CurrentZone() const { return trvPointer_ ? *trvPointer_ : nullptr; }
    std::string Path() const;

private:
    std::string dir_;
    void* handle_ = nullptr;
    void (*initialize_)() = nullptr;
    void (*finalize_)() = nullptr;
    void (*iniProc_)() = nullptr;
    bool* bostcriado_ = nullptr;
    TTreeView** trvPointer_ = nullptr;
};
