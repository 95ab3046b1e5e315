// TClientDataSet: an in-memory data set of string fields, loaded whole from data packets. The data
// set keeps the packet it was loaded from and reads its rows in place, sharing them with whoever
// else holds the packet; the first change of a value copies the rows (copy on write).
// Fields are either persistent (declared with AddStringField before the first load; a packet must
// then carry each of them, and other packet columns are ignored) or, when none was declared, made
// from the packet's metadata. The cursor runs over the records that pass the filter (when Filtered),
// in the order of the active index (text order of its field) or in delivery order. Loading replaces
// every record and keeps the filter. Equality conditions are answered from a per-field hash index
// built at load (LookupFields) or on first use and dropped when that field's values change, so
// setting a filter does not scan all records. The load indexes of a large packet are built on a
// thread of their own while the caller goes on; a lookup, change or load waits for them. Fields are
// owned by the data set; TField pointers stay valid for its lifetime.
#pragma once

#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "filter_expression.hpp"
#include "packet.hpp"
#include "core/component.hpp"

class TClientDataSet;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit };

class TField {
public:
    TField(TClientDataSet* ds, std::string name, int size, bool fixed)
        : FieldName(std::move(name)), DisplayLabel(FieldName), Size(size), FixedChar(fixed), ds_(ds) {}
    virtual ~TField() = default;

    std::string FieldName;
    std::string DisplayLabel;
    int Size;
    bool FixedChar;
    bool Visible = true;

    // Value of the current record (of the edit buffer while editing); empty when there is no record.
    std::string AsString() const;
    // Only while the data set is being edited; raises otherwise.
    void SetAsString(const std::string& v);

private:
    friend class TClientDataSet;
    TClientDataSet* ds_;
    int column_ = -1;  // column in the record storage
};

class TStringField : public TField {
public:
    using TField::TField;
};

class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TClientDataSet : public TComponent {
public:
    using TComponent::TComponent;

    // Declares a persistent string field (before loading).
    TStringField* AddStringField(const std::string& name, int size, bool fixed = false);
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TField* Fields(int i) const { return fields_.at(static_cast<size_t>(i)).get(); }
    TField* FindField(const std::string& name) const;  // without case; nullptr when absent
    TField* FieldByName(const std::string& name) const;  // raises when absent

    // Replaces every record with the packet's (the "Data" assignment).
    void SetData(const DataPacket& p);
    void SetData(std::shared_ptr<const DataPacket> p);
    // Whether the records were last loaded from that very packet (edited since, or not).
    bool LoadedFrom(const std::shared_ptr<const DataPacket>& p) const { return p && p == loaded_; }
    DataPacket GetData() const;  // every record, unfiltered, in delivery order
    // Opens the data set empty, with its persistent fields.
    void CreateDataSet();
    void Close();
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    TDataSetState State() const { return state_; }
    bool ReadOnly = false;

    std::string Filter() const { return filterText_; }
    void SetFilter(const std::string& expr);  // parsed at once; a bad expression raises
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool f);

    // Active index by field name (empty: delivery order).
    std::string IndexFieldNames() const { return indexField_; }
    void SetIndexFieldNames(const std::string& field);
    // Fields whose equality lookups are prepared at every load, so that the first filter on them after
    // a load is as quick as the next ones.
    std::vector<std::string> LookupFields;
    // Fields linking this data set to a master one; kept for the screens that reset it (no master
    // data sets exist here).
    std::string MasterFields;
    // Named index definitions, activated by SetIndexName.
    void AddIndexDef(const std::string& name, const std::string& field) { indexDefs_[name] = field; }
    void SetIndexName(const std::string& name);

    void First();
    void Next();
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return view().empty(); }
    int RecordCount() const { return static_cast<int>(view().size()); }
    int TotalRecordCount() const { return data_ ? static_cast<int>(data_->rows.size()) : 0; }

    void Edit();
    void Post();
    void Cancel();

private:
    friend class TField;
    const std::vector<int>& view() const;
    void invalidateView() { viewValid_ = false; }
    void restoreFrom(const DataPacket& p);
    int currentRecord() const;
    std::span<const int> hashLookup(int column, const std::string& value) const;
    // Waits for the load index of that column being built aside (-1: every one) and takes it in.
    void settleLookups(int column = -1) const;
    const std::vector<int>& orderedRecords() const;
    bool passes(int rec) const;
    void requireActive() const;

    const std::string& cell(int rec, int column) const {
        return data_->rows[static_cast<size_t>(rec)][source_[static_cast<size_t>(column)]];
    }
    size_t recordCount() const { return data_ ? data_->rows.size() : 0; }

    std::vector<std::unique_ptr<TField>> fields_;
    bool persistent_ = false;
    std::shared_ptr<const DataPacket> data_;  // the rows, maybe shared with others
    std::shared_ptr<const DataPacket> loaded_;  // the packet SetData was last given
    std::vector<std::pair<int, int>> edited_;   // (record, field) of every cell Post changed since
    std::shared_ptr<DataPacket> own_;         // the same rows once this data set has copied them to change one
    std::vector<size_t> source_;              // packet column of each field
    TDataSetState state_ = TDataSetState::dsInactive;
    std::vector<std::string> editBuffer_;

    std::string filterText_;
    std::vector<FilterCondition> conditions_;
    std::vector<int> conditionColumns_;
    bool filtered_ = false;

    std::string indexField_;
    std::unordered_map<std::string, std::string> indexDefs_;

    mutable std::vector<int> view_;
    mutable bool viewValid_ = false;
    mutable std::vector<int> order_;  // records in index order
    mutable bool orderValid_ = false;
    mutable std::vector<int> rank_;   // record -> position in order_
    // Lookup index of one column: the records of each distinct value, in delivery order, side by side
    // in `ids`. Values are found in an open-addressing table whose keys view the stored values; an
    // index is dropped before any value of its column changes.
    struct ValueIndex {
        struct Slot {
            std::string_view key;
            int group = -1;  // -1: empty
        };
        std::vector<Slot> table;  // size a power of two, at most half full
        std::vector<int> first, count;  // per group: its range in ids
        std::vector<int> ids;
        int find(std::string_view value) const;
        int findOrAdd(std::string_view value);
    };
    static ValueIndex indexOf(const DataPacket& p, size_t packetColumn);
    mutable std::unordered_map<int, ValueIndex> hash_;  // column -> index
    // The load indexes being built aside (column, index), in LookupFields order by one task that
    // holds the packet; `building_` ends when the last is done.
    mutable std::vector<std::pair<int, std::future<ValueIndex>>> pending_;
    mutable std::future<void> building_;
    int cursor_ = 0;
    bool eof_ = true;
};
