// TStringList: an ordered list of texts. Unsorted lists keep insertion order. A sorted list keeps its
// entries in text order (text_order.hpp); with Duplicates = dupIgnore, adding a text equal to an entry
// without regard to case adds nothing. Lists with CaseSensitive set compare exactly in IndexOf.
#pragma once

#include <string>
#include <vector>

enum class TDuplicates { dupAccept, dupIgnore, dupError };

class TStringList {
public:
    bool Sorted() const { return sorted_; }
    void SetSorted(bool s);
    TDuplicates Duplicates = TDuplicates::dupAccept;
    bool CaseSensitive = false;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
    const std::string& Strings(int i) const { return (*this)[i]; }
    // Index of the entry added, or -1 when a sorted list ignored a duplicate.
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { items_.clear(); }
    // First entry equal to s (without case unless CaseSensitive), or -1. Binary search when sorted.
    int IndexOf(const std::string& s) const;
    void Assign(const TStringList& other) { items_ = other.items_; }
    const std::vector<std::string>& Items() const { return items_; }
    // Lines joined by "\n" (the text of a SQL property, for example).
    std::string Text() const;

private:
    bool equal(const std::string& a, const std::string& b) const;
    bool sorted_ = false;
    std::vector<std::string> items_;
};
