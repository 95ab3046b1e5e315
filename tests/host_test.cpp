#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "module/package_info.hpp"
#include "words.hpp"

TEST(ScriptWords, SplitAsAShellDoes) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"press trvFatos Vendas Faturamento", {"press", "trvFatos", "Vendas", "Faturamento"}},
        {"  press   'Recursos Humanos' \"Folha de Pagamento\"  ", {"press", "Recursos Humanos", "Folha de Pagamento"}},
        {"press trvFatos \"Caixa d'Água\"", {"press", "trvFatos", "Caixa d'Água"}},
        {"press a Caixa\\ d\\'Água", {"press", "a", "Caixa d'Água"}},
        {"answer confirm \"'01','07'\"", {"answer", "confirm", "'01','07'"}},
        {"press trvFatos ''", {"press", "trvFatos", ""}},
        {"dump # comentário", {"dump"}},
        {"# só comentário", {}},
        {"say \"a \\\"b\\\" c\" x#y", {"say", "a \"b\" c", "x#y"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitWords(c.line), c.words) << c.line;
    EXPECT_THROW(SplitWords("press 'aberto"), std::invalid_argument);
    EXPECT_THROW(SplitWords("press \"aberto"), std::invalid_argument);
}

TEST(ModuleLibrary, ExportsItsEntriesAndRunsItsHooksOncePerLoad) {
    void* h = dlopen(QEL_BIN_DIR "/libPkg_Qel00100.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    for (const char* name : {"IniProc", "Initialize", "Finalize", "GetPackageInfoTable"})
        EXPECT_NE(dlsym(h, name), nullptr) << name;
    // Internals stay hidden: CriaOpcoesDW is in the library (tested through IniProc) but no exported
    // symbol names it, whatever its mangling.
    FILE* symbols = popen("nm -D --defined-only -C " QEL_BIN_DIR "/libPkg_Qel00100.so", "r");
    ASSERT_NE(symbols, nullptr);
    std::string exported;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, symbols)) exported.append(buf, n);
    EXPECT_EQ(pclose(symbols), 0);
    EXPECT_NE(exported.find("IniProc"), std::string::npos) << exported.substr(0, 500);
    EXPECT_EQ(exported.find("CriaOpcoesDW"), std::string::npos);

    auto info = reinterpret_cast<const PackageInfoTable* (*)()>(dlsym(h, "GetPackageInfoTable"))();
    ASSERT_EQ(info->unitCount, 1);
    EXPECT_STREQ(info->units[0].name, "Cli_qel00100");
    std::set<std::string> required(info->requiredModules, info->requiredModules + info->requiresCount);
    EXPECT_TRUE(required.count("_fwk") && required.count("Pkg_Qel00110")) << info->requiresCount;

    auto initialize = reinterpret_cast<void (*)()>(dlsym(h, "Initialize"));
    auto finalize = reinterpret_cast<void (*)()>(dlsym(h, "Finalize"));
    bool* bostcriado = static_cast<bool*>(dlsym(h, "bostcriado"));
    ASSERT_NE(bostcriado, nullptr);
    *bostcriado = true;
    initialize();  // first load: the load hook clears the flag
    EXPECT_FALSE(*bostcriado);
    *bostcriado = true;
    initialize();  // requested again: nothing runs
    EXPECT_TRUE(*bostcriado);
    finalize();
    finalize();
    *bostcriado = true;
    initialize();  // after the matching last unload, a new load runs the hook again
    EXPECT_FALSE(*bostcriado);
    finalize();
    dlclose(h);
}
