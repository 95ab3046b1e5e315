#include "pivot.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "core/text_order.hpp"

namespace {

using Tuple = std::vector<int>;  // member ranks, so that tuples compare in display order

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

std::optional<double> percent(const std::optional<double>& v, const std::optional<double>& base) {
    if (!v || !base || *base == 0) return std::nullopt;
    return *v / *base * 100.0;
}

}  // namespace

PivotCodes EncodeCells(const std::vector<CubeCell>& cells, size_t dims) {
    PivotCodes out;
    out.keys.resize(dims);
    out.codes.assign(dims, std::vector<uint32_t>(cells.size()));
    for (size_t d = 0; d < dims; ++d) {
        std::unordered_map<std::string, uint32_t> code;
        for (size_t i = 0; i < cells.size(); ++i) {
            auto [it, fresh] = code.try_emplace(cells[i].keys.at(d), static_cast<uint32_t>(out.keys[d].size()));
            if (fresh) out.keys[d].push_back(it->first);
            out.codes[d][i] = it->second;
        }
    }
    return out;
}

PivotCells MakeCells(const std::vector<CubeCell>& cells, size_t dims, size_t measures) {
    PivotCells out;
    out.count = cells.size();
    out.codes = EncodeCells(cells, dims);
    out.values.assign(cells.size() * measures, 0.0);
    out.present.assign(cells.size() * measures, 0);
    for (size_t i = 0; i < cells.size(); ++i)
        for (size_t m = 0; m < measures && m < cells[i].values.size(); ++m)
            if (cells[i].values[m]) {
                out.values[i * measures + m] = *cells[i].values[m];
                out.present[i * measures + m] = 1;
            }
    return out;
}

namespace {

constexpr uint8_t kDetail = 0, kSubtotal = 1, kTotal = 2;

}  // namespace

std::string_view PivotGrid::Kind(size_t line) const {
    switch (kinds_.at(line)) {
        case kDetail: return "detail";
        case kSubtotal: return "subtotal";
        default: return "total";
    }
}

std::vector<std::string> PivotGrid::Labels(size_t line) const {
    std::vector<std::string> out;
    for (size_t level = 0; level < Depth(line); ++level) out.push_back(Label(line, level));
    return out;
}

bool PivotGrid::SameMembers(size_t a, size_t b, size_t levels) const {
    if (Depth(a) < levels || Depth(b) < levels) return false;
    return std::equal(ranks_.begin() + start_[a], ranks_.begin() + start_[a] + static_cast<long>(levels), ranks_.begin() + start_[b]);
}

void PivotGrid::shape(std::vector<std::vector<std::string>> levels, size_t columns, size_t measures, size_t lines) {
    levels_ = std::move(levels);
    measures_ = measures;
    width_ = (columns + 1) * measures;
    kinds_.reserve(lines);
    depth_.reserve(lines);
    start_.reserve(lines);
    ranks_.reserve(lines * levels_.size());
    values_.reserve(lines * width_);
    has_.reserve(lines * width_);
}

void PivotGrid::add(uint8_t kind, const int* ranks, size_t depth, const double* values, const uint8_t* has) {
    kinds_.push_back(kind);
    depth_.push_back(static_cast<uint8_t>(depth));
    start_.push_back(static_cast<uint32_t>(ranks_.size()));
    ranks_.insert(ranks_.end(), ranks, ranks + depth);
    values_.insert(values_.end(), values, values + width_);
    has_.insert(has_.end(), has, has + width_);
}

void PivotGrid::AddLine(std::string_view kind, const std::vector<std::string>& labels, const std::vector<CubeValues>& values) {
    if (Empty()) {
        measures_ = values.empty() ? 0 : values[0].size();
        width_ = values.size() * measures_;
    }
    if (values.size() * measures_ != width_) throw std::invalid_argument("linha com outra largura que a da grade");
    std::vector<int> ranks;
    for (size_t level = 0; level < labels.size(); ++level) {
        if (levels_.size() <= level) levels_.resize(level + 1);
        auto& known = levels_[level];
        auto it = std::find(known.begin(), known.end(), labels[level]);
        ranks.push_back(static_cast<int>(it - known.begin()));
        if (it == known.end()) known.push_back(labels[level]);
    }
    std::vector<double> flat(width_, 0.0);
    std::vector<uint8_t> present(width_, 0);
    for (size_t c = 0; c < values.size(); ++c)
        for (size_t m = 0; m < measures_; ++m)
            if (values[c].at(m)) {
                flat[c * measures_ + m] = *values[c][m];
                present[c * measures_ + m] = 1;
            }
    add(kind == "detail" ? kDetail : kind == "subtotal" ? kSubtotal : kTotal, ranks.data(), ranks.size(), flat.data(), present.data());
}

namespace {

// Distinct tuples of member ranks over some dimensions, numbered as they first come; afterwards
// ordered as they are displayed. A tuple is one number (the ranks in mixed radix, the first
// dimension most significant, so numeric order is display order) while the members' counts allow,
// else a list kept in a map.
class TupleGroups {
public:
    TupleGroups(std::vector<const std::vector<int>*> rankOfCode, std::vector<const std::vector<uint32_t>*> codes,
                const std::vector<size_t>& radix)
        : ranks_(std::move(rankOfCode)), codes_(std::move(codes)), strides_(radix.size()) {
        unsigned __int128 product = 1;
        for (size_t k = radix.size(); k-- > 0;) {
            strides_[k] = product;
            product *= std::max<size_t>(radix[k], 1);
            if (product >> 100) wide_ = true;  // far past any real view; the map takes over
        }
        span_ = product;
        narrow_ = !wide_ && (product >> 63) == 0;
        if (narrow_)
            for (auto stride : strides_) strides64_.push_back(static_cast<uint64_t>(stride));
        dense_ = !wide_ && product <= kDenseLimit;
        if (dense_) slots_.assign(static_cast<size_t>(product), kNone);
    }
    static constexpr uint64_t kDenseLimit = uint64_t{1} << 24;
    // The tuple of cell i as one number, when it fits one (not wide); `Span` numbers are below.
    unsigned __int128 KeyOf(size_t i) const {
        if (narrow_) return KeyOf64(i);
        unsigned __int128 key = 0;
        for (size_t k = 0; k < ranks_.size(); ++k) key += strides_[k] * static_cast<unsigned>(rank(k, i));
        return key;
    }
    // The same in 64 bits, when the span fits them (every dense one does).
    uint64_t KeyOf64(size_t i) const {
        uint64_t key = 0;
        for (size_t k = 0; k < strides64_.size(); ++k) key += strides64_[k] * static_cast<unsigned>(rank(k, i));
        return key;
    }
    bool Dense() const { return dense_; }
    uint64_t Span() const { return static_cast<uint64_t>(span_); }
    // The group of cell i.
    uint32_t Of(size_t i) {
        if (dense_) {
            // Few enough tuples to index them directly: no hashing per cell.
            const uint64_t key = KeyOf64(i);
            uint32_t& slot = slots_[key];
            if (slot == kNone) {
                slot = static_cast<uint32_t>(keys_.size());
                keys_.push_back(key);
            }
            return slot;
        }
        if (!wide_) {
            unsigned __int128 key = KeyOf(i);
            auto [it, fresh] = byKey_.try_emplace(key, static_cast<uint32_t>(keys_.size()));
            if (fresh) keys_.push_back(key);
            return it->second;
        }
        std::vector<int> t(ranks_.size());
        for (size_t k = 0; k < ranks_.size(); ++k) t[k] = rank(k, i);
        auto [it, fresh] = byTuple_.try_emplace(std::move(t), static_cast<uint32_t>(tuples_.size()));
        if (fresh) tuples_.push_back(&it->first);
        return it->second;
    }
    size_t Count() const { return wide_ ? tuples_.size() : keys_.size(); }
    // Groups in display order: position -> group, and each group's position.
    void Order() {
        order_.resize(Count());
        if (dense_ && slots_.size() <= 8 * order_.size() + 1024) {
            // The slots are already in display order: read them through rather than sort.
            size_t p = 0;
            for (uint32_t g : slots_)
                if (g != kNone) order_[p++] = g;
        } else {
            for (uint32_t g = 0; g < order_.size(); ++g) order_[g] = g;
            sortGroups();
        }
        position_.resize(order_.size());
        for (uint32_t p = 0; p < order_.size(); ++p) position_[order_[p]] = p;
    }
    void sortGroups() {
        if (!wide_) std::sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return keys_[a] < keys_[b]; });
        else std::sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return *tuples_[a] < *tuples_[b]; });
    }
    uint32_t Position(uint32_t group) const { return position_[group]; }
    // The ranks of the group at a display position.
    std::vector<int> RanksAt(uint32_t position) const {
        std::vector<int> t;
        RanksAt(position, t);
        return t;
    }
    // The same into a buffer the caller keeps, for one row after another.
    void RanksAt(uint32_t position, std::vector<int>& t) const {
        uint32_t g = order_[position];
        if (wide_) {
            t = *tuples_[g];
            return;
        }
        t.resize(ranks_.size());
        unsigned __int128 key = keys_[g];
        for (size_t k = 0; k < ranks_.size(); ++k) {
            t[k] = static_cast<int>(key / strides_[k]);
            key %= strides_[k];
        }
    }

private:
    int rank(size_t k, size_t i) const {
        int r = (*ranks_[k])[(*codes_[k])[i]];
        if (r < 0) throw std::out_of_range("membro sem rótulo");
        return r;
    }
    struct KeyHash {
        size_t operator()(unsigned __int128 k) const {
            uint64_t x = static_cast<uint64_t>(k) ^ static_cast<uint64_t>(k >> 64) * 0x9E3779B97F4A7C15ull;
            return static_cast<size_t>(x ^ (x >> 29));
        }
    };
    std::vector<const std::vector<int>*> ranks_;
    std::vector<const std::vector<uint32_t>*> codes_;
    static constexpr uint32_t kNone = UINT32_MAX;
    std::vector<unsigned __int128> strides_;
    unsigned __int128 span_ = 1;
    bool wide_ = false, dense_ = false, narrow_ = false;
    std::vector<uint64_t> strides64_;
    std::vector<uint32_t> slots_;  // dense: tuple number -> group
    std::unordered_map<unsigned __int128, uint32_t, KeyHash> byKey_;
    std::vector<unsigned __int128> keys_;
    std::map<std::vector<int>, uint32_t> byTuple_;
    std::vector<const std::vector<int>*> tuples_;
    std::vector<uint32_t> order_, position_;
};

}  // namespace

PivotGrid BuildPivot(const PivotInput& in) {
    const size_t dims = in.rowDims + in.colDims + in.pageDims;
    // The cells in columns, keys as integers: coded once by the caller, or here.
    std::optional<PivotCells> local;
    if (!in.coded) local = MakeCells(in.cells, dims, in.measures);
    const PivotCells& held = in.coded ? *in.coded : *local;
    const PivotCodes& coded = held.codes;
    const size_t M = in.measures;
    std::vector<std::vector<CubeMember>> members(dims);
    std::vector<std::vector<int>> rankOfCode(dims);  // per dimension: code -> display rank (-1: no label)
    for (size_t d = 0; d < dims; ++d) {
        MemberOrder order = d < in.view.order.size() ? in.view.order[d] : MemberOrder::Key;
        members[d] = SortedMembers(in.labels.at(d), order);
        std::unordered_map<std::string, int> rank;
        for (size_t i = 0; i < members[d].size(); ++i) rank.emplace(members[d][i].key, static_cast<int>(i));
        rankOfCode[d].assign(coded.keys.at(d).size(), -1);
        for (size_t c = 0; c < coded.keys[d].size(); ++c)
            if (auto it = rank.find(coded.keys[d][c]); it != rank.end()) rankOfCode[d][c] = it->second;
    }
    // The chosen page members by code: every member (-2), or one (-1 when no cell has it).
    std::vector<long> pageCode(in.pageDims, -2);
    for (size_t p = 0; p < in.pageDims; ++p) {
        if (!in.pageChoice.at(p)) continue;
        const auto& keys = coded.keys[in.rowDims + in.colDims + p];
        auto it = std::find(keys.begin(), keys.end(), *in.pageChoice[p]);
        pageCode[p] = it == keys.end() ? -1 : static_cast<long>(it - keys.begin());
    }
    auto groupsOf = [&](size_t from, size_t count) {
        std::vector<const std::vector<int>*> ranks;
        std::vector<const std::vector<uint32_t>*> codes;
        std::vector<size_t> radix;
        for (size_t d = from; d < from + count; ++d) {
            ranks.push_back(&rankOfCode[d]);
            codes.push_back(&coded.codes[d]);
            radix.push_back(members[d].size());
        }
        return TupleGroups(std::move(ranks), std::move(codes), radix);
    };
    TupleGroups rowGroups = groupsOf(0, in.rowDims), colGroups = groupsOf(in.rowDims, in.colDims);

    // Cells of the chosen pages, summed by row and column, in the cells' order.
    struct Pair {
        uint32_t row, col, sums;
    };
    std::vector<Pair> pairs;
    std::vector<double> sums;  // per pair, measure by measure, as the cells' values
    std::vector<uint8_t> summed;
    std::unordered_map<uint64_t, uint32_t> pairOf;
    // Row and column pairs indexed directly when both are dense and their product is small.
    const bool densePairs = rowGroups.Dense() && colGroups.Dense() && rowGroups.Span() <= (uint64_t{1} << 24) / std::max<uint64_t>(colGroups.Span(), 1);
    std::vector<uint32_t> pairSlot(densePairs ? rowGroups.Span() * colGroups.Span() : 0, UINT32_MAX);
    const size_t firstPage = in.rowDims + in.colDims;
    for (size_t i = 0; i < held.count; ++i) {
        bool chosen = true;
        for (size_t p = 0; p < in.pageDims && chosen; ++p)
            chosen = pageCode[p] == -2 || static_cast<long>(coded.codes[firstPage + p][i]) == pageCode[p];
        if (!chosen) continue;
        uint32_t r = rowGroups.Of(i), c = colGroups.Of(i);
        uint32_t* slot;
        if (densePairs) {
            slot = &pairSlot[rowGroups.KeyOf64(i) * colGroups.Span() + colGroups.KeyOf64(i)];
        } else {
            slot = &pairOf.try_emplace((uint64_t{r} << 32) | c, UINT32_MAX).first->second;
        }
        if (*slot == UINT32_MAX) {
            *slot = static_cast<uint32_t>(pairs.size());
            sums.resize(sums.size() + M, 0.0);
            summed.resize(summed.size() + M, 0);
            pairs.push_back({r, c, *slot});
        }
        const size_t from = i * M, to = size_t{*slot} * M;
        for (size_t m = 0; m < M; ++m)
            if (held.present[from + m]) {
                sums[to + m] += held.values[from + m];
                summed[to + m] = 1;
            }
    }

    PivotGrid grid;
    if (pairs.empty()) return grid;
    rowGroups.Order();
    colGroups.Order();
    for (uint32_t p = 0; in.colDims > 0 && p < colGroups.Count(); ++p) {
        std::vector<std::string> labels;
        std::vector<int> col = colGroups.RanksAt(p);
        for (size_t i = 0; i < col.size(); ++i) labels.push_back(members[in.rowDims + i][static_cast<size_t>(col[i])].label);
        grid.columnKeys.push_back(std::move(labels));
    }
    const size_t columns = in.colDims > 0 ? grid.columnKeys.size() : 0;
    // Each row's column sums in display order, as the tree takes them: two stable counting passes,
    // by column and then by row, in time linear in the pairs.
    auto bucketBy = [&](auto positionOf, size_t buckets) {
        std::vector<uint32_t> start(buckets + 1, 0);
        for (const Pair& p : pairs) ++start[positionOf(p) + 1];
        for (size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
        std::vector<Pair> out(pairs.size());
        for (const Pair& p : pairs) out[start[positionOf(p)]++] = p;
        pairs.swap(out);
    };
    bucketBy([&](const Pair& p) { return colGroups.Position(p.col); }, colGroups.Count());
    bucketBy([&](const Pair& p) { return rowGroups.Position(p.row); }, rowGroups.Count());

    // The rows as a tree of groups, each holding its sums (a group's subtotal, a leaf's detail): the
    // nodes in one array with their children in member order, and every node's sums in one array,
    // column by column then the total column, measure by measure. Node 0 is the root.
    constexpr uint32_t kNoNode = UINT32_MAX;
    struct Node {
        int rank = -1;
        uint32_t firstChild = kNoNode, nextSibling = kNoNode, lastChild = kNoNode;
    };
    std::vector<Node> nodes(1);
    const size_t width = (columns + 1) * M;
    std::vector<double> nodeSums(width, 0.0);
    std::vector<uint8_t> nodeHas(width, 0);
    auto accumulate = [&](uint32_t node, size_t from, size_t to) {
        double* v = &nodeSums[size_t{node} * width];
        uint8_t* h = &nodeHas[size_t{node} * width];
        for (size_t k = from; k < to; ++k) {
            const size_t at = size_t{pairs[k].sums} * M;
            const size_t col = columns > 0 ? colGroups.Position(pairs[k].col) * M : width;
            for (size_t m = 0; m < M; ++m) {
                if (!summed[at + m]) continue;
                if (col < width) {
                    v[col + m] += sums[at + m];
                    h[col + m] = 1;
                }
                v[columns * M + m] += sums[at + m];
                h[columns * M + m] = 1;
            }
        }
    };
    std::vector<int> rowRanks;
    for (size_t from = 0; from < pairs.size();) {
        size_t to = from;
        while (to < pairs.size() && pairs[to].row == pairs[from].row) ++to;
        accumulate(0, from, to);
        uint32_t node = 0;
        rowGroups.RanksAt(rowGroups.Position(pairs[from].row), rowRanks);
        for (int r : rowRanks) {
            uint32_t child = nodes[node].lastChild;
            if (child == kNoNode || nodes[child].rank != r) {
                // Rows come in display order: a new member at this level is the node's last child.
                const uint32_t fresh = static_cast<uint32_t>(nodes.size());
                nodes.push_back({r, kNoNode, kNoNode, kNoNode});
                nodeSums.resize(nodeSums.size() + width, 0.0);
                nodeHas.resize(nodeHas.size() + width, 0);
                (child == kNoNode ? nodes[node].firstChild : nodes[child].nextSibling) = fresh;
                nodes[node].lastChild = fresh;
                child = fresh;
            }
            accumulate(child, from, to);
            node = child;
        }
        from = to;
    }
    auto valueOf = [&](uint32_t node, size_t column, size_t m) -> std::optional<double> {
        const size_t at = size_t{node} * width + column * M + m;
        return nodeHas[at] ? std::optional<double>(nodeSums[at]) : std::nullopt;
    };

    const PivotView& view = in.view;
    size_t sortColumn = columns;
    if (view.sortColumn)
        for (size_t c = 0; c < columns; ++c)
            if (grid.columnKeys[c] == *view.sortColumn) sortColumn = c;
    std::vector<std::vector<std::string>> levelLabels(in.rowDims);
    for (size_t d = 0; d < in.rowDims; ++d)
        for (const CubeMember& m : members[d]) levelLabels[d].push_back(m.label);
    grid.shape(std::move(levelLabels), columns, M, nodes.size());  // at most a line a node, the root's being the total
    // A line's values as shown: the sums, or each as a percentage of its base.
    std::vector<double> shown(width);
    std::vector<uint8_t> shownHas(width);
    Tuple prefix;
    auto addLine = [&](uint8_t kind, uint32_t node) {
        const double* v = &nodeSums[size_t{node} * width];
        const uint8_t* h = &nodeHas[size_t{node} * width];
        if (view.show != ShowAs::Values) {
            // Bases are in node 0 (the grand total: its total column, or the same column) or in the
            // line's own total column.
            for (size_t c = 0; c <= columns; ++c)
                for (size_t m = 0; m < M; ++m) {
                    const size_t base = view.show == ShowAs::PercentTotal ? columns * M + m
                                        : view.show == ShowAs::PercentRow ? size_t{node} * width + columns * M + m
                                                                          : c * M + m;
                    const std::optional<double> p = percent(h[c * M + m] ? std::optional<double>(v[c * M + m]) : std::nullopt,
                                                            nodeHas[base] ? std::optional<double>(nodeSums[base]) : std::nullopt);
                    shown[c * M + m] = p.value_or(0.0);
                    shownHas[c * M + m] = p.has_value();
                }
            v = shown.data();
            h = shownHas.data();
        }
        grid.add(kind, prefix.data(), prefix.size(), v, h);
    };
    auto collapsed = [&](size_t level, int r) {
        if (level >= view.collapsed.size()) return false;
        const PivotView::Collapse& c = view.collapsed[level];
        return c.all || c.keys.count(members[level][static_cast<size_t>(r)].key) > 0;
    };
    std::function<void(uint32_t, size_t)> emit = [&](uint32_t node, size_t level) {
        std::vector<uint32_t> order;
        for (uint32_t c = nodes[node].firstChild; c != kNoNode; c = nodes[c].nextSibling) order.push_back(c);
        if (view.sortMeasure && *view.sortMeasure < in.measures) {
            const size_t m = *view.sortMeasure;
            std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                const std::optional<double> va = valueOf(a, sortColumn, m), vb = valueOf(b, sortColumn, m);
                if (!va || !vb) return va.has_value() && !vb.has_value();  // lines without a value last
                return view.sortDescending ? *va > *vb : *va < *vb;
            });
        }
        for (uint32_t child : order) {
            const int r = nodes[child].rank;
            prefix.push_back(r);
            if (level + 1 == in.rowDims) {
                addLine(kDetail, child);
            } else if (collapsed(level, r)) {
                addLine(kSubtotal, child);  // stands for its group
            } else {
                if (view.subtotals) addLine(kSubtotal, child);
                emit(child, level + 1);
            }
            prefix.pop_back();
        }
    };
    if (in.rowDims > 0) emit(0, 0);
    addLine(kTotal, 0);
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
    if (i + 1 >= grid.Lines()) return false;
    return grid.Kind(i) != "total" && grid.Depth(i + 1) > grid.Depth(i) && grid.SameMembers(i, i + 1, grid.Depth(i));
}

PivotChart BuildChart(const PivotGrid& grid, const std::vector<std::string>& measures, size_t maxSeries, size_t maxCategories) {
    PivotChart chart;
    if (grid.Empty() || measures.empty()) return chart;
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
    std::vector<size_t> lines;
    for (size_t i = 0; i < grid.Lines(); ++i)
        if (grid.Kind(i) != "total" && !HasLinesBelow(grid, i)) lines.push_back(i);
    if (lines.empty()) lines.push_back(grid.Lines() - 1);  // no row dimension: the grand total alone
    const bool othersCategory = lines.size() > maxCategories;
    const size_t shown = othersCategory ? maxCategories - 1 : lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t line = lines[i];
        if (i < shown) {
            chart.categories.push_back(grid.Kind(line) == "total" ? "Total" : joined(grid.Labels(line), " / "));
            for (auto& s : chart.series) s.values.emplace_back();
        } else if (i == shown) {
            chart.categories.push_back("Outros");
            for (auto& s : chart.series) s.values.emplace_back();
        }
        for (size_t k = 0; k < sources.size(); ++k) {
            size_t series = std::min(k, chart.series.size() - 1);
            if (sources[k].measure >= grid.Measures()) throw std::out_of_range("medida fora da grade");
            addTo(chart.series[series].values.back(), grid.Value(line, sources[k].column, sources[k].measure));
        }
    }
    return chart;
}
