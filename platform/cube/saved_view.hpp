// A saved view (a .qelv file): JSON with a "format" version, the seven view-definition lists, the
// member filters and the viewer's settings, axes after pivoting and page choices included. Reading is
// strict: anything that is not a whole view of a known format is refused with a message in
// Portuguese that says what is wrong, before anything is opened.
//
//   {"format": 1,
//    "view": {"Fatos": […], "Linhas": […], "treeLinhas": […], "Colunas": […], "treeColunas": […],
//             "Paginas": […], "treePaginas": […]},
//    "filters": {"stlDSfiltro": […], "stlCDfiltro": […]},
//    "axes": {"rows": […], "columns": […], "pages": [{"dimension", "current": label | null}, …]},
//    "settings": {…the viewer state's settings…}}
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "view_settings.hpp"

class ESavedView : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SavedView {
    static constexpr int kFormat = 1;
    static constexpr int kMaxItems = 31;  // facts and dimensions together, as the screen allows
    // A view is a few kilobytes; anything past this is refused before it is read.
    static constexpr size_t kMaxFileBytes = size_t{4} << 20;
    static constexpr std::array<const char*, 7> kLists = {"Fatos", "Linhas", "treeLinhas", "Colunas", "treeColunas", "Paginas", "treePaginas"};
    std::array<std::vector<std::string>, 7> lists;  // in kLists order
    std::vector<std::pair<std::string, std::string>> filters;  // dimension, selection string
    std::vector<std::string> rows, columns;  // the axes as the viewer shows them
    std::vector<std::pair<std::string, std::optional<std::string>>> pages;  // dimension, chosen member's label
    ViewSettings settings;
    bool operator==(const SavedView&) const = default;
};

std::string SavedViewText(const SavedView& v);
// Raises ESavedView when the text is not a saved view, is cut short, was written in a newer format,
// holds more items than the screen allows, or places on an axis a dimension the view does not have.
SavedView ParseSavedView(const std::string& text);
// The view's name: the file's name without its folder and extension.
std::string ViewNameOf(const std::string& path);
