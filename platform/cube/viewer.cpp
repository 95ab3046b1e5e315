#include "viewer.hpp"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "csv_field.hpp"
#include "selection.hpp"
#include "whole_file.hpp"
#include "services/cube.hpp"
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "services/query.hpp"
#include "services/session.hpp"

TfrmCubo::TfrmCubo(TComponent* owner) : TCubeViewer(owner) {
    Name = "frmCubo";
    Caption = "Cubo de Decisão";
    FormStyle = TFormStyle::fsMDIChild;
    Width = 960;
    Height = 600;
    net_ = Owned<TNetConnection>();
    net_->Name = "netCubo";
    net_->ServerName = "QEL00100.rdmOpcoesDW";
    net_->ThrowException = false;
    net_->OnBeforeConnect = [this](TObject*) {
        net_->Host = WebURL();
        net_->Port = WebPort();
    };
    query_ = Owned<TADOIBQuery>();
    query_->Name = "qryCubo";
    OnClose = [](TObject*, TCloseAction& a) {
        a = TCloseAction::caFree;
        frmCubo = nullptr;
    };
}

TCubeViewer* OpenCubeViewer() {
    auto* viewer = dynamic_cast<TCubeViewer*>(frmCubo);
    return viewer && !viewer->Released() ? viewer : nullptr;
}

TfrmCubo::~TfrmCubo() {
    // The module's reference never outlives the viewer, however the viewer goes.
    if (frmCubo == this) frmCubo = nullptr;
    // A large view's cells and grid go back to the system when it closes, from every thread's heap
    // (its statements ran on threads of their own), not kept for a view that may never come.
    input_ = {};
    Grid = {};
    malloc_trim(0);
}

std::string TCubeViewer::PageSelector::CurrentLabel() const {
    for (const CubeMember& m : members)
        if (current && *current == m.key) return m.label;
    return kAllMembers;
}

std::vector<std::string> TfrmCubo::placedDimensions() const {
    std::vector<std::string> placed = Rows;
    placed.insert(placed.end(), Columns.begin(), Columns.end());
    for (auto& p : Pages) placed.push_back(p.dimension);
    return placed;
}

void TfrmCubo::fail(const std::string& text) {
    ++version_;
    computed_ = false;
    Grid = {};
    Pages.clear();
    input_ = {};
    Message = text;
    if (Application) Application->MessageDlg(text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
}

void TfrmCubo::pivot() {
    ++version_;
    // The settings, by name, as the grid's dimensions and measures stand now.
    const std::vector<std::string> placed = placedDimensions();
    if (input_.labels.size() != placed.size()) return;  // nothing computed: the failure's message stays
    PivotView& view = input_.view;
    view = {};
    for (const std::string& d : placed) {
        auto it = settings_.order.find(d);
        view.order.push_back(it == settings_.order.end() ? MemberOrder::Key : it->second);
    }
    if (settings_.sortFact)
        if (auto f = std::find(Facts.begin(), Facts.end(), *settings_.sortFact); f != Facts.end())
            view.sortMeasure = static_cast<size_t>(f - Facts.begin());
    view.sortDescending = settings_.sortDescending;
    view.sortColumn = settings_.sortColumn;
    for (size_t d = 0; d < Rows.size(); ++d) {
        PivotView::Collapse c;
        if (auto it = settings_.collapsed.find(Rows[d]); it != settings_.collapsed.end() && d < input_.labels.size()) {
            c.all = it->second.all;
            for (auto& [key, label] : input_.labels[d])
                if (it->second.members.count(label)) c.keys.insert(key);
        }
        view.collapsed.push_back(std::move(c));
    }
    view.subtotals = settings_.subtotals;
    view.show = settings_.show;
    for (size_t p = 0; p < Pages.size() && Rows.size() + Columns.size() + p < input_.labels.size(); ++p)
        Pages[p].members = SortedMembers(input_.labels[Rows.size() + Columns.size() + p], view.order[Rows.size() + Columns.size() + p]);
    Grid = BuildPivot(input_);
    Message = Grid.Empty() ? std::optional<std::string>(kNoData) : std::nullopt;
}

bool TfrmCubo::SetOrder(const std::string& dimension, MemberOrder order) {
    bool placed = std::count(Rows.begin(), Rows.end(), dimension) || std::count(Columns.begin(), Columns.end(), dimension) ||
                  std::any_of(Pages.begin(), Pages.end(), [&](auto& p) { return p.dimension == dimension; });
    if (!placed) return false;
    if (order == MemberOrder::Key) settings_.order.erase(dimension);
    else settings_.order[dimension] = order;
    pivot();
    return true;
}

bool TfrmCubo::SetSort(const std::optional<std::string>& fact, bool descending, const std::optional<std::vector<std::string>>& column) {
    if (fact && !std::count(Facts.begin(), Facts.end(), *fact)) return false;
    if (fact && column && std::find(Grid.columnKeys.begin(), Grid.columnKeys.end(), *column) == Grid.columnKeys.end()) return false;
    settings_.sortFact = fact;
    settings_.sortDescending = descending;
    settings_.sortColumn = fact ? column : std::nullopt;
    pivot();
    return true;
}

bool TfrmCubo::CycleSort(const std::string& fact, const std::optional<std::vector<std::string>>& column) {
    bool same = settings_.sortFact == fact && settings_.sortColumn == column;
    if (same && !settings_.sortDescending) return SetSort(std::nullopt, true);
    return SetSort(fact, !same, column);
}

bool TfrmCubo::SetChart(const std::optional<std::string>& kind) {
    if (kind && *kind != "bar" && *kind != "line") return false;
    settings_.chart = kind;
    ++version_;
    return true;
}

bool TfrmCubo::SetCollapsed(const std::string& dimension, const std::optional<std::string>& memberLabel, bool collapse) {
    auto row = std::find(Rows.begin(), Rows.end(), dimension);
    if (row == Rows.end()) return false;
    if (memberLabel) {
        if (static_cast<size_t>(row - Rows.begin()) >= input_.labels.size()) return false;
        const auto& labels = input_.labels[static_cast<size_t>(row - Rows.begin())];
        if (!std::any_of(labels.begin(), labels.end(), [&](auto& kv) { return kv.second == *memberLabel; })) return false;
    }
    ViewSettings::Collapsed& c = settings_.collapsed[dimension];
    if (!memberLabel) c = {collapse, {}};
    else if (collapse) c.members.insert(*memberLabel);
    else c.members.erase(*memberLabel);
    if (!c.all && c.members.empty()) settings_.collapsed.erase(dimension);
    pivot();
    return true;
}

bool TfrmCubo::MoveDimension(const std::string& dimension, Axis axis, std::optional<size_t> position) {
    std::vector<std::string> pages;
    for (auto& p : Pages) pages.push_back(p.dimension);
    std::vector<std::string> old = Rows;
    old.insert(old.end(), Columns.begin(), Columns.end());
    old.insert(old.end(), pages.begin(), pages.end());
    auto at = std::find(old.begin(), old.end(), dimension);
    if (at == old.end() || input_.labels.size() != old.size()) return false;
    std::vector<std::string> rows = Rows, columns = Columns;
    for (auto* list : {&rows, &columns, &pages}) list->erase(std::remove(list->begin(), list->end(), dimension), list->end());
    std::vector<std::string>& target = axis == Axis::Rows ? rows : axis == Axis::Columns ? columns : pages;
    target.insert(target.begin() + static_cast<long>(std::min(position.value_or(target.size()), target.size())), dimension);

    // Where each dimension of the new order was: the cells' keys and the labels follow it.
    std::vector<std::string> now = rows;
    now.insert(now.end(), columns.begin(), columns.end());
    now.insert(now.end(), pages.begin(), pages.end());
    std::vector<size_t> from;
    for (const std::string& d : now) from.push_back(static_cast<size_t>(std::find(old.begin(), old.end(), d) - old.begin()));
    std::vector<std::map<std::string, std::string>> labels;
    for (size_t f : from) labels.push_back(std::move(input_.labels[f]));
    input_.labels = std::move(labels);
    if (input_.coded) {
        // The codes follow their dimensions: a pivot moves whole columns of integers, no key text.
        PivotCodes moved;
        for (size_t f : from) {
            moved.keys.push_back(std::move(input_.coded->codes.keys[f]));
            moved.codes.push_back(std::move(input_.coded->codes.codes[f]));
        }
        input_.coded->codes = std::move(moved);
    }
    std::vector<PageSelector> selectors;
    for (const std::string& d : pages) {
        auto kept = std::find_if(Pages.begin(), Pages.end(), [&](auto& p) { return p.dimension == d; });
        selectors.push_back(kept != Pages.end() ? *kept : PageSelector{d, {}, std::nullopt});
    }
    Pages = std::move(selectors);
    Rows = std::move(rows);
    Columns = std::move(columns);
    input_.rowDims = Rows.size();
    input_.colDims = Columns.size();
    input_.pageDims = Pages.size();
    input_.pageChoice.clear();
    for (auto& p : Pages) input_.pageChoice.push_back(p.current);
    pivot();
    return true;
}

void TfrmCubo::SetSubtotals(bool on) {
    settings_.subtotals = on;
    pivot();
}

void TfrmCubo::SetShow(ShowAs show) {
    settings_.show = show;
    pivot();
}

bool TfrmCubo::ChoosePage(const std::string& dimension, const std::optional<std::string>& label) {
    for (size_t p = 0; p < Pages.size(); ++p) {
        if (Pages[p].dimension != dimension) continue;
        if (!label) {
            Pages[p].current.reset();
        } else {
            auto it = std::find_if(Pages[p].members.begin(), Pages[p].members.end(), [&](auto& m) { return m.label == *label; });
            if (it == Pages[p].members.end()) return false;
            Pages[p].current = it->key;
        }
        if (input_.pageChoice.size() == Pages.size()) {
            input_.pageChoice[p] = Pages[p].current;
            pivot();
        }
        return true;
    }
    return false;
}

int TfrmCubo::Decimals(size_t measure) const {
    if (settings_.show != ShowAs::Values) return 2;
    if (!input_.coded || measure >= input_.measures) return 0;
    const PivotCells& cells = *input_.coded;
    for (size_t at = measure; at < cells.values.size(); at += input_.measures)
        if (cells.present[at] && std::floor(cells.values[at]) != cells.values[at]) return 2;
    return 0;
}

std::string TfrmCubo::CsvText() const {
    std::string out = "\xEF\xBB\xBF";  // UTF-8, said so to the spreadsheet
    auto line = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) out += (i ? ";" : "") + fields[i];
        out += "\r\n";
    };
    // What the grid shows of the view: its pages and filters, by member label.
    for (const PageSelector& p : Pages) {
        line({"Página", CsvTextField(p.dimension), CsvTextField(p.CurrentLabel())});
    }
    for (auto& [dimension, labels] : FilterLabels()) {
        std::string joined;
        for (const std::string& l : labels) joined += (joined.empty() ? "" : ", ") + l;
        line({"Filtro", CsvTextField(dimension), CsvTextField(joined)});
    }
    const size_t labelColumns = std::max<size_t>(Rows.size(), 1);
    for (size_t c = 0; c < Columns.size(); ++c) {
        std::vector<std::string> fields(labelColumns + 1);
        fields.back() = CsvTextField(Columns[c]);
        for (auto& key : Grid.columnKeys) fields.insert(fields.end(), Facts.size(), CsvTextField(key[c]));
        fields.insert(fields.end(), Facts.size(), "Total");
        line(fields);
    }
    std::vector<std::string> header{"Tipo"};
    for (const std::string& r : Rows) header.push_back(CsvTextField(r));
    header.resize(labelColumns + 1);
    for (size_t k = 0; k <= Grid.columnKeys.size(); ++k)
        for (const std::string& f : Facts) header.push_back(CsvTextField(f));
    line(header);
    for (size_t l = 0; l < Grid.Lines(); ++l) {
        const std::string_view kind = Grid.Kind(l);
        std::vector<std::string> fields{kind == "detail" ? "Detalhe" : kind == "subtotal" ? "Subtotal" : "Total"};
        for (size_t level = 0; level < Grid.Depth(l); ++level) fields.push_back(CsvTextField(Grid.Label(l, level)));
        fields.resize(labelColumns + 1);
        for (size_t c = 0; c <= Grid.columnKeys.size(); ++c)
            for (size_t m = 0; m < Grid.Measures(); ++m) fields.push_back(CsvNumberField(Grid.Value(l, c, m), Decimals(m)));
        line(fields);
    }
    return out;
}

std::vector<std::pair<std::string, std::vector<std::string>>> TfrmCubo::FilterLabels() const {
    const std::vector<std::string> placed = placedDimensions();
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    for (auto& [dimension, selection] : Filters) {
        std::vector<std::string> keys;
        try {
            keys = ParseSelection(selection);
        } catch (const std::exception&) {
            keys = {selection};
        }
        // A placed dimension knows its members' labels; another one shows its keys.
        auto at = std::find(placed.begin(), placed.end(), dimension);
        size_t d = static_cast<size_t>(at - placed.begin());
        for (std::string& k : keys)
            if (at != placed.end() && d < input_.labels.size())
                if (auto it = input_.labels[d].find(k); it != input_.labels[d].end()) k = it->second;
        out.emplace_back(dimension, std::move(keys));
    }
    return out;
}

void TfrmCubo::ExportCsv(const std::string& path) const { WriteWholeFile(path, CsvText()); }
