// The cube module Pkg_Qel00110 as the screen and the host see it: the seven view-definition lists, the
// two index-aligned filter lists (entry k of stlDSfiltro names a filtered dimension, entry k of
// stlCDfiltro holds its selection), the viewer reference, the call that opens the viewer from those
// lists, and the viewer's interface.
// The module owns the lists for its lifetime; entries keep the order in which they are appended.
//
// criafrmCubo with the flag false opens the viewer from the lists; with the flag true it opens a saved
// view: `stream` holds the .qelv file's contents and `text` the view's name. The file is read and its
// facts and dimensions checked against the catalogue before anything changes: a bad file raises a
// message and leaves the lists and any open viewer as they were.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <istream>
#include <string>

#include "cube/pivot.hpp"
#include "cube/view_settings.hpp"
#include "toolkit/form.hpp"
#include "toolkit/string_list.hpp"

extern TStringList Fatos, Linhas, treeLinhas, Colunas, treeColunas, Paginas, treePaginas;
extern TStringList stlDSfiltro, stlCDfiltro;
extern TForm* frmCubo;

void criafrmCubo(bool flag, std::istream* stream, const std::string& text);
// Whether the last criafrmCubo left a view computed from the lists: false when it failed, ran out of
// time or was cancelled (the screen that asked for it then stays open with its layout).
bool LastViewComputed();

// How long the viewer's statements may run (the client database's and the server calls it makes);
// nullopt: as long as any server call (the host's --call-timeout, 30 s by default). The host's
// --view-timeout and the viewer's "Tempo limite…" set it.
void SetViewTimeout(std::optional<std::chrono::seconds> limit);
std::optional<std::chrono::seconds> ViewTimeout();

// What a host sees of the cube module's viewer: the view as computed (its dimensions, pages, filters,
// grid, message and name, kept by the module; read-only to the host) and the commands that change how
// it is read, export it, save it or hand it back to the screen. Every command is answered from the
// cells the viewer holds; none raises to its caller except the exports, SaveView and EditView, which
// raise on failure. The module's viewer (frmCubo) is the only implementation.
class TCubeViewer : public TForm {
public:
    using TForm::TForm;

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
    // The view's name once saved or opened from a file (the viewer's title shows it); nullopt for a
    // view not yet saved.
    std::optional<std::string> Name;

    static constexpr const char* kAllMembers = "(Todos)";
    static constexpr const char* kNoData = "Não há dados para esta visão.";

    // Chooses a page member by its label, or every member with nullopt; false when the dimension is
    // not a page or has no member of that label.
    virtual bool ChoosePage(const std::string& dimension, const std::optional<std::string>& label) = 0;
    // The grid as a Brazilian CSV file, or an Excel workbook with a sheet describing the view.
    virtual void ExportCsv(const std::string& path) const = 0;
    virtual void ExportXlsx(const std::string& path) const = 0;
    // How the grid is read, kept by dimension and fact name across recomputations.
    using ViewSettings = ::ViewSettings;
    virtual const ViewSettings& Settings() const = 0;
    // False when the dimension (a row dimension, for collapsing) or fact is not in the view, or the
    // member is not among the dimension's.
    virtual bool SetOrder(const std::string& dimension, MemberOrder order) = 0;
    virtual bool SetSort(const std::optional<std::string>& fact, bool descending,
                         const std::optional<std::vector<std::string>>& column = std::nullopt) = 0;
    // A header click: the first sorts by that column descending, the second ascending, the third
    // restores member order. `column` nullopt: the grand-total column.
    virtual bool CycleSort(const std::string& fact, const std::optional<std::vector<std::string>>& column) = 0;
    // "bar", "line", or nullopt to hide the chart; false for another kind.
    virtual bool SetChart(const std::optional<std::string>& kind) = 0;
    // The chart of the grid as it stands.
    virtual PivotChart Chart() const = 0;
    virtual bool SetCollapsed(const std::string& dimension, const std::optional<std::string>& memberLabel, bool collapse) = 0;
    virtual void SetSubtotals(bool on) = 0;
    virtual void SetShow(ShowAs show) = 0;
    enum class Axis { Rows, Columns, Pages };
    // Moves a dimension of the view to an axis, at a position (0-based; past the end or nullopt: last).
    // A page dimension that leaves the pages loses its choice. False when the dimension is not in the
    // view or nothing was computed.
    virtual bool MoveDimension(const std::string& dimension, Axis axis, std::optional<size_t> position) = 0;
    // "Salvar visão…": the view as it stands into a .qelv file, written whole or not at all; the view
    // takes the file's name.
    virtual void SaveView(const std::string& path) = 0;
    // "Editar visão": the view's definition and filters back into the lists, and the screen asked for.
    virtual void EditView() = 0;
    // Decimals a measure shows: none when every stored value is whole, else two (two for percentages).
    virtual int Decimals(size_t measure) const = 0;
    // The member filters by label where the dimension's labels are known, else by key.
    virtual std::vector<std::pair<std::string, std::vector<std::string>>> FilterLabels() const = 0;
    // Changes whenever the grid, the pages or the message change: a front end redraws them then.
    virtual int Version() const = 0;
    // A computed view changed since it was last saved or opened from its file (or never saved).
    virtual bool Changed() const = 0;
};

// The viewer frmCubo as the host sees it: nullptr when none is open or it is closing.
TCubeViewer* OpenCubeViewer();
// How many times criafrmCubo has been called since the module was loaded.
int CriafrmCuboCalls();

// "Editar visão": the viewer has put its view back into the lists and asks for the screen. The host
// says how the screen is opened (the cube module never reaches the screen module itself); the screen,
// once open, takes the request and reads the lists back into its zones, filters included.
void SetViewEditOpener(std::function<void()> open);
void RequestViewEdit();  // raises when no opener is set
bool ViewEditRequested();
void TakeViewEditRequest();
