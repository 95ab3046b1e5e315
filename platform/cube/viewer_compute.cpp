// Computing the view: the catalogue, one plan per fact table (its measures, its dimension columns,
// its filters), every statement checked before any runs, then the statements on the client's database
// (the application server when that cannot answer), and the rows assembled into cells coded once.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <functional>
#include <map>
#include <thread>

#include "catalogue.hpp"
#include "cube_statement.hpp"
#include "data/access_rules.hpp"
#include "data/aggregates.hpp"
#include "fwk/host_bridge.hpp"
#include "selection.hpp"
#include "services/cube.hpp"
#include "services/messages.hpp"
#include "services/net_connection.hpp"
#include "services/query.hpp"
#include "services/session.hpp"
#include "viewer.hpp"

namespace {

const char* kWaiting = "Recebendo dados do Servidor";  // the framework's text for server and database waits

using StatementRunner = std::function<PacketRows(const std::string&, const SqlParams&)>;

// The operator's access rules, resolved as the member list resolves them (data/access_rules.hpp):
// each restricted dimension's sequence number with the keys it allows, as a subquery.
std::map<std::string, CubeRestriction> readRules(const StatementRunner& run) {
    const std::string op = Operador();
    std::map<std::string, CubeRestriction> rules;
    for (const auto& row : run(kRestrictedDimensionsSql, {{"P_CDOPERADOR", op}})) {
        const std::string& sequence = row.at(1);
        std::string n = std::to_string(rules.size());
        CubeRestriction r;
        r.params = {{"R" + n, sequence}, {"O" + n, op}};
        r.allowedKeys = AllowedKeysSql(row.at(0), ":R" + n, ":O" + n);
        rules.try_emplace(sequence, std::move(r));
    }
    return rules;
}

// Sums come as the database writes them ("150.75"): read them without regard to the process's
// locale, which the desktop's toolkit sets from the system (a decimal comma would cut "150.75" to 150).
std::optional<double> number(const std::string& text) {
    if (text.empty()) return std::nullopt;  // SUM over no value
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end == text.data()) return std::nullopt;
    return v;
}

// One fact table's statement: which of the view's measures it sums, under which dimension columns
// (the placed ones first, in the cells' order, then the filtered ones that are not placed).
struct TablePlan {
    std::string table;
    std::vector<size_t> measures;  // indexes into the view's facts
    std::vector<std::string> measureColumns;
    std::vector<CubeDimensionColumn> dims;
};

// Every statement is planned, and its names checked, before any of them runs.
std::vector<TablePlan> planTables(const Catalogue& catalogue, const std::vector<std::string>& facts,
                                  const std::vector<std::string>& placed,
                                  const std::map<std::string, std::vector<std::string>>& selected) {
    std::vector<TablePlan> plans;
    for (size_t m = 0; m < facts.size(); ++m) {
        const Catalogue::Fact& fact = catalogue.fact(facts[m]);
        auto it = std::find_if(plans.begin(), plans.end(), [&](const TablePlan& p) { return p.table == fact.table; });
        if (it == plans.end()) it = plans.insert(plans.end(), TablePlan{fact.table, {}, {}, {}});
        it->measures.push_back(m);
        it->measureColumns.push_back(fact.measure);
    }
    for (TablePlan& plan : plans) {
        auto columnOf = [&](const std::string& name) -> CubeDimensionColumn {
            const auto& d = catalogue.dimension(name);
            const std::string* column = catalogue.column(d, plan.table);
            if (!column) throw ECubeDefinition("A dimensão " + name + " não está ligada à tabela " + plan.table);
            CubeDimensionColumn c{name, *column, d.table, d.key, d.description, true, {}, false};
            if (auto f = selected.find(name); f != selected.end()) {
                c.filtered = true;
                c.filterKeys = f->second;
            }
            return c;
        };
        for (const std::string& name : placed) plan.dims.push_back(columnOf(name));
        // A filtered dimension that is not placed still restricts the tables it is linked to.
        for (auto& [name, keys] : selected) {
            if (std::find(placed.begin(), placed.end(), name) != placed.end()) continue;
            if (!catalogue.column(catalogue.dimension(name), plan.table)) continue;
            CubeDimensionColumn c = columnOf(name);
            c.placed = false;
            plan.dims.push_back(std::move(c));
        }
        ComposeCubeStatement(plan.table, plan.measureColumns, plan.dims);  // raises on a name that cannot go into SQL
    }
    return plans;
}

// The operator sees the totals of the members the rules allow, on every dimension of the fact table,
// placed in the view or not.
std::vector<CubeRestriction> restrictionsOf(const TablePlan& plan, const Catalogue& catalogue,
                                            const std::map<std::string, CubeRestriction>& rules) {
    std::vector<CubeRestriction> restrictions;
    for (auto& [link, column] : catalogue.columns) {
        if (link.second != plan.table) continue;
        if (auto rule = rules.find(link.first); rule != rules.end()) {
            restrictions.push_back(rule->second);
            restrictions.back().column = column;
        }
    }
    return restrictions;
}

// The fact table's smallest fresh summary that holds every column the statement groups, filters or
// restricts by; else the fact table itself. Both give the same totals.
std::string sourceTable(const TablePlan& plan, const std::vector<CubeRestriction>& restrictions,
                        const std::vector<AggregateTable>& fresh) {
    std::vector<std::string> needed;
    for (const CubeDimensionColumn& d : plan.dims) needed.push_back(d.column);
    for (const CubeRestriction& r : restrictions) needed.push_back(r.column);
    const AggregateTable* a = ChooseAggregate(fresh, plan.table, needed);
    return a ? a->table : plan.table;
}

// A statement's rows into the cells (keys of the placed dimensions -> one value per measure), each
// key's label kept the first time it is seen: the row carries the label after the key of every
// dimension with a table of its own.
void addRows(const PacketRows& rows, const TablePlan& plan, size_t placed, size_t measures,
             std::map<std::vector<std::string>, CubeValues>& cells, std::vector<std::map<std::string, std::string>>& labels) {
    for (const auto& row : rows) {
        size_t c = 0;
        std::vector<std::string> keys;
        keys.reserve(placed);
        for (size_t d = 0; d < placed; ++d) {
            std::string key = row.at(c++);
            std::string label = key;
            if (!plan.dims[d].ownTable.empty()) {
                const std::string& described = row.at(c++);
                if (!described.empty()) label = described;  // a key without a row shows the key
            }
            labels[d].try_emplace(key, label);
            keys.push_back(std::move(key));
        }
        CubeValues& values = cells.try_emplace(std::move(keys), CubeValues(measures)).first->second;
        // Added, not set: a table read in parts gives a cell's sum in several rows.
        for (size_t m : plan.measures)
            if (const std::optional<double> v = number(row.at(c++))) values[m] = values[m].value_or(0.0) + *v;
    }
}

// A SQLite fact table of the client's own database large enough to be read in two parts at once,
// one per core: its parts by row number. None for a smaller table, a view, or a database that
// cannot answer (the statement then goes as one, to wherever it is answered).
constexpr int64_t kRowsForTwoParts = 2'000'000;
std::optional<std::pair<CubeRowRange, CubeRowRange>> twoParts(SqlConnection& c, const std::string& table) {
    try {
        // Only a table: a view's rowid is no row number, and asking a view for it would run the view whole.
        if (c.Query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = :T COLLATE NOCASE", {{"T", table}}).rows.empty())
            return std::nullopt;
        const auto rows = c.Query("SELECT MIN(rowid), MAX(rowid) FROM " + table).rows;
        int64_t first = 0, last = 0;
        const std::string &a = rows.at(0).at(0), &b = rows.at(0).at(1);
        if (std::from_chars(a.data(), a.data() + a.size(), first).ec != std::errc() ||
            std::from_chars(b.data(), b.data() + b.size(), last).ec != std::errc())
            return std::nullopt;
        if (first <= INT64_MIN + 1 || last - first < kRowsForTwoParts) return std::nullopt;
        const int64_t middle = first + (last - first) / 2;
        return std::pair{CubeRowRange{first - 1, middle}, CubeRowRange{middle, last}};
    } catch (const ESqlError&) {
        return std::nullopt;
    }
}

// The viewer's own time limit for one computation, where one is set: the server calls' deadline and
// the client database's statement limit raised (or lowered) to it, and both given back after.
class ViewTimeLimit {
public:
    ViewTimeLimit() : saved_(GetCallLimits()) {
        const std::optional<std::chrono::seconds> limit = ViewTimeout();
        if (!limit) return;
        CallLimits limits = saved_;
        limits.deadline = *limit;
        SetCallLimits(limits);
        if (dtmDBGeral && dtmDBGeral->ADOConnection->Connection) {
            connection_ = dtmDBGeral->ADOConnection->Connection;
            connection_->SetStatementTimeout(*limit);
        }
        set_ = true;
    }
    ~ViewTimeLimit() {
        if (!set_) return;
        SetCallLimits(saved_);
        if (connection_ && dtmDBGeral && dtmDBGeral->ADOConnection->Connection == connection_)
            connection_->SetStatementTimeout(saved_.deadline);
    }
    ViewTimeLimit(const ViewTimeLimit&) = delete;
    ViewTimeLimit& operator=(const ViewTimeLimit&) = delete;

private:
    CallLimits saved_;
    SqlConnection* connection_ = nullptr;  // dtmDBGeral's, not owned
    bool set_ = false;
};

// A view that ran out of time: what the operator can do about it, after the database's own words.
std::string withAdvice(const std::string& error) {
    if (error.find("tempo limite") == std::string::npos) return error;
    return error + ": restrinja a visão com um filtro ou uma página, use menos dimensões, peça ao administrador as "
                   "tabelas de resumo, ou aumente o tempo limite (\"Tempo limite…\" no visualizador)";
}

}  // namespace

PacketRows TfrmCubo::runInParts(SqlConnection& other, const CubeStatement& first,
                                                           const CubeStatement& second) {
    std::atomic<bool> stop{false};
    other.SetCancelFlag(&stop);
    PacketRows secondRows;
    std::exception_ptr failed;
    std::thread reader([&] {
        try {
            secondRows = other.Query(second.sql, second.params, true).rows;
        } catch (...) {
            failed = std::current_exception();
        }
    });
    PacketRows rows;
    try {
        rows = OpenLocal(*query_, first.sql, &first.params).rows;
    } catch (...) {
        stop = true;
        reader.join();
        other.SetCancelFlag(nullptr);
        throw;
    }
    reader.join();
    other.SetCancelFlag(nullptr);
    if (failed) std::rethrow_exception(failed);
    rows.Append(std::move(secondRows));
    return rows;
}

PacketRows TfrmCubo::runStatement(const std::string& sql, const SqlParams& params) {
    try {
        return OpenLocalOrServer(*query_, *net_, sql, &params, "os dados da visão").rows;
    } catch (const EServerError& e) {
        // Too many cells to travel: the operator can make the view smaller, and is told how.
        const std::string error = e.what();
        if (error.find("linhas, o limite do servidor") == std::string::npos) throw;
        throw EServerError(error + ". Para ver esta visão, filtre membros, ponha uma dimensão em Páginas ou use menos dimensões");
    }
}

void TfrmCubo::assemble(std::map<std::vector<std::string>, CubeValues>&& cells) {
    // Into columns, moved out one by one, so the map and the columns are never all whole in memory.
    const size_t measures = input_.measures;
    PivotCells held;
    held.count = cells.size();
    held.values.reserve(cells.size() * measures);
    held.present.reserve(cells.size() * measures);
    std::vector<CubeCell> keyed;
    keyed.reserve(cells.size());
    while (!cells.empty()) {
        auto handle = cells.extract(cells.begin());
        for (size_t m = 0; m < measures; ++m) {
            const std::optional<double>& v = m < handle.mapped().size() ? handle.mapped()[m] : std::nullopt;
            held.values.push_back(v.value_or(0.0));
            held.present.push_back(v.has_value());
        }
        keyed.push_back({std::move(handle.key()), {}});
    }
    // Coded once: every later change of the grid reads integers. The key texts are kept only by code.
    held.codes = EncodeCells(keyed, placedDimensions().size());
    input_.coded = std::move(held);
}

bool TfrmCubo::Compute() {
    // What the viewer shows now, given back if the operator cancels the new computation.
    struct Shown {
        SavedView definition;
        std::vector<std::string> facts, rows, columns;
        std::vector<PageSelector> pages;
        std::vector<std::pair<std::string, std::string>> filters;
        PivotGrid grid;
        std::optional<std::string> message;
        PivotInput input;
        bool computed;
    } previous{std::move(definition_), std::move(Facts), std::move(Rows), std::move(Columns), std::move(Pages),
               std::move(Filters), std::move(Grid), std::move(Message), std::move(input_), computed_};
    const bool hadView = !previous.facts.empty();
    auto cancelled = [&] {
        if (!hadView) {
            fail("Operação cancelada");
            return true;
        }
        definition_ = std::move(previous.definition);
        Facts = std::move(previous.facts);
        Rows = std::move(previous.rows);
        Columns = std::move(previous.columns);
        Pages = std::move(previous.pages);
        Filters = std::move(previous.filters);
        Grid = std::move(previous.grid);
        Message = std::move(previous.message);
        input_ = std::move(previous.input);
        computed_ = previous.computed;
        ++version_;
        return false;
    };
    definition_ = {};
    const auto lists = ModuleLists();
    for (size_t i = 0; i < definition_.lists.size(); ++i) definition_.lists[i] = lists[i]->Items();
    for (int i = 0; i < stlDSfiltro.Count() && i < stlCDfiltro.Count(); ++i) definition_.filters.emplace_back(stlDSfiltro[i], stlCDfiltro[i]);
    Facts = Fatos.Items();
    Rows = Linhas.Items();
    Columns = Colunas.Items();
    Filters = definition_.filters;
    Pages.clear();
    for (const std::string& p : Paginas.Items()) Pages.push_back({p, {}, std::nullopt});
    Grid = {};
    Message.reset();
    input_ = {};
    computed_ = false;

    const std::vector<std::string> placed = placedDimensions();
    try {
        ShowAviScope animation(Application ? Application->MainForm : nullptr, kWaiting);
        const ViewTimeLimit limit;
        const Catalogue catalogue = ReadCatalogue(*net_);
        std::map<std::string, std::vector<std::string>> selected;  // dimension -> keys
        for (auto& [dimension, selection] : Filters) selected[dimension] = ParseSelection(selection);
        const std::vector<TablePlan> plans = planTables(catalogue, Facts, placed, selected);

        input_.rowDims = Rows.size();
        input_.colDims = Columns.size();
        input_.pageDims = Pages.size();
        input_.measures = Facts.size();
        input_.labels.resize(placed.size());
        const StatementRunner run = [this](const std::string& sql, const SqlParams& params) { return runStatement(sql, params); };
        const std::map<std::string, CubeRestriction> rules = readRules(run);
        const std::vector<AggregateTable> fresh = FreshAggregates(*query_, *net_);
        std::map<std::vector<std::string>, CubeValues> cells;
        std::unique_ptr<SqlConnection> other;  // a second connection to the client's SQLite file, once one pays
        for (const TablePlan& plan : plans) {
            const std::vector<CubeRestriction> restrictions = restrictionsOf(plan, catalogue, rules);
            const std::string source = sourceTable(plan, restrictions, fresh);
            std::optional<std::pair<CubeRowRange, CubeRowRange>> parts;
            if (source == plan.table && dtmDBGeral) {
                // No summary serves: a large fact table is read in two halves at once, one per core.
                if (!other) other = dtmDBGeral->OpenAnotherSqlite();
                if (other) parts = twoParts(*other, source);
            }
            if (parts) {
                const CubeStatement first = ComposeCubeStatement(source, plan.measureColumns, plan.dims, restrictions, parts->first);
                const CubeStatement second = ComposeCubeStatement(source, plan.measureColumns, plan.dims, restrictions, parts->second);
                addRows(runInParts(*other, first, second), plan, placed.size(), Facts.size(), cells, input_.labels);
                continue;
            }
            CubeStatement st = ComposeCubeStatement(source, plan.measureColumns, plan.dims, restrictions);
            addRows(run(st.sql, st.params), plan, placed.size(), Facts.size(), cells, input_.labels);
        }
        assemble(std::move(cells));
    } catch (const EAbort&) {
        return cancelled();
    } catch (const ECallCancelled&) {
        return cancelled();
    } catch (const std::exception& e) {
        fail(withAdvice(e.what()));
        return true;
    }
    input_.pageChoice.assign(Pages.size(), std::nullopt);
    computed_ = true;
    pivot();
    // The statements' rows and the keys' texts were freed on the way: give their pages back, so a
    // large view holds only what it keeps.
    malloc_trim(0);
    return true;
}
