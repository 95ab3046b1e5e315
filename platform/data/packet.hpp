// DataPacket: the unit in which records travel between the server, the providers and the client
// data sets: field metadata (name, type, size in characters, fixed flag) and rows of text cells in
// field order. Only string fields exist in this system. JSON form: wire.hpp.
// PacketRows keeps every cell of every row side by side in one vector, with where each row starts:
// a catalogue of a million rows is a few allocations rather than a million, read, freed and indexed
// in one sweep. A row is a view of its cells (`Row`), valid while the rows are neither grown nor
// destroyed; copy it into a vector to keep it longer.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

struct FieldDef {
    std::string name;
    int size = 0;
    bool fixed = false;
    std::string type = "string";
    bool operator==(const FieldDef&) const = default;
};

class PacketRows {
public:
    // The cells of one row, in field order.
    template <class Cell>
    class RowView {
    public:
        using value_type = std::string;
        using iterator = Cell*;
        using const_iterator = Cell*;
        RowView() = default;
        RowView(Cell* begin, size_t size) : begin_(begin), size_(size) {}
        size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        Cell& operator[](size_t i) const { return begin_[i]; }
        Cell& at(size_t i) const {
            if (i >= size_) throw std::out_of_range("coluna fora da linha do pacote");
            return begin_[i];
        }
        Cell* begin() const { return begin_; }
        Cell* end() const { return begin_ + size_; }
        operator std::vector<std::string>() const { return {begin_, begin_ + size_}; }
        bool operator==(const std::vector<std::string>& other) const {
            if (other.size() != size_) return false;
            for (size_t i = 0; i < size_; ++i)
                if (begin_[i] != other[i]) return false;
            return true;
        }

    private:
        Cell* begin_ = nullptr;
        size_t size_ = 0;
    };
    using Row = RowView<const std::string>;
    using MutableRow = RowView<std::string>;

    // Walks the rows, read only; what it yields lives in the iterator, so `for (auto& row : rows)`
    // binds to it. A row is changed through `rows[r][c]`.
    class const_iterator {
    public:
        using value_type = Row;
        using reference = const Row&;
        using difference_type = std::ptrdiff_t;
        const_iterator(const PacketRows* rows, size_t r) : rows_(rows), r_(r) { settle(); }
        const Row& operator*() const { return row_; }
        const Row* operator->() const { return &row_; }
        const_iterator& operator++() {
            ++r_;
            settle();
            return *this;
        }
        bool operator==(const const_iterator& o) const { return r_ == o.r_; }

    private:
        void settle() {
            if (r_ < rows_->size()) row_ = (*rows_)[r_];
        }
        const PacketRows* rows_;
        size_t r_;
        Row row_;
    };
    using iterator = const_iterator;
    using value_type = Row;

    PacketRows() = default;
    PacketRows(std::initializer_list<std::vector<std::string>> rows) : PacketRows(std::vector<std::vector<std::string>>(rows)) {}
    PacketRows(const std::vector<std::vector<std::string>>& rows) {  // NOLINT: as a vector of rows reads
        for (auto& r : rows) push_back(r);
    }

    size_t size() const { return starts_.size() - 1; }
    bool empty() const { return starts_.size() == 1; }
    Row operator[](size_t r) const { return {cells_.data() + starts_[r], starts_[r + 1] - starts_[r]}; }
    MutableRow operator[](size_t r) { return {cells_.data() + starts_[r], starts_[r + 1] - starts_[r]}; }
    Row at(size_t r) const {
        if (r >= size()) throw std::out_of_range("linha fora do pacote");
        return (*this)[r];
    }
    Row back() const { return at(size() - 1); }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Room for `rows` rows of `cellsPerRow` cells each.
    void reserve(size_t rows, size_t cellsPerRow = 0) {
        starts_.reserve(rows + 1);
        if (cellsPerRow) cells_.reserve(rows * cellsPerRow);
    }
    void clear() {
        cells_.clear();
        starts_.assign(1, 0);
    }
    void push_back(const std::vector<std::string>& row) {
        cells_.insert(cells_.end(), row.begin(), row.end());
        starts_.push_back(cells_.size());
    }
    void push_back(std::vector<std::string>&& row) {
        for (auto& c : row) cells_.push_back(std::move(c));
        starts_.push_back(cells_.size());
    }
    // Every row of `other` after these.
    void Append(PacketRows&& other) {
        const size_t base = cells_.size();
        cells_.reserve(base + other.cells_.size());
        for (auto& c : other.cells_) cells_.push_back(std::move(c));
        for (size_t r = 1; r < other.starts_.size(); ++r) starts_.push_back(base + other.starts_[r]);
        other.clear();
    }
    // A row built in place: its cells appended one by one, then the row closed.
    std::string& AddCell() { return cells_.emplace_back(); }
    void EndRow() { starts_.push_back(cells_.size()); }

    bool operator==(const PacketRows&) const = default;
    bool operator==(const std::vector<std::vector<std::string>>& other) const;

private:
    std::vector<std::string> cells_;
    std::vector<size_t> starts_{0};  // where each row starts in cells_, and one past the last
};

// For test failures: the rows as a list of lists.
void PrintTo(const PacketRows& rows, std::ostream* out);

struct DataPacket {
    std::vector<FieldDef> fields;
    PacketRows rows;
    bool operator==(const DataPacket&) const = default;
    // Position of a field by name, without regard to case; -1 when absent.
    int FieldIndex(const std::string& name) const;
};
