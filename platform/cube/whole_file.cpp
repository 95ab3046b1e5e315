#include "whole_file.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

void RequireRegularFileOrNone(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw std::runtime_error("'" + path + "' não é um arquivo comum; escolha outro nome");
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    RequireRegularFileOrNone(path);
    const std::string temporary = path + ".parcial";
    RequireRegularFileOrNone(temporary);  // a pipe there would hold the write forever
    bool written = false;
    {
        std::ofstream f(temporary, std::ios::binary | std::ios::trunc);
        if (f) {
            f << text;
            f.close();
            written = static_cast<bool>(f);
        }
    }
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("Não foi possível gravar o arquivo " + path);
    }
}
