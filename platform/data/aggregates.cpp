#include "aggregates.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

// The view is written by the build in the database's own dialect (kSqliteFreshView, kPostgresFreshView);
// a database built before it existed answers with an error, and then no summary is read.
const char* const kFreshAggregatesSql = "SELECT CDTABELAAGR, CDTABELADW, DSCOLUNAS, QTLINHAS FROM QEL_AGREGADOS_VIGENTES";

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string joined(const std::vector<std::string>& names, const char* separator = ", ") {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : separator) + n;
    return out;
}

int64_t integer(const std::string& text) {
    try {
        return text.empty() ? 0 : std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// A fact table as the catalogue describes it, kept to the columns the table really has.
struct FactTable {
    std::string name;
    std::vector<std::string> dims, measures;
};

// Every change to a fact table moves its number on: row triggers on SQLite, statement triggers on
// PostgreSQL (which also see TRUNCATE, and fire under session_replication_role = replica too). The
// triggers are made anew: ones of the same name may belong to a table renamed away since.
void installChangeNumber(SqlConnection& db, bool postgres, const std::string& table) {
    db.Execute("INSERT INTO QEL_VERSAODW (CDTABELADW, NRVERSAO) SELECT '" + table + "', 0 WHERE NOT EXISTS "
               "(SELECT 1 FROM QEL_VERSAODW WHERE CDTABELADW = '" + table + "')");
    if (postgres) {
        db.Execute("DROP TRIGGER IF EXISTS qel_versao ON " + table + ";"
                   "CREATE TRIGGER qel_versao AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON " + table +
                   " FOR EACH STATEMENT EXECUTE PROCEDURE qel_versao_avancar();"
                   "ALTER TABLE " + table + " ENABLE ALWAYS TRIGGER qel_versao");
        return;
    }
    const std::string bump = " ON " + table + " BEGIN UPDATE QEL_VERSAODW SET NRVERSAO = NRVERSAO + 1 WHERE CDTABELADW = '" + table + "'; END;";
    for (const char* kind : {"I", "U", "D"}) db.Execute("DROP TRIGGER IF EXISTS QEL_VERSAO_" + table + "_" + kind);
    db.Execute("CREATE TRIGGER QEL_VERSAO_" + table + "_I AFTER INSERT" + bump +
               "CREATE TRIGGER QEL_VERSAO_" + table + "_U AFTER UPDATE" + bump +
               "CREATE TRIGGER QEL_VERSAO_" + table + "_D AFTER DELETE" + bump);
}

// What a reload cannot keep: on SQLite the table's row in sqlite_master, its root page and its CREATE
// statement; on PostgreSQL its OID and data file. DROP + CREATE and a rename give another table; on
// SQLite the new one may take the old root page, and its CREATE text may be the same, but its row
// comes after the freshness view's, which every build writes anew. VACUUM (and on PostgreSQL
// TRUNCATE, VACUUM FULL and CLUSTER) may change it too, which only costs a rebuild. Must match the
// views below.
std::string tableIdentity(SqlConnection& db, bool postgres, const std::string& table) {
    const char* sql = postgres ? "SELECT c.oid::text || ':' || c.relfilenode::text FROM pg_class c WHERE c.oid = to_regclass(:T)"
                               : "SELECT rowid || ':' || rootpage || ':' || sql FROM sqlite_master WHERE type = 'table' AND upper(name) = upper(:T)";
    const auto rows = db.Query(sql, {{"T", table}}).rows;
    return rows.empty() ? "" : rows.at(0).at(0);
}

std::vector<FactTable> factTables(SqlConnection& db, bool postgres) {
    std::map<std::string, FactTable> tables;  // by upper-case name
    auto add = [&](const std::string& table, const std::string& column, bool measure) {
        if (!IsPlainSqlIdentifier(table) || !IsPlainSqlIdentifier(column) || table.find('.') != std::string::npos) return;
        FactTable& t = tables[upper(table)];
        t.name = table;
        auto& list = measure ? t.measures : t.dims;
        if (std::find_if(list.begin(), list.end(), [&](const std::string& c) { return upper(c) == upper(column); }) == list.end())
            list.push_back(column);
    };
    for (auto& r : db.Query("SELECT CDTABELADW, CDITEMDW FROM ITEMDW").rows) add(r.at(0), r.at(1), true);
    for (auto& r : db.Query("SELECT CDTABELADW, CDITEMDIME FROM DIMENSAODW").rows) add(r.at(0), r.at(1), false);
    const char* columnsSql = postgres ? "SELECT column_name FROM information_schema.columns WHERE table_schema = current_schema() "
                                        "AND table_name = lower(:T)"
                                      : "SELECT name FROM pragma_table_info(:T)";
    std::vector<FactTable> out;
    for (auto& [key, t] : tables) {
        std::set<std::string> present;
        for (auto& r : db.Query(columnsSql, {{"T", t.name}}).rows) present.insert(upper(r.at(0)));
        auto keep = [&](std::vector<std::string>& list) {
            list.erase(std::remove_if(list.begin(), list.end(), [&](const std::string& c) { return !present.count(upper(c)); }), list.end());
        };
        keep(t.dims);
        keep(t.measures);
        // A column both grouped and summed would be ambiguous in the summary table.
        t.measures.erase(std::remove_if(t.measures.begin(), t.measures.end(), [&](const std::string& m) {
                             return std::any_of(t.dims.begin(), t.dims.end(), [&](const std::string& d) { return upper(d) == upper(m); });
                         }), t.measures.end());
        if (!t.dims.empty() && !t.measures.empty()) out.push_back(std::move(t));
    }
    return out;
}

struct Candidate {
    std::vector<size_t> columns;  // indexes into the fact table's dimensions, ascending
    int64_t estimate = 0;
};

bool covers(const std::vector<size_t>& wide, const std::vector<size_t>& narrow) {
    return std::includes(wide.begin(), wide.end(), narrow.begin(), narrow.end());
}

// Which subsets to build: the ones a view gains from (at most a quarter of the fact table's rows,
// by the product of their columns' distinct counts), cheapest first, while the budget lasts.
std::vector<Candidate> chooseSubsets(const std::vector<int64_t>& distinct, int64_t rows, int64_t budget) {
    constexpr size_t kMaxColumns = 12, kMaxWidth = 4, kMaxTables = 32;
    const size_t n = std::min(distinct.size(), kMaxColumns);
    std::vector<Candidate> all;
    for (uint32_t mask = 1; mask < (1u << n); ++mask) {
        if (static_cast<size_t>(__builtin_popcount(mask)) > kMaxWidth) continue;
        Candidate c;
        int64_t estimate = 1;
        for (size_t i = 0; i < n; ++i)
            if (mask & (1u << i)) {
                c.columns.push_back(i);
                estimate = estimate > rows / std::max<int64_t>(distinct[i], 1) ? rows : estimate * std::max<int64_t>(distinct[i], 1);
            }
        c.estimate = std::min(estimate, rows);
        if (c.estimate * 4 <= rows) all.push_back(std::move(c));
    }
    std::sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
        return a.estimate != b.estimate ? a.estimate < b.estimate : a.columns.size() > b.columns.size();
    });
    std::vector<Candidate> chosen;
    int64_t used = 0;
    for (Candidate& c : all) {
        if (chosen.size() == kMaxTables) break;
        if (used + c.estimate > budget) continue;
        // A wider one as small as this one answers its views as fast.
        if (std::any_of(chosen.begin(), chosen.end(), [&](const Candidate& d) { return covers(d.columns, c.columns); })) continue;
        used += c.estimate;
        chosen.push_back(std::move(c));
    }
    return chosen;
}

class Transaction {
public:
    explicit Transaction(SqlConnection& db) : db_(db) { db_.Execute("BEGIN"); }
    ~Transaction() {
        if (!done_) try {
                db_.Execute("ROLLBACK");
            } catch (...) {
            }
    }
    void Commit() {
        db_.Execute("COMMIT");
        done_ = true;
    }

private:
    SqlConnection& db_;
    bool done_ = false;
};

const char* kCatalogueTables =
    "CREATE TABLE IF NOT EXISTS QEL_AGREGADOS (CDTABELAAGR VARCHAR(63), CDTABELADW VARCHAR(30), DSCOLUNAS VARCHAR(2000), "
    "QTLINHAS BIGINT, NRVERSAO BIGINT, DSIDENTIDADE TEXT);"
    "CREATE TABLE IF NOT EXISTS QEL_VERSAODW (CDTABELADW VARCHAR(30), NRVERSAO BIGINT);";

// A database built by an earlier version lacks the identity column: the table is made again (it is
// rewritten whole by every build anyway), after the view that reads it.
const char* kRecreateSummaryList =
    "DROP VIEW IF EXISTS QEL_AGREGADOS_VIGENTES;"
    "DROP TABLE QEL_AGREGADOS;"
    "CREATE TABLE QEL_AGREGADOS (CDTABELAAGR VARCHAR(63), CDTABELADW VARCHAR(30), DSCOLUNAS VARCHAR(2000), "
    "QTLINHAS BIGINT, NRVERSAO BIGINT, DSIDENTIDADE TEXT);";

// A summary is fresh while its fact table is still the table it was built from (same identity), its
// change number has not moved, and all three triggers that move the number are still on that table
// (dropped with it, or by hand, a write could pass unseen).
const char* kSqliteFreshView =
    "CREATE VIEW QEL_AGREGADOS_VIGENTES AS "
    "SELECT A.CDTABELAAGR, A.CDTABELADW, A.DSCOLUNAS, A.QTLINHAS FROM QEL_AGREGADOS A, QEL_VERSAODW V, sqlite_master T "
    "WHERE V.CDTABELADW = A.CDTABELADW AND V.NRVERSAO = A.NRVERSAO "
    "AND T.type = 'table' AND upper(T.name) = upper(A.CDTABELADW) AND T.rowid || ':' || T.rootpage || ':' || T.sql = A.DSIDENTIDADE "
    "AND (SELECT count(*) FROM sqlite_master G WHERE G.type = 'trigger' AND upper(G.tbl_name) = upper(A.CDTABELADW) "
    "     AND upper(G.name) IN (upper('QEL_VERSAO_' || A.CDTABELADW || '_I'), upper('QEL_VERSAO_' || A.CDTABELADW || '_U'), "
    "                           upper('QEL_VERSAO_' || A.CDTABELADW || '_D'))) = 3";

// The same on PostgreSQL: the trigger must be there and fire always (not disabled, nor only outside
// replica sessions).
const char* kPostgresFreshView =
    "CREATE VIEW qel_agregados_vigentes AS "
    "SELECT a.cdtabelaagr, a.cdtabeladw, a.dscolunas, a.qtlinhas FROM qel_agregados a "
    "JOIN qel_versaodw v ON v.cdtabeladw = a.cdtabeladw AND v.nrversao = a.nrversao "
    "JOIN pg_class c ON c.oid = to_regclass(a.cdtabeladw::text) AND c.oid::text || ':' || c.relfilenode::text = a.dsidentidade "
    "WHERE EXISTS (SELECT 1 FROM pg_trigger g WHERE g.tgrelid = c.oid AND g.tgname = 'qel_versao' AND g.tgenabled = 'A')";

// The trigger function moves the number on as its owner, whoever changed the fact table.
const char* kPostgresChangeFunction =
    "CREATE OR REPLACE FUNCTION qel_versao_avancar() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
    "SET search_path = public AS $f$ BEGIN "
    "UPDATE qel_versaodw SET nrversao = nrversao + 1 WHERE upper(cdtabeladw) = upper(TG_TABLE_NAME); RETURN NULL; END $f$;"
    "REVOKE ALL ON FUNCTION qel_versao_avancar() FROM PUBLIC;";

// The reading role may read the summaries, under the same row policies as their fact tables (no row
// at all until the policies are applied).
const char* kPostgresReaderAccess =
    "DO $$ DECLARE t record; BEGIN "
    "IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'qel_leitor') THEN "
    "  GRANT SELECT ON qel_agregados, qel_versaodw, qel_agregados_vigentes TO qel_leitor; "
    "  FOR t IN SELECT lower(cdtabelaagr) AS name FROM qel_agregados LOOP "
    "    EXECUTE format('GRANT SELECT ON %I TO qel_leitor', t.name); "
    "  END LOOP; "
    "END IF; "
    "IF to_regproc('qel_aplicar_politicas') IS NOT NULL THEN PERFORM qel_aplicar_politicas(); END IF; "
    "END $$";

}  // namespace

bool SameSqlName(const std::string& a, const std::string& b) { return upper(a) == upper(b); }

std::vector<AggregateTable> AggregatesFromRows(const PacketRows& rows) {
    std::vector<AggregateTable> out;
    for (const auto& r : rows) {
        if (r.size() < 4) continue;
        AggregateTable a{r[0], r[1], {}, integer(r[3])};
        for (size_t start = 0; start <= r[2].size();) {
            size_t end = r[2].find(',', start);
            if (end == std::string::npos) end = r[2].size();
            if (end > start) a.columns.push_back(r[2].substr(start, end - start));
            start = end + 1;
        }
        if (IsPlainSqlIdentifier(a.table)) out.push_back(std::move(a));
    }
    return out;
}

const AggregateTable* ChooseAggregate(const std::vector<AggregateTable>& fresh, const std::string& base,
                                      const std::vector<std::string>& needed) {
    const AggregateTable* best = nullptr;
    for (const AggregateTable& a : fresh) {
        if (upper(a.base) != upper(base)) continue;
        bool all = std::all_of(needed.begin(), needed.end(), [&](const std::string& n) {
            return std::any_of(a.columns.begin(), a.columns.end(), [&](const std::string& c) { return upper(c) == upper(n); });
        });
        if (all && (!best || a.rows < best->rows)) best = &a;
    }
    return best;
}

std::vector<AggregateTable> BuildAggregates(SqlConnection& db, bool postgres, std::optional<int64_t> budget) {
    db.Execute(kCatalogueTables);
    if (postgres) db.Execute(kPostgresChangeFunction);
    Transaction transaction(db);
    for (auto& r : db.Query("SELECT CDTABELAAGR FROM QEL_AGREGADOS").rows)
        if (IsPlainSqlIdentifier(r.at(0))) db.Execute("DROP TABLE IF EXISTS " + r.at(0));
    db.Execute(kRecreateSummaryList);
    db.Execute(postgres ? kPostgresFreshView : kSqliteFreshView);

    std::vector<AggregateTable> built;
    for (const FactTable& t : factTables(db, postgres)) {
        installChangeNumber(db, postgres, t.name);
        const std::string version = db.Query("SELECT NRVERSAO FROM QEL_VERSAODW WHERE CDTABELADW = '" + t.name + "'").rows.at(0).at(0);
        const std::string identity = tableIdentity(db, postgres, t.name);
        std::string counts = "SELECT COUNT(*)";
        for (const std::string& d : t.dims) counts += ", COUNT(DISTINCT " + d + ")";
        const std::vector<std::string> row = db.Query(counts + " FROM " + t.name).rows.at(0);
        const int64_t rows = integer(row.at(0));
        std::vector<int64_t> distinct;
        for (size_t i = 1; i < row.size(); ++i) distinct.push_back(integer(row[i]));
        std::vector<Candidate> subsets = chooseSubsets(distinct, rows, budget.value_or(rows));
        // Widest first, each from the smallest summary already built that holds its columns: a
        // narrow one then reads thousands of rows, not the fact table's millions.
        std::stable_sort(subsets.begin(), subsets.end(), [](const Candidate& a, const Candidate& b) { return a.columns.size() > b.columns.size(); });
        std::vector<std::pair<Candidate, AggregateTable>> done;
        for (const Candidate& c : subsets) {
            const std::pair<Candidate, AggregateTable>* source = nullptr;
            for (const auto& d : done)
                if (covers(d.first.columns, c.columns) && (!source || d.second.rows < source->second.rows)) source = &d;
            std::vector<std::string> columns;
            for (size_t i : c.columns) columns.push_back(t.dims[i]);
            AggregateTable a{"QEL_AGR_" + t.name + "_" + std::to_string(done.size() + 1), t.name, columns, 0};
            std::string select = "SELECT " + joined(columns);
            for (const std::string& m : t.measures) select += ", SUM(" + m + ") AS " + m;
            select += source ? ", SUM(QEL_LINHAS) AS QEL_LINHAS FROM " + source->second.table : ", COUNT(*) AS QEL_LINHAS FROM " + t.name;
            db.Execute("CREATE TABLE " + a.table + " AS " + select + " GROUP BY " + joined(columns));
            if (postgres) db.Execute("ALTER TABLE " + a.table + " ENABLE ROW LEVEL SECURITY");
            a.rows = integer(db.Query("SELECT COUNT(*) FROM " + a.table).rows.at(0).at(0));
            db.Query("INSERT INTO QEL_AGREGADOS (CDTABELAAGR, CDTABELADW, DSCOLUNAS, QTLINHAS, NRVERSAO, DSIDENTIDADE) "
                     "VALUES (:A, :T, :C, :N, :V, :I)",
                     {{"A", a.table}, {"T", t.name}, {"C", joined(columns, ",")}, {"N", std::to_string(a.rows)}, {"V", version}, {"I", identity}});
            done.emplace_back(c, a);
            built.push_back(a);
        }
    }
    if (postgres) db.Execute(kPostgresReaderAccess);
    transaction.Commit();
    return built;
}
