// The viewer's view as something that lasts: saved to a file, opened from one, and handed back to the
// screen for editing.
#include "services/cube.hpp"
#include "viewer.hpp"
#include "whole_file.hpp"

namespace {

const char* kCaption = "Cubo de Decisão";

}  // namespace

void TfrmCubo::SaveView(const std::string& path) {
    // A view that failed or ran out of time holds nothing: saved, it would stand for a view never seen.
    if (!computed_)
        throw ESavedView("A visão não pode ser salva: ela não foi calculada. Calcule-a de novo e salve quando a grade aparecer.");
    SavedView v = definition_;
    v.rows = Rows;
    v.columns = Columns;
    for (const PageSelector& p : Pages)
        v.pages.emplace_back(p.dimension, p.current ? std::optional<std::string>(p.CurrentLabel()) : std::nullopt);
    v.settings = settings_;
    WriteWholeFile(path, SavedViewText(v));
    Name = ViewNameOf(path);
    Caption = std::string(kCaption) + " - " + *Name;
    ++version_;
    savedVersion_ = version_;
}

void TfrmCubo::EditView() {
    WriteModuleLists(definition_);
    RequestViewEdit();
}

void TfrmCubo::Apply(const SavedView& saved, const std::string& name) {
    // The axes as the view was left: each dimension moved to its place in turn.
    for (size_t i = 0; i < saved.rows.size(); ++i) MoveDimension(saved.rows[i], Axis::Rows, i);
    for (size_t i = 0; i < saved.columns.size(); ++i) MoveDimension(saved.columns[i], Axis::Columns, i);
    for (size_t i = 0; i < saved.pages.size(); ++i) MoveDimension(saved.pages[i].first, Axis::Pages, i);
    settings_ = saved.settings;
    pivot();
    for (auto& [dimension, label] : saved.pages) ChoosePage(dimension, label);  // a member gone shows every member
    Name = name;
    Caption = std::string(kCaption) + " - " + name;
    ++version_;
    savedVersion_ = version_;  // as the file holds it
}
