#include "pivot.hpp"

#include <algorithm>
#include <functional>
#include <set>

#include "toolkit/text_order.hpp"

namespace {

using Tuple = std::vector<int>;  // member ranks, so that tuples compare in display order
using RowValues = std::vector<CubeValues>;  // per column key, then the grand-total column

void add(CubeValues& acc, const CubeValues& v) {
    for (size_t m = 0; m < v.size(); ++m)
        if (v[m]) acc[m] = acc[m].value_or(0.0) + *v[m];
}

}  // namespace

int CompareMemberKeys(const std::string& a, const std::string& b) {
    // Whole numbers of any length, with an optional minus sign, compare by value; beside a key that
    // is not one they come first, so that the order stays one order however the keys mix (comparing
    // such a pair as text would let 2 < 10 < 1A < 2 go round, which no sort survives).
    auto whole = [](const std::string& s) {
        size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
        return i < s.size() && std::all_of(s.begin() + static_cast<long>(i), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    bool wa = whole(a), wb = whole(b);
    if (wa != wb) return wa ? -1 : 1;
    if (wa) {
        bool na = a[0] == '-', nb = b[0] == '-';
        if (na != nb) return na ? -1 : 1;
        auto digits = [](const std::string& s, bool negative) {
            std::string d = s.substr(negative ? 1 : 0);
            size_t first = d.find_first_not_of('0');
            return first == std::string::npos ? std::string("0") : d.substr(first);
        };
        std::string da = digits(a, na), db = digits(b, nb);
        int c = da.size() != db.size() ? (da.size() < db.size() ? -1 : 1) : da.compare(db);
        if (c != 0) return na ? -c : c;
        // "007" and "7": the same number, still two keys.
    }
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::vector<CubeMember> SortedMembers(const std::map<std::string, std::string>& labels, MemberOrder order) {
    std::vector<CubeMember> out;
    for (auto& [key, label] : labels) out.push_back({key, label});
    if (order == MemberOrder::Key) {
        std::stable_sort(out.begin(), out.end(), [](const CubeMember& a, const CubeMember& b) { return CompareMemberKeys(a.key, b.key) < 0; });
        return out;
    }
    std::stable_sort(out.begin(), out.end(), [](const CubeMember& a, const CubeMember& b) {
        int c = CompareNaturalText(a.label, b.label);
        return c != 0 ? c < 0 : CompareMemberKeys(a.key, b.key) < 0;
    });
    return out;
}

namespace {

// A group of rows: one member at its level, the sums of every row below it, and its own groups.
struct RowNode {
    RowValues values;
    std::map<int, RowNode> children;  // by member rank
};

std::optional<double> percent(const std::optional<double>& v, const std::optional<double>& base) {
    if (!v || !base || *base == 0) return std::nullopt;
    return *v / *base * 100.0;
}

}  // namespace

PivotGrid BuildPivot(const PivotInput& in) {
    const size_t dims = in.rowDims + in.colDims + in.pageDims;
    std::vector<std::vector<CubeMember>> members(dims);
    std::vector<std::map<std::string, int>> rank(dims);
    for (size_t d = 0; d < dims; ++d) {
        MemberOrder order = d < in.view.order.size() ? in.view.order[d] : MemberOrder::Key;
        members[d] = SortedMembers(in.labels.at(d), order);
        for (size_t i = 0; i < members[d].size(); ++i) rank[d][members[d][i].key] = static_cast<int>(i);
    }

    // Cells of the chosen pages, summed by row members and column members.
    std::map<Tuple, std::map<Tuple, CubeValues>> byRow;
    std::set<Tuple> colTuples;
    for (const CubeCell& cell : in.cells) {
        bool chosen = true;
        for (size_t p = 0; p < in.pageDims; ++p)
            if (in.pageChoice.at(p) && cell.keys[in.rowDims + in.colDims + p] != *in.pageChoice[p]) chosen = false;
        if (!chosen) continue;
        Tuple row, col;
        for (size_t d = 0; d < in.rowDims; ++d) row.push_back(rank[d].at(cell.keys[d]));
        for (size_t d = in.rowDims; d < in.rowDims + in.colDims; ++d) col.push_back(rank[d].at(cell.keys[d]));
        CubeValues& acc = byRow[row].try_emplace(col, CubeValues(in.measures)).first->second;
        add(acc, cell.values);
        colTuples.insert(col);
    }

    PivotGrid grid;
    if (byRow.empty()) return grid;
    std::map<Tuple, size_t> colIndex;
    for (const Tuple& col : colTuples) {
        colIndex[col] = grid.columnKeys.size();
        std::vector<std::string> labels;
        for (size_t i = 0; i < col.size(); ++i) labels.push_back(members[in.rowDims + i][static_cast<size_t>(col[i])].label);
        if (in.colDims > 0) grid.columnKeys.push_back(std::move(labels));
    }
    const size_t columns = in.colDims > 0 ? grid.columnKeys.size() : 0;
    auto emptyRow = [&] { return RowValues(columns + 1, CubeValues(in.measures)); };
    auto accumulate = [&](RowValues& acc, const std::map<Tuple, CubeValues>& cols) {
        for (auto& [col, values] : cols) {
            if (columns > 0) add(acc[colIndex.at(col)], values);
            add(acc[columns], values);
        }
    };

    // The rows as a tree of groups, each holding its sums: a group's subtotal, a leaf's detail.
    RowNode root;
    root.values = emptyRow();
    for (auto& [row, cols] : byRow) {
        accumulate(root.values, cols);
        RowNode* node = &root;
        for (int r : row) {
            auto [it, fresh] = node->children.try_emplace(r);
            if (fresh) it->second.values = emptyRow();
            accumulate(it->second.values, cols);
            node = &it->second;
        }
    }

    const PivotView& view = in.view;
    size_t sortColumn = columns;
    if (view.sortColumn)
        for (size_t c = 0; c < columns; ++c)
            if (grid.columnKeys[c] == *view.sortColumn) sortColumn = c;
    Tuple prefix;
    auto labelsOf = [&](const Tuple& t) {
        std::vector<std::string> labels;
        for (size_t i = 0; i < t.size(); ++i) labels.push_back(members[i][static_cast<size_t>(t[i])].label);
        return labels;
    };
    auto collapsed = [&](size_t level, int r) {
        if (level >= view.collapsed.size()) return false;
        const PivotView::Collapse& c = view.collapsed[level];
        return c.all || c.keys.count(members[level][static_cast<size_t>(r)].key) > 0;
    };
    std::function<void(const RowNode&, size_t)> emit = [&](const RowNode& node, size_t level) {
        std::vector<std::pair<int, const RowNode*>> order;
        for (auto& [r, child] : node.children) order.emplace_back(r, &child);
        if (view.sortMeasure && *view.sortMeasure < in.measures) {
            const size_t m = *view.sortMeasure;
            std::stable_sort(order.begin(), order.end(), [&](auto& a, auto& b) {
                const std::optional<double>& va = a.second->values[sortColumn][m];
                const std::optional<double>& vb = b.second->values[sortColumn][m];
                if (!va || !vb) return va.has_value() && !vb.has_value();  // lines without a value last
                return view.sortDescending ? *va > *vb : *va < *vb;
            });
        }
        for (auto& [r, child] : order) {
            prefix.push_back(r);
            if (level + 1 == in.rowDims) {
                grid.lines.push_back({"detail", labelsOf(prefix), child->values});
            } else if (collapsed(level, r)) {
                grid.lines.push_back({"subtotal", labelsOf(prefix), child->values});  // stands for its group
            } else {
                if (view.subtotals) grid.lines.push_back({"subtotal", labelsOf(prefix), child->values});
                emit(*child, level + 1);
            }
            prefix.pop_back();
        }
    };
    if (in.rowDims > 0) emit(root, 0);
    grid.lines.push_back({"total", {}, root.values});

    if (view.show != ShowAs::Values) {
        const RowValues& total = root.values;
        for (PivotLine& line : grid.lines) {
            RowValues shown = line.values;
            for (size_t c = 0; c <= columns; ++c)
                for (size_t m = 0; m < in.measures; ++m) {
                    const std::optional<double>& base = view.show == ShowAs::PercentTotal ? total[columns][m]
                                                        : view.show == ShowAs::PercentRow ? line.values[columns][m]
                                                                                          : total[c][m];
                    shown[c][m] = percent(line.values[c][m], base);
                }
            line.values = std::move(shown);
        }
    }
    return grid;
}

namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

void addTo(std::optional<double>& acc, const std::optional<double>& v) {
    if (v) acc = acc.value_or(0) + *v;
}

}  // namespace

bool HasLinesBelow(const PivotGrid& grid, size_t i) {
    if (i + 1 >= grid.lines.size()) return false;
    const PivotLine &line = grid.lines[i], &next = grid.lines[i + 1];
    return line.kind != "total" && next.labels.size() > line.labels.size() &&
           std::equal(line.labels.begin(), line.labels.end(), next.labels.begin());
}

PivotChart BuildChart(const PivotGrid& grid, const std::vector<std::string>& measures, size_t maxSeries, size_t maxCategories) {
    PivotChart chart;
    if (grid.lines.empty() || measures.empty()) return chart;
    const size_t columns = grid.columnKeys.size();
    // Series: each column key with each measure; without column dimensions, the grand-total column.
    struct Source {
        size_t column, measure;
    };
    std::vector<Source> sources;
    for (size_t c = 0; c < std::max<size_t>(columns, 1); ++c)
        for (size_t m = 0; m < measures.size(); ++m) {
            Source s{columns ? c : columns, m};
            sources.push_back(s);
            std::string name = columns ? joined(grid.columnKeys[c], " / ") : measures[m];
            if (columns && measures.size() > 1) name += " - " + measures[m];
            if (chart.series.size() < maxSeries || sources.size() == 1) chart.series.push_back({name, {}});
        }
    const bool othersSeries = sources.size() > chart.series.size();
    if (othersSeries) {
        chart.series.pop_back();  // its place goes to "Outros", which sums it with the rest
        chart.series.push_back({"Outros", {}});
    }
    // Categories: the lines with nothing shown below them.
    std::vector<const PivotLine*> lines;
    for (size_t i = 0; i < grid.lines.size(); ++i) {
        const PivotLine& line = grid.lines[i];
        if (line.kind == "total") continue;
        if (!HasLinesBelow(grid, i)) lines.push_back(&line);
    }
    if (lines.empty()) lines.push_back(&grid.lines.back());  // no row dimension: the grand total alone
    const bool othersCategory = lines.size() > maxCategories;
    const size_t shown = othersCategory ? maxCategories - 1 : lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const PivotLine& line = *lines[i];
        if (i < shown) {
            chart.categories.push_back(line.kind == "total" ? "Total" : joined(line.labels, " / "));
            for (auto& s : chart.series) s.values.emplace_back();
        } else if (i == shown) {
            chart.categories.push_back("Outros");
            for (auto& s : chart.series) s.values.emplace_back();
        }
        for (size_t k = 0; k < sources.size(); ++k) {
            size_t series = std::min(k, chart.series.size() - 1);
            addTo(chart.series[series].values.back(), line.values.at(sources[k].column).at(sources[k].measure));
        }
    }
    return chart;
}
