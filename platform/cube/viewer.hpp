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

#include "data/packet.hpp"
#include "pivot.hpp"
#include "saved_view.hpp"
#include "view_settings.hpp"
#include "services/cube.hpp"
#include "toolkit/form.hpp"
#include "toolkit/string_list.hpp"

class TNetConnection;
class TADOIBQuery;
class SqlConnection;
struct CubeStatement;

// The cube module's seven view-definition lists, in SavedView::kLists order.
std::array<TStringList*, 7> ModuleLists();
// Writes a view's definition and filters into the cube module's seven lists and two filter lists.
void WriteModuleLists(const SavedView& v);

class TfrmCubo : public TCubeViewer {
public:
    explicit TfrmCubo(TComponent* owner);
    ~TfrmCubo() override;

    // Recomputes everything from the lists. False: the operator cancelled it, and the view shown
    // before (if any) stays as it was.
    bool Compute();
    // Whether the view shown was computed: false while nothing was, or after a failure.
    bool Computed() const { return computed_; }
    bool ChoosePage(const std::string& dimension, const std::optional<std::string>& label) override;
    // The grid as a Brazilian CSV (UTF-8 with a byte-order mark, ";", decimal comma, a kind column,
    // the pages and filters above the header), and written to a file (raises on failure).
    std::string CsvText() const;
    void ExportCsv(const std::string& path) const override;
    void ExportXlsx(const std::string& path) const override;
    // Every change of the settings is answered from the cells already held, without the database.
    const ViewSettings& Settings() const override { return settings_; }
    bool SetOrder(const std::string& dimension, MemberOrder order) override;
    bool SetSort(const std::optional<std::string>& fact, bool descending,
                 const std::optional<std::vector<std::string>>& column = std::nullopt) override;
    bool CycleSort(const std::string& fact, const std::optional<std::vector<std::string>>& column) override;
    bool SetChart(const std::optional<std::string>& kind) override;
    PivotChart Chart() const override { return BuildChart(Grid, Facts); }
    bool SetCollapsed(const std::string& dimension, const std::optional<std::string>& memberLabel, bool collapse) override;
    void SetSubtotals(bool on) override;
    void SetShow(ShowAs show) override;
    // Regroups the cells already held.
    bool MoveDimension(const std::string& dimension, Axis axis, std::optional<size_t> position) override;
    void SaveView(const std::string& path) override;
    void EditView() override;
    // Takes a saved view's axes, page choices and settings over what Compute computed, and its name.
    void Apply(const SavedView& saved, const std::string& name);
    int Decimals(size_t measure) const override;
    std::vector<std::pair<std::string, std::vector<std::string>>> FilterLabels() const override;
    int Version() const override { return version_; }
    bool Changed() const override { return computed_ && version_ != savedVersion_; }

private:
    // The placed dimensions in the cells' order: rows, columns, pages.
    std::vector<std::string> placedDimensions() const;
    void fail(const std::string& text);
    void pivot();
    // One statement on the client's database, or on the server when that cannot answer.
    PacketRows runStatement(const std::string& sql, const std::map<std::string, std::string>& params);
    // Two parts of one fact table's statement read at once, the first through the form's query (its
    // progress and Cancelar), the second on `other`; a cancel or a failure of either stops both.
    PacketRows runInParts(SqlConnection& other, const CubeStatement& first, const CubeStatement& second);
    // The computed cells into input_, in columns: values measure by measure, keys coded (the map is
    // emptied as it goes).
    void assemble(std::map<std::vector<std::string>, CubeValues>&& cells);

    ViewSettings settings_;
    SavedView definition_;      // the lists and filters the view was computed from
    TNetConnection* net_;       // owned by the form
    TADOIBQuery* query_;        // owned by the form
    PivotInput input_;
    int version_ = 0;
    bool computed_ = false;
    int savedVersion_ = -1;  // version_ when last saved or opened from its file
};
