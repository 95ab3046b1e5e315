// PesquisaListaMsg: the modal member-list dialog. The operator marks records of the data source; the
// selection is the key of each marked row between single quotes (embedded quotes doubled), joined by
// commas, in row order. Returns true on confirmation with the new selection in `selection`.
#pragma once

#include <string>

#include "data/provider.hpp"

bool PesquisaListaMsg(TDataSource* source, const std::string& keyField, const std::string& caption, bool multi,
                      std::string& selection);
