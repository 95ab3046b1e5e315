#include "pivot.hpp"

#include <algorithm>
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
        int c = CompareTextOrder(a.label, b.label);
        return c != 0 ? c < 0 : CompareMemberKeys(a.key, b.key) < 0;
    });
    return out;
}

PivotGrid BuildPivot(const PivotInput& in) {
    const size_t dims = in.rowDims + in.colDims + in.pageDims;
    std::vector<std::vector<CubeMember>> members(dims);
    std::vector<std::map<std::string, int>> rank(dims);
    for (size_t d = 0; d < dims; ++d) {
        members[d] = SortedMembers(in.labels.at(d));
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

    // Every outer level of the rows gets a subtotal, shown just before the lines it sums.
    std::map<Tuple, RowValues> subtotals;
    RowValues total = emptyRow();
    for (auto& [row, cols] : byRow) {
        for (size_t len = 1; len < row.size(); ++len) {
            auto [it, fresh] = subtotals.try_emplace(Tuple(row.begin(), row.begin() + static_cast<long>(len)), RowValues());
            if (fresh) it->second = emptyRow();
            accumulate(it->second, cols);
        }
        accumulate(total, cols);
    }
    auto labelsOf = [&](const Tuple& t) {
        std::vector<std::string> labels;
        for (size_t i = 0; i < t.size(); ++i) labels.push_back(members[i][static_cast<size_t>(t[i])].label);
        return labels;
    };
    if (in.rowDims > 0) {
        const Tuple* previous = nullptr;
        for (auto& [row, cols] : byRow) {
            for (size_t len = 1; len < row.size(); ++len) {
                if (previous && std::equal(row.begin(), row.begin() + static_cast<long>(len), previous->begin())) continue;
                Tuple prefix(row.begin(), row.begin() + static_cast<long>(len));
                grid.lines.push_back({"subtotal", labelsOf(prefix), subtotals.at(prefix)});
            }
            RowValues values = emptyRow();
            accumulate(values, cols);
            grid.lines.push_back({"detail", labelsOf(row), std::move(values)});
            previous = &row;
        }
    }
    grid.lines.push_back({"total", {}, std::move(total)});
    return grid;
}
