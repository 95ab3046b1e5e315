// The cube module Pkg_Qel00110 as the screen sees it: the seven view-definition lists, the two
// index-aligned filter lists (entry k of stlDSfiltro names a filtered dimension, entry k of stlCDfiltro
// holds its selection), the viewer reference and the call that opens the viewer from those lists.
// The module owns the lists for its lifetime; entries keep the order in which they are appended.
#pragma once

#include <istream>
#include <string>

#include "toolkit/form.hpp"
#include "toolkit/string_list.hpp"

extern TStringList Fatos, Linhas, treeLinhas, Colunas, treeColunas, Paginas, treePaginas;
extern TStringList stlDSfiltro, stlCDfiltro;
extern TForm* frmCubo;

void criafrmCubo(bool flag, std::istream* stream, const std::string& text);
// How many times criafrmCubo has been called since the module was loaded.
int CriafrmCuboCalls();
