#include "string_list.hpp"

#include <algorithm>
#include <stdexcept>

#include "core/text_order.hpp"

namespace {
bool before(const std::string& a, const std::string& b) { return CompareTextOrder(a, b) < 0; }
}  // namespace

void TStringList::SetSorted(bool s) {
    if (s && !sorted_) std::stable_sort(items_.begin(), items_.end(), before);
    sorted_ = s;
}

bool TStringList::equal(const std::string& a, const std::string& b) const {
    return CaseSensitive ? a == b : SameTextIgnoreCase(a, b);
}

int TStringList::Add(const std::string& s) {
    if (!sorted_) {
        items_.push_back(s);
        return Count() - 1;
    }
    auto it = std::lower_bound(items_.begin(), items_.end(), s, before);
    // Entries equal without case sit next to each other in text order, right at or before `it`.
    bool dup = (it != items_.end() && SameTextIgnoreCase(*it, s)) ||
               (it != items_.begin() && SameTextIgnoreCase(*(it - 1), s));
    if (dup && Duplicates == TDuplicates::dupIgnore) return -1;
    if (dup && Duplicates == TDuplicates::dupError) throw std::runtime_error("A lista não permite duplicatas");
    it = std::upper_bound(items_.begin(), items_.end(), s, before);
    return static_cast<int>(items_.insert(it, s) - items_.begin());
}

void TStringList::Insert(int index, const std::string& s) {
    if (sorted_) throw std::logic_error("Operação não permitida em lista ordenada");
    if (index < 0 || index > Count()) throw std::out_of_range("Índice de lista fora dos limites");
    items_.insert(items_.begin() + index, s);
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("Índice de lista fora dos limites");
    items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const {
    if (sorted_ && !CaseSensitive) {
        // Entries equal without case form one run in text order; its first one is the answer.
        auto it = std::lower_bound(items_.begin(), items_.end(), s, before);
        while (it != items_.begin() && SameTextIgnoreCase(*(it - 1), s)) --it;
        if (it != items_.end() && SameTextIgnoreCase(*it, s)) return static_cast<int>(it - items_.begin());
        return -1;
    }
    for (size_t i = 0; i < items_.size(); ++i)
        if (equal(items_[i], s)) return static_cast<int>(i);
    return -1;
}

std::string TStringList::Text() const {
    std::string out;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i) out += '\n';
        out += items_[i];
    }
    return out;
}
