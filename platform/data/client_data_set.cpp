#include "client_data_set.hpp"

#include <algorithm>

#include "field_name.hpp"
#include "toolkit/text_order.hpp"

// ---- TField ----------------------------------------------------------------------------------

std::string TField::AsString() const {
    if (ds_->state_ == TDataSetState::dsEdit) return ds_->editBuffer_.at(static_cast<size_t>(column_));
    int rec = ds_->currentRecord();
    return rec < 0 ? std::string() : ds_->records_[static_cast<size_t>(rec)][static_cast<size_t>(column_)];
}

void TField::SetAsString(const std::string& v) {
    if (ds_->state_ != TDataSetState::dsEdit)
        throw EDatabaseError(ds_->Name + ": o conjunto de dados não está em modo de edição");
    ds_->editBuffer_.at(static_cast<size_t>(column_)) = v;
}

// ---- TClientDataSet ----------------------------------------------------------------------------

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

void TClientDataSet::SetData(const DataPacket& p) {
    if (state_ == TDataSetState::dsEdit) Cancel();
    std::vector<int> source;  // packet column of each field
    if (persistent_) {
        for (auto& f : fields_) {
            int col = p.FieldIndex(f->FieldName);
            if (col < 0) throw EDatabaseError(Name + ": campo '" + f->FieldName + "' não encontrado no pacote de dados");
            source.push_back(col);
        }
    } else {
        fields_.clear();
        for (size_t i = 0; i < p.fields.size(); ++i) {
            fields_.push_back(std::make_unique<TStringField>(this, p.fields[i].name, p.fields[i].size, p.fields[i].fixed));
            source.push_back(static_cast<int>(i));
        }
    }
    std::vector<std::vector<std::string>> records;
    records.reserve(p.rows.size());
    for (auto& row : p.rows) {
        std::vector<std::string> rec;
        rec.reserve(source.size());
        for (int col : source) rec.push_back(row.at(static_cast<size_t>(col)));
        records.push_back(std::move(rec));
    }
    for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->column_ = static_cast<int>(i);
    hash_.clear();  // its keys view the records being replaced
    records_ = std::move(records);
    // The filter stays; its field names are resolved against the (possibly new) fields.
    conditionColumns_.clear();
    for (auto& c : conditions_) conditionColumns_.push_back(FieldByName(c.field)->column_);
    orderValid_ = false;
    invalidateView();
    state_ = TDataSetState::dsBrowse;
    First();
}

DataPacket TClientDataSet::GetData() const {
    DataPacket p;
    for (auto& f : fields_) p.fields.push_back({f->FieldName, f->Size, f->FixedChar, "string"});
    p.rows = records_;
    return p;
}

void TClientDataSet::CreateDataSet() {
    DataPacket empty;
    for (auto& f : fields_) empty.fields.push_back({f->FieldName, f->Size, f->FixedChar, "string"});
    SetData(empty);
}

void TClientDataSet::Close() {
    hash_.clear();
    records_.clear();
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
        order_.resize(records_.size());
        for (size_t i = 0; i < records_.size(); ++i) order_[i] = static_cast<int>(i);
        if (!indexField_.empty()) {
            size_t col = static_cast<size_t>(FieldByName(indexField_)->column_);
            std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
                return CompareTextOrder(records_[static_cast<size_t>(a)][col], records_[static_cast<size_t>(b)][col]) < 0;
            });
        }
        rank_.assign(records_.size(), 0);
        for (size_t i = 0; i < order_.size(); ++i) rank_[static_cast<size_t>(order_[i])] = static_cast<int>(i);
        orderValid_ = true;
    }
    return order_;
}

std::span<const int> TClientDataSet::hashLookup(int column, const std::string& value) const {
    auto it = hash_.find(column);
    if (it == hash_.end()) {
        // Two passes: number the distinct values and count them, then place the records of each
        // value side by side, so the index costs one map and one array.
        ValueIndex index;
        std::vector<int> groupOf(records_.size());
        std::vector<int> counts;
        index.ranges.reserve(records_.size() / 4 + 16);
        for (size_t r = 0; r < records_.size(); ++r) {
            std::string_view v = records_[r][static_cast<size_t>(column)];
            auto [slot, added] = index.ranges.try_emplace(v, static_cast<int>(counts.size()), 0);
            if (added) counts.push_back(0);
            groupOf[r] = slot->second.first;
            ++counts[static_cast<size_t>(groupOf[r])];
        }
        std::vector<int> start(counts.size() + 1, 0);
        for (size_t g = 0; g < counts.size(); ++g) start[g + 1] = start[g] + counts[g];
        for (auto& [v, range] : index.ranges) range = {start[static_cast<size_t>(range.first)], counts[static_cast<size_t>(range.first)]};
        index.ids.resize(records_.size());
        std::vector<int> next(start.begin(), start.end() - 1);
        for (size_t r = 0; r < records_.size(); ++r) index.ids[static_cast<size_t>(next[static_cast<size_t>(groupOf[r])]++)] = static_cast<int>(r);
        it = hash_.emplace(column, std::move(index)).first;
    }
    auto hit = it->second.ranges.find(value);
    if (hit == it->second.ranges.end()) return {};
    return std::span<const int>(it->second.ids).subspan(static_cast<size_t>(hit->second.first), static_cast<size_t>(hit->second.second));
}

bool TClientDataSet::passes(int rec) const {
    const auto& row = records_[static_cast<size_t>(rec)];
    for (size_t i = 0; i < conditions_.size(); ++i) {
        bool eq = row[static_cast<size_t>(conditionColumns_[i])] == conditions_[i].value;
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
    editBuffer_ = records_[static_cast<size_t>(rec)];
    state_ = TDataSetState::dsEdit;
}

void TClientDataSet::Post() {
    if (state_ != TDataSetState::dsEdit) return;
    state_ = TDataSetState::dsBrowse;
    int rec = currentRecord();
    auto& row = records_[static_cast<size_t>(rec)];
    bool filterTouched = false;
    for (size_t c = 0; c < row.size(); ++c) {
        if (row[c] == editBuffer_[c]) continue;
        hash_.erase(static_cast<int>(c));  // its keys view the value about to change
        row[c] = editBuffer_[c];
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
