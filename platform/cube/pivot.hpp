// The pivot grid of a computed view: cells aggregated by the database (one per combination of the
// placed dimensions' members, with one value per measure) turned into column keys and lines with
// subtotals and grand totals, for one choice of the page selectors. Pure: no database, no form.
//
// Members of each dimension sort by key, the warehouse's own order (periods such as 202601 and codes as
// stored): two keys that are both whole numbers compare as numbers, two others as text, and a whole
// number comes before a key that is not one. By label instead: text order ignoring case and accents,
// the numbers inside labels by value, then by key. A value is absent (nullopt) where no row of that
// measure's table falls in the cell; sums skip absent values and stay absent when every part is absent.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using CubeValues = std::vector<std::optional<double>>;  // one per measure

struct CubeCell {
    std::vector<std::string> keys;  // one per dimension: rows, then columns, then pages
    CubeValues values;
};

struct CubeMember {
    std::string key, label;
};

struct PivotInput;

// The grid's lines, held flat: per line its kind, its members (one per row level shown, as ranks into
// the grid's own labels per level) and its values (per column key, then the grand-total column, measure
// by measure), in a few arrays however many lines. Building a line allocates nothing of its own, so
// a pivot to hundreds of thousands of lines costs copies, not allocations.
class PivotGrid {
public:
    std::vector<std::vector<std::string>> columnKeys;  // labels, one per column dimension

    size_t Lines() const { return kinds_.size(); }
    bool Empty() const { return kinds_.empty(); }
    // "detail", "subtotal" or "total".
    std::string_view Kind(size_t line) const;
    size_t Depth(size_t line) const { return depth_.at(line); }  // how many labels: its row level + 1
    const std::string& Label(size_t line, size_t level) const {
        return levels_.at(level).at(static_cast<size_t>(ranks_.at(start_.at(line) + level)));
    }
    std::vector<std::string> Labels(size_t line) const;
    // Whether two lines are of the same members down to `levels` levels (both at least that deep).
    bool SameMembers(size_t a, size_t b, size_t levels) const;
    size_t Measures() const { return measures_; }
    // The value at a column key (columnKeys.size(): the grand-total column) and measure; absent when
    // no row of that measure falls there.
    std::optional<double> Value(size_t line, size_t column, size_t measure) const {
        const size_t at = line * width_ + column * measures_ + measure;
        return has_.at(at) ? std::optional<double>(values_[at]) : std::nullopt;
    }
    // One line from its labels and values (per column key then the total column, each one per
    // measure): for grids made by hand; the labels are looked up among those of the grid so far.
    void AddLine(std::string_view kind, const std::vector<std::string>& labels, const std::vector<CubeValues>& values);

private:
    friend PivotGrid BuildPivot(const PivotInput& in);
    void shape(std::vector<std::vector<std::string>> levels, size_t columns, size_t measures, size_t lines);
    void add(uint8_t kind, const int* ranks, size_t depth, const double* values, const uint8_t* has);
    std::vector<std::vector<std::string>> levels_;  // per row level: rank -> label
    size_t measures_ = 0, width_ = 0;              // width: (column keys + 1) × measures
    std::vector<uint8_t> kinds_, depth_;
    std::vector<uint32_t> start_;  // per line: its first rank in ranks_
    std::vector<int> ranks_;
    std::vector<double> values_;
    std::vector<uint8_t> has_;
};

enum class MemberOrder { Key, Label };
enum class ShowAs { Values, PercentTotal, PercentRow, PercentColumn };

// How the grid is read, changed without going back to the database.
struct PivotView {
    std::vector<MemberOrder> order;  // per dimension (rows, columns, pages); missing: by key
    // Rows sorted within each level by the grand-total value of one measure (ties keep member order;
    // lines without a value come last); nullopt: member order.
    std::optional<size_t> sortMeasure;
    bool sortDescending = true;
    // The column sorted by, by its labels; nullopt, or labels no column has: the grand-total column.
    std::optional<std::vector<std::string>> sortColumn;
    // Per row dimension: its groups collapsed (the levels below hidden, the group's subtotal line
    // standing for them), every group or the groups of these member keys.
    struct Collapse {
        bool all = false;
        std::set<std::string> keys;
    };
    std::vector<Collapse> collapsed;
    bool subtotals = true;  // off: no subtotal lines, but those standing for collapsed groups
    ShowAs show = ShowAs::Values;  // percentages: of the grand total, of the line's total, of the column's
};

// The cells' keys coded as integers, once per computation: the grid is then rebuilt from integers
// (a page change, a pivot or a sort reads no key text). Per dimension, its distinct keys by code, and
// each cell's code in the cells' order.
struct PivotCodes {
    std::vector<std::vector<std::string>> keys;   // per dimension: code -> key
    std::vector<std::vector<uint32_t>> codes;     // per dimension: cell -> code
};
PivotCodes EncodeCells(const std::vector<CubeCell>& cells, size_t dims);

// The cells as the viewer holds them, in columns: the keys coded, and the values of every cell in
// one array, measure by measure (cell i's value of measure m at i * measures + m), with whether each
// is present. About 9 bytes a value and 4 a key, in a handful of allocations however many cells.
struct PivotCells {
    size_t count = 0;
    PivotCodes codes;
    std::vector<double> values;
    std::vector<uint8_t> present;
    std::optional<double> Value(size_t cell, size_t measure, size_t measures) const {
        const size_t at = cell * measures + measure;
        return present[at] ? std::optional<double>(values[at]) : std::nullopt;
    }
};
PivotCells MakeCells(const std::vector<CubeCell>& cells, size_t dims, size_t measures);

struct PivotInput {
    size_t rowDims = 0, colDims = 0, pageDims = 0, measures = 0;
    std::vector<std::map<std::string, std::string>> labels;  // per dimension: key -> label
    std::vector<CubeCell> cells;  // the cells as given; BuildPivot codes them itself when `coded` is absent
    std::vector<std::optional<std::string>> pageChoice;  // per page dimension: a key, or every member
    PivotView view;
    // The cells coded (MakeCells), kept in step with the dimensions by whoever changes them; when
    // present, BuildPivot reads them and not `cells`.
    std::optional<PivotCells> coded;
};

// The key order: negative, zero or positive as a sorts before, with or after b.
int CompareMemberKeys(const std::string& a, const std::string& b);
// The members of one dimension in display order.
std::vector<CubeMember> SortedMembers(const std::map<std::string, std::string>& labels, MemberOrder order = MemberOrder::Key);
PivotGrid BuildPivot(const PivotInput& in);

// The grid as a chart: the lines at the deepest level shown (details, and the subtotals standing for
// collapsed groups) as categories, the columns × measures as series (the grand-total column when
// there is no column dimension). Past `maxSeries` the remaining series are summed as one "Outros", and
// past `maxCategories` the remaining lines as one "Outros" category, so a chart stays readable.
struct PivotChart {
    struct Series {
        std::string name;
        std::vector<std::optional<double>> values;  // one per category
    };
    std::vector<std::string> categories;
    std::vector<Series> series;
};
// Whether the line at `i` heads lines shown below it (its group expanded).
bool HasLinesBelow(const PivotGrid& grid, size_t i);
PivotChart BuildChart(const PivotGrid& grid, const std::vector<std::string>& measures, size_t maxSeries = 12,
                      size_t maxCategories = 40);
