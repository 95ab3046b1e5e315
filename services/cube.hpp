// The cube module Pkg_Qel00110 as the screen sees it: the seven view-definition lists, the two
// index-aligned filter lists (entry k of stlDSfiltro names a filtered dimension, entry k of stlCDfiltro
// holds its selection), the viewer reference and the call that opens the viewer from those lists.
// The module owns the lists for its lifetime; entries keep the order in which they are appended.
//
// criafrmCubo with the flag false opens the viewer from the lists; with the flag true it opens a saved
// view: `stream` holds the .qelv file's contents and `text` the view's name. The file is read and its
// facts and dimensions checked against the catalogue before anything changes: a bad file raises a
// message and leaves the lists and any open viewer as they were.
#pragma once

#include <functional>
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

// "Editar visão": the viewer has put its view back into the lists and asks for the screen. The host
// says how the screen is opened (the cube module never reaches the screen module itself); the screen,
// once open, takes the request and reads the lists back into its zones, filters included.
void SetViewEditOpener(std::function<void()> open);
void RequestViewEdit();  // raises when no opener is set
bool ViewEditRequested();
void TakeViewEditRequest();
