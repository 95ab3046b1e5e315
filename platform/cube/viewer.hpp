// TfrmCubo, the cube module's viewer: it computes the view that the seven view-definition lists and
// the two filter lists describe, and shows it as a pivot grid. Computing reads the catalogue through
// the application server, runs one aggregate statement per fact table on the client's database (the
// application server's getInfo when that fails) and keeps the aggregated cells, so that choosing a
// page member re-pivots without asking the database again. Failures are shown and leave the viewer
// empty with the error as its message; the viewer never raises them to its caller.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pivot.hpp"
#include "saved_view.hpp"
#include "view_settings.hpp"
#include "toolkit/form.hpp"
#include "toolkit/string_list.hpp"

class TNetConnection;
class TADOIBQuery;

// The cube module's seven view-definition lists, in SavedView::kLists order.
std::array<TStringList*, 7> ModuleLists();
// Writes a view's definition and filters into the cube module's seven lists and two filter lists.
void WriteModuleLists(const SavedView& v);

class TfrmCubo : public TForm {
public:
    explicit TfrmCubo(TComponent* owner);
    ~TfrmCubo() override;

    struct PageSelector {
        std::string dimension;
        std::vector<CubeMember> members;       // in display order
        std::optional<std::string> current;    // a member's key, or every member
        // The chosen member's label, or "(Todos)".
        std::string CurrentLabel() const;
    };

    std::vector<std::string> Facts, Rows, Columns;
    std::vector<PageSelector> Pages;
    std::vector<std::pair<std::string, std::string>> Filters;  // dimension, selection string
    PivotGrid Grid;
    std::optional<std::string> Message;  // shown instead of a grid

    static constexpr const char* kAllMembers = "(Todos)";
    static constexpr const char* kNoData = "Não há dados para esta visão.";

    // Recomputes everything from the lists.
    void Compute();
    // Chooses a page member by its label, or every member with nullopt; false when the dimension is
    // not a page or has no member of that label.
    bool ChoosePage(const std::string& dimension, const std::optional<std::string>& label);
    // The grid as a Brazilian CSV (UTF-8 with a byte-order mark, ";", decimal comma, a kind column,
    // the pages and filters above the header), and written to a file (raises on failure).
    std::string CsvText() const;
    void ExportCsv(const std::string& path) const;
    // The grid as an Excel workbook, with a second sheet describing the view (raises on failure).
    void ExportXlsx(const std::string& path) const;
    // How the grid is read, kept by dimension and fact name across recomputations; every change is
    // answered from the cells already held, without the database.
    using ViewSettings = ::ViewSettings;
    const ViewSettings& Settings() const { return settings_; }
    // False when the dimension (a row dimension, for collapsing) or fact is not in the view, or the
    // member is not among the dimension's.
    bool SetOrder(const std::string& dimension, MemberOrder order);
    bool SetSort(const std::optional<std::string>& fact, bool descending,
                 const std::optional<std::vector<std::string>>& column = std::nullopt);
    // A header click: the first sorts by that column descending, the second ascending, the third
    // restores member order. `column` nullopt: the grand-total column.
    bool CycleSort(const std::string& fact, const std::optional<std::vector<std::string>>& column);
    // "bar", "line", or nullopt to hide the chart; false for another kind.
    bool SetChart(const std::optional<std::string>& kind);
    // The chart of the grid as it stands.
    PivotChart Chart() const { return BuildChart(Grid, Facts); }
    bool SetCollapsed(const std::string& dimension, const std::optional<std::string>& memberLabel, bool collapse);
    void SetSubtotals(bool on);
    void SetShow(ShowAs show);
    enum class Axis { Rows, Columns, Pages };
    // Moves a dimension of the view to an axis, at a position (0-based; past the end or nullopt: last),
    // regrouping the cells already held. A page dimension that leaves the pages loses its choice.
    // False when the dimension is not in the view or nothing was computed.
    bool MoveDimension(const std::string& dimension, Axis axis, std::optional<size_t> position);

    // The view's name once saved or opened from a file (the viewer's title shows it); nullopt for a
    // view not yet saved.
    std::optional<std::string> Name;
    // "Salvar visão…": the view as it stands (definition, filters, axes, page choices, settings) into a
    // .qelv file, written whole or not at all; the view takes the file's name. Raises on failure.
    void SaveView(const std::string& path);
    // "Editar visão": puts the view's definition and filters back into the cube module's lists and asks
    // for the screen, which reads them back into its zones. Raises when no screen can be opened.
    void EditView();
    // Takes a saved view's axes, page choices and settings over what Compute computed, and its name.
    void Apply(const SavedView& saved, const std::string& name);

    // Decimals a measure shows: none when every stored value is whole, else two (two for percentages).
    int Decimals(size_t measure) const;
    // The member filters by label where the dimension's labels are known, else by key.
    std::vector<std::pair<std::string, std::vector<std::string>>> FilterLabels() const;
    // Changes whenever the grid, the pages or the message change: a front end redraws them then.
    int Version() const { return version_; }

private:
    // The placed dimensions in the cells' order: rows, columns, pages.
    std::vector<std::string> placedDimensions() const;
    void fail(const std::string& text);
    void pivot();
    // One statement on the client's database, or on the server when that cannot answer.
    std::vector<std::vector<std::string>> runStatement(const std::string& sql, const std::map<std::string, std::string>& params);
    // The computed cells into input_: values by cell, keys coded (the map is emptied as it goes).
    void assemble(std::map<std::vector<std::string>, CubeValues>&& cells);

    ViewSettings settings_;
    SavedView definition_;      // the lists and filters the view was computed from
    TNetConnection* net_;       // owned by the form
    TADOIBQuery* query_;        // owned by the form
    PivotInput input_;
    int version_ = 0;
};
