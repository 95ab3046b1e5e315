#include "client_data_set.hpp"

#include <algorithm>
#include <cstring>

#include <sys/resource.h>
#include <unistd.h>

#include "field_name.hpp"
#include "core/text_order.hpp"

// ---- TField ----------------------------------------------------------------------------------

std::string TField::AsString() const {
    if (ds_->state_ == TDataSetState::dsEdit) return ds_->editBuffer_.at(static_cast<size_t>(column_));
    int rec = ds_->currentRecord();
    return rec < 0 ? std::string() : ds_->cell(rec, column_);
}

void TField::SetAsString(const std::string& v) {
    if (ds_->state_ != TDataSetState::dsEdit)
        throw EDatabaseError(ds_->Name + ": o conjunto de dados não está em modo de edição");
    ds_->editBuffer_.at(static_cast<size_t>(column_)) = v;
}

// ---- TClientDataSet ----------------------------------------------------------------------------

namespace {
// The load indexes of at least this many records are built aside, on a thread of their own.
constexpr size_t kRecordsIndexedAside = 50000;
}  // namespace

TStringField* TClientDataSet::AddStringField(const std::string& name, int size, bool fixed) {
    if (!persistent_) fields_.clear();
    persistent_ = true;
    auto f = std::make_unique<TStringField>(this, name, size, fixed);
    TStringField* raw = f.get();
    raw->column_ = static_cast<int>(fields_.size());
    fields_.push_back(std::move(f));
    return raw;
}

TField* TClientDataSet::FindField(const std::string& name) const {
    for (auto& f : fields_)
        if (SameFieldName(f->FieldName, name)) return f.get();
    return nullptr;
}

TField* TClientDataSet::FieldByName(const std::string& name) const {
    if (TField* f = FindField(name)) return f;
    throw EDatabaseError(Name + ": campo '" + name + "' não encontrado");
}

void TClientDataSet::SetData(const DataPacket& p) { SetData(std::make_shared<const DataPacket>(p)); }

void TClientDataSet::SetData(std::shared_ptr<const DataPacket> p) {
    if (state_ == TDataSetState::dsEdit) Cancel();
    if (p && p == data_ && state_ == TDataSetState::dsBrowse) {
        // The very packet held (an unchanged answer the connection kept; an edited data set holds its
        // own copy instead): the fields, indexes and filtered view built over it all still hold.
        First();
        return;
    }
    if (p && p == loaded_ && own_ && state_ == TDataSetState::dsBrowse && own_->rows.size() == p->rows.size()) {
        restoreFrom(*p);
        return;
    }
    std::vector<size_t> source;  // packet column of each field
    if (persistent_) {
        for (auto& f : fields_) {
            int col = p->FieldIndex(f->FieldName);
            if (col < 0) throw EDatabaseError(Name + ": campo '" + f->FieldName + "' não encontrado no pacote de dados");
            source.push_back(static_cast<size_t>(col));
        }
    } else {
        fields_.clear();
        for (size_t i = 0; i < p->fields.size(); ++i) {
            fields_.push_back(std::make_unique<TStringField>(this, p->fields[i].name, p->fields[i].size, p->fields[i].fixed));
            source.push_back(i);
        }
    }
    for (auto& row : p->rows)
        if (row.size() != p->fields.size()) throw EDatabaseError(Name + ": linha do pacote com número de colunas diferente dos campos");
    for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->column_ = static_cast<int>(i);
    settleLookups();
    hash_.clear();  // its keys view the rows being replaced
    source_ = std::move(source);
    edited_.clear();
    // The rows replaced: let go of here, or by the task below once it has built the new indexes.
    std::vector<std::shared_ptr<const DataPacket>> replaced{std::move(loaded_), std::move(data_), std::move(own_)};
    loaded_ = p;
    data_ = std::move(p);
    // The filter stays; its field names are resolved against the (possibly new) fields.
    conditionColumns_.clear();
    for (auto& c : conditions_) conditionColumns_.push_back(FieldByName(c.field)->column_);
    orderValid_ = false;
    invalidateView();
    state_ = TDataSetState::dsBrowse;
    std::vector<std::pair<int, size_t>> lookups;  // (field column, packet column)
    for (const std::string& field : LookupFields)
        if (TField* f = FindField(field)) lookups.emplace_back(f->column_, source_[static_cast<size_t>(f->column_)]);
    if (recordCount() >= kRecordsIndexedAside && !lookups.empty()) {
        // One task, the columns in order: the first field listed (the one filtered at once) is ready
        // first, without sharing the processor with the others.
        std::vector<std::pair<size_t, std::promise<ValueIndex>>> promised;
        for (auto [column, source] : lookups) {
            promised.emplace_back(source, std::promise<ValueIndex>());
            pending_.emplace_back(column, promised.back().second.get_future());
        }
        building_ = std::async(std::launch::async, [packet = data_, promised = std::move(promised), replaced = std::move(replaced)]() mutable {
            // Behind the caller's thread for the processor: it goes on loading and drawing meanwhile,
            // and waits for an index only when it needs that one.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
            for (auto& [source, promise] : promised) {
                try {
                    promise.set_value(indexOf(*packet, source));
                } catch (...) {
                    promise.set_exception(std::current_exception());
                }
            }
            replaced.clear();
        });
    } else {
        for (auto [column, source] : lookups) hashLookup(column, std::string());
    }
    First();
}

void TClientDataSet::settleLookups(int column) const {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (column >= 0 && it->first != column) {
            ++it;
            continue;
        }
        hash_.try_emplace(it->first, it->second.get());
        it = pending_.erase(it);
    }
    if (pending_.empty() && building_.valid()) building_.get();
}

// The packet's values back into the cells this data set edited (Post keeps a list of them); only
// what was built over a field that changed is dropped, the other indexes view cells not touched.
void TClientDataSet::restoreFrom(const DataPacket& p) {
    std::vector<bool> changed(fields_.size(), false);
    for (auto [rec, c] : edited_) {
        const size_t col = source_[static_cast<size_t>(c)];
        std::string& mine = own_->rows[static_cast<size_t>(rec)][col];
        const std::string& theirs = p.rows[static_cast<size_t>(rec)][col];
        if (mine == theirs) continue;
        mine = theirs;
        changed[static_cast<size_t>(c)] = true;
    }
    edited_.clear();
    bool any = false;
    settleLookups();
    for (size_t c = 0; c < changed.size(); ++c) {
        if (!changed[c]) continue;
        any = true;
        hash_.erase(static_cast<int>(c));
        for (const std::string& field : LookupFields)
            if (TField* f = FindField(field); f && f->column_ == static_cast<int>(c)) hashLookup(f->column_, std::string());
    }
    if (any) {
        orderValid_ = false;
        invalidateView();
    }
    First();
}

DataPacket TClientDataSet::GetData() const {
    DataPacket p;
    for (auto& f : fields_) p.fields.push_back({f->FieldName, f->Size, f->FixedChar, "string"});
    for (size_t r = 0; r < recordCount(); ++r) {
        std::vector<std::string> row;
        for (size_t c = 0; c < fields_.size(); ++c) row.push_back(cell(static_cast<int>(r), static_cast<int>(c)));
        p.rows.push_back(std::move(row));
    }
    return p;
}

void TClientDataSet::CreateDataSet() {
    DataPacket empty;
    for (auto& f : fields_) empty.fields.push_back({f->FieldName, f->Size, f->FixedChar, "string"});
    SetData(empty);
}

void TClientDataSet::Close() {
    settleLookups();
    hash_.clear();
    data_.reset();
    loaded_.reset();
    edited_.clear();
    own_.reset();
    orderValid_ = false;
    invalidateView();
    state_ = TDataSetState::dsInactive;
    eof_ = true;
    cursor_ = 0;
}

void TClientDataSet::requireActive() const {
    if (state_ == TDataSetState::dsInactive) throw EDatabaseError(Name + ": o conjunto de dados não está aberto");
}

void TClientDataSet::SetFilter(const std::string& expr) {
    auto conds = ParseFilter(expr);
    std::vector<int> cols;
    for (auto& c : conds) {
        TField* f = FindField(c.field);
        if (!f && (persistent_ || Active())) throw EFilterError(Name + ": campo '" + c.field + "' não encontrado no filtro");
        cols.push_back(f ? f->column_ : -1);
    }
    if (state_ == TDataSetState::dsEdit) Post();
    filterText_ = expr;
    conditions_ = std::move(conds);
    conditionColumns_ = std::move(cols);
    invalidateView();
    if (Active()) First();
}

void TClientDataSet::SetFiltered(bool f) {
    if (f == filtered_) return;
    if (state_ == TDataSetState::dsEdit) Post();
    filtered_ = f;
    invalidateView();
    if (Active()) First();
}

void TClientDataSet::SetIndexFieldNames(const std::string& field) {
    if (!field.empty() && Active()) FieldByName(field);
    indexField_ = field;
    orderValid_ = false;
    invalidateView();
    if (Active()) First();
}

void TClientDataSet::SetIndexName(const std::string& name) {
    auto it = indexDefs_.find(name);
    if (it == indexDefs_.end()) throw EDatabaseError(Name + ": índice '" + name + "' não encontrado");
    SetIndexFieldNames(it->second);
}

const std::vector<int>& TClientDataSet::orderedRecords() const {
    if (!orderValid_) {
        order_.resize(recordCount());
        for (size_t i = 0; i < recordCount(); ++i) order_[i] = static_cast<int>(i);
        if (!indexField_.empty()) {
            // Each value folded once, then the keys compared as bytes.
            int col = FieldByName(indexField_)->column_;
            std::vector<std::string> keys(recordCount());
            for (size_t i = 0; i < keys.size(); ++i) keys[i] = TextOrderKey(cell(static_cast<int>(i), col));
            std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)]; });
        }
        rank_.assign(recordCount(), 0);
        for (size_t i = 0; i < order_.size(); ++i) rank_[static_cast<size_t>(order_[i])] = static_cast<int>(i);
        orderValid_ = true;
    }
    return order_;
}

namespace {

// Eight bytes at a time, each word mixed in with a multiply: catalogue codes and names are short.
uint64_t hashOf(std::string_view s) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, s.data() + i, s.size() - i);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

}  // namespace

int TClientDataSet::ValueIndex::find(std::string_view value) const {
    if (table.empty()) return -1;
    size_t mask = table.size() - 1;
    for (size_t i = hashOf(value) & mask;; i = (i + 1) & mask) {
        const Slot& s = table[i];
        if (s.group < 0) return -1;
        if (s.key == value) return s.group;
    }
}

int TClientDataSet::ValueIndex::findOrAdd(std::string_view value) {
    if ((count.size() + 1) * 2 > table.size()) {
        // Twice as many table, every key placed again.
        std::vector<Slot> old = std::move(table);
        table.assign(std::max<size_t>(64, old.size() * 2), Slot{});
        size_t mask = table.size() - 1;
        for (const Slot& s : old) {
            if (s.group < 0) continue;
            size_t i = hashOf(s.key) & mask;
            while (table[i].group >= 0) i = (i + 1) & mask;
            table[i] = s;
        }
    }
    size_t mask = table.size() - 1;
    size_t i = hashOf(value) & mask;
    for (; table[i].group >= 0; i = (i + 1) & mask)
        if (table[i].key == value) return table[i].group;
    table[i] = {value, static_cast<int>(count.size())};
    count.push_back(0);
    return table[i].group;
}

// Two passes: number the distinct values and count them, then place the records of each value side
// by side. Records of one value tend to come in runs (links listed fact by fact, facts area by
// area): a record like the one before it joins its group without a look in the table.
TClientDataSet::ValueIndex TClientDataSet::indexOf(const DataPacket& p, size_t packetColumn) {
    ValueIndex index;
    const size_t records = p.rows.size();
    std::vector<int> groupOf(records);
    std::string_view previous;
    int g = -1;
    for (size_t r = 0; r < records; ++r) {
        const std::string_view value = p.rows[r][packetColumn];
        if (g < 0 || value != previous) g = index.findOrAdd(value);
        previous = value;
        groupOf[r] = g;
        ++index.count[static_cast<size_t>(g)];
    }
    index.first.assign(index.count.size(), 0);
    for (size_t i = 1; i < index.count.size(); ++i) index.first[i] = index.first[i - 1] + index.count[i - 1];
    index.ids.resize(records);
    std::vector<int> next = index.first;
    for (size_t r = 0; r < records; ++r) index.ids[static_cast<size_t>(next[static_cast<size_t>(groupOf[r])]++)] = static_cast<int>(r);
    return index;
}

std::span<const int> TClientDataSet::hashLookup(int column, const std::string& value) const {
    settleLookups(column);
    auto it = hash_.find(column);
    if (it == hash_.end()) it = hash_.emplace(column, indexOf(*data_, source_[static_cast<size_t>(column)])).first;
    int g = it->second.find(value);
    if (g < 0) return {};
    return std::span<const int>(it->second.ids).subspan(static_cast<size_t>(it->second.first[static_cast<size_t>(g)]),
                                                         static_cast<size_t>(it->second.count[static_cast<size_t>(g)]));
}

bool TClientDataSet::passes(int rec) const {
    for (size_t i = 0; i < conditions_.size(); ++i) {
        bool eq = cell(rec, conditionColumns_[i]) == conditions_[i].value;
        if (eq != conditions_[i].equal) return false;
    }
    return true;
}

const std::vector<int>& TClientDataSet::view() const {
    if (viewValid_) return view_;
    const auto& order = orderedRecords();
    view_.clear();
    if (!filtered_ || conditions_.empty()) {
        view_ = order;
    } else {
        auto eq = std::find_if(conditions_.begin(), conditions_.end(), [](auto& c) { return c.equal; });
        if (eq != conditions_.end()) {
            size_t k = static_cast<size_t>(eq - conditions_.begin());
            for (int r : hashLookup(conditionColumns_[k], eq->value))
                if (passes(r)) view_.push_back(r);
            if (!indexField_.empty())
                std::sort(view_.begin(), view_.end(), [&](int a, int b) { return rank_[static_cast<size_t>(a)] < rank_[static_cast<size_t>(b)]; });
        } else {
            for (int r : order)
                if (passes(r)) view_.push_back(r);
        }
    }
    viewValid_ = true;
    return view_;
}

int TClientDataSet::currentRecord() const {
    const auto& v = view();
    if (v.empty() || cursor_ < 0 || static_cast<size_t>(cursor_) >= v.size()) return -1;
    return v[static_cast<size_t>(cursor_)];
}

void TClientDataSet::First() {
    requireActive();
    if (state_ == TDataSetState::dsEdit) Post();
    cursor_ = 0;
    eof_ = view().empty();
}

void TClientDataSet::Next() {
    requireActive();
    if (state_ == TDataSetState::dsEdit) Post();
    const auto& v = view();
    if (static_cast<size_t>(cursor_) + 1 < v.size()) ++cursor_;
    else eof_ = true;
}

void TClientDataSet::Edit() {
    requireActive();
    if (ReadOnly) throw EDatabaseError(Name + ": o conjunto de dados é somente leitura");
    if (state_ == TDataSetState::dsEdit) return;
    int rec = currentRecord();
    if (rec < 0) throw EDatabaseError(Name + ": não há registro para editar");
    editBuffer_.clear();
    for (size_t c = 0; c < fields_.size(); ++c) editBuffer_.push_back(cell(rec, static_cast<int>(c)));
    state_ = TDataSetState::dsEdit;
}

void TClientDataSet::Post() {
    if (state_ != TDataSetState::dsEdit) return;
    state_ = TDataSetState::dsBrowse;
    int rec = currentRecord();
    bool filterTouched = false;
    for (size_t c = 0; c < fields_.size(); ++c) {
        if (cell(rec, static_cast<int>(c)) == editBuffer_[c]) continue;
        settleLookups();  // an index still being built would come back after the one dropped here
        if (!own_) {
            // The first change: this data set takes its own copy of the rows, and every lookup
            // index goes with the rows it viewed.
            own_ = std::make_shared<DataPacket>(*data_);
            data_ = own_;
            hash_.clear();
        }
        hash_.erase(static_cast<int>(c));  // its keys view the value about to change
        own_->rows[static_cast<size_t>(rec)][source_[c]] = editBuffer_[c];
        edited_.emplace_back(rec, static_cast<int>(c));
        if (!indexField_.empty() && SameFieldName(fields_[c]->FieldName, indexField_)) orderValid_ = false;
        if (std::find(conditionColumns_.begin(), conditionColumns_.end(), static_cast<int>(c)) != conditionColumns_.end())
            filterTouched = true;
    }
    editBuffer_.clear();
    if (!orderValid_ || (filtered_ && filterTouched)) {
        // The record may have moved or left the filter: the cursor stays at the same position, which
        // is then the record that followed it, as users of filtered lists expect.
        invalidateView();
        const auto& v = view();
        auto it = std::find(v.begin(), v.end(), rec);
        if (it != v.end()) cursor_ = static_cast<int>(it - v.begin());
        else if (static_cast<size_t>(cursor_) >= v.size()) eof_ = true;
    }
}

void TClientDataSet::Cancel() {
    if (state_ == TDataSetState::dsEdit) state_ = TDataSetState::dsBrowse;
    editBuffer_.clear();
}
