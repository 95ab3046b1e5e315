#include "whole_file.hpp"

#include <cstdio>
#include <fstream>
#include <stdexcept>

void WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".parcial";
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
