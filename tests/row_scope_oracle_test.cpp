// Row scope against an oracle: for each operator, a second SQLite file holds only the rows that
// operator may see (same tables, same names, the rows derived here from the rule tables, not by the
// server's code), and every statement of a corpus (fixed forms and seeded random compositions) sent
// through getInfo as that operator must answer exactly what the oracle answers, or be refused.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "support/oracle_corpus.hpp"
#include "support/processes.hpp"
#include "support/server_call.hpp"

namespace {

using J = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

struct Answer {
    bool ok = false;
    std::string error;
    std::vector<std::string> columns;
    Rows rows;  // sorted: statements without ORDER BY may come in either order
};

std::string numberText(const std::string& text) {
    // Both sides' numbers written as JSON writes them, so 1.50 and 1.5 compare alike.
    try {
        return J::parse(text).dump();
    } catch (...) {
        return text;
    }
}

class Sqlite {
public:
    explicit Sqlite(const std::string& path) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open " + path);
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(m + " in " + sql);
        }
    }

    Answer Query(const std::string& sql) {
        Answer a;
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, &tail) != SQLITE_OK) {
            a.error = sqlite3_errmsg(db_);
            sqlite3_finalize(st);
            return a;
        }
        int n = sqlite3_column_count(st);
        for (int i = 0; i < n; ++i) a.columns.push_back(sqlite3_column_name(st, i));
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < n; ++i) {
                auto text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                switch (sqlite3_column_type(st, i)) {
                    case SQLITE_NULL: row.push_back("<null>"); break;
                    case SQLITE_INTEGER:
                    case SQLITE_FLOAT: row.push_back(numberText(text)); break;
                    default: row.push_back(text ? text : "");
                }
            }
            a.rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) a.error = sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        a.ok = a.error.empty();
        std::sort(a.rows.begin(), a.rows.end());
        return a;
    }

    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> out;
        for (auto& r : Query(sql).rows) out.push_back(r.at(0));
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string inList(const std::set<std::string>& keys) {
    std::string out;
    for (const std::string& k : keys) out += (out.empty() ? "" : ",") + quoted(k);
    return out.empty() ? "NULL" : out;
}

// Deletes from `path` (a copy of the warehouse) every row `op` may not see, from the rules as the
// README states them: a per-operator allow-list when the operator is in DIMEODWOPER, else the union
// of the operator's groups' lists; a fact table keeps the rows whose restricted columns hold allowed
// keys, a dimension's table its allowed keys, a summary its fact table's rows (none when it lacks a
// restricted column); the rule tables keep the operator's own rows. No operator: none of those rows.
void KeepOnlyRowsOf(const std::string& path, const std::optional<std::string>& op) {
    Sqlite db(path);
    db.Exec("BEGIN");
    std::map<std::string, std::set<std::string>> allowed;  // restricted sequence -> keys
    bool nobody = !op.has_value();
    const std::string me = quoted(op.value_or(""));
    if (!nobody) {
        bool perOperator = !db.Query("SELECT 1 FROM DIMEODWOPER WHERE CDOPERADOR = " + me).rows.empty();
        Rows lists = perOperator ? db.Query("SELECT NRSEQUEDIME, CDFILDIMEOPER FROM FILDIMEOPER WHERE CDOPERADOR = " + me).rows
                                 : db.Query("SELECT F.NRSEQUEDIME, F.CDFILDIMEGRUPOP FROM FILDIMEGRUPOP F JOIN OPERGRUPOP G "
                                            "ON G.CDGRUPOPER = F.CDGRUPOPER WHERE G.CDOPERADOR = " + me).rows;
        for (auto& r : lists) allowed[r[0]].insert(r[1]);
    }
    Rows links = db.Query("SELECT NRSEQUEDIME, CDTABELADW, CDITEMDIME FROM DIMENSAODW").rows;
    Rows dims = db.Query("SELECT NRSEQUEDIME, CDTABELADIME, DSPKDIME FROM DIMENSAODIME WHERE CDTABELADIME <> ''").rows;
    Rows summaries = db.Query("SELECT CDTABELAAGR, CDTABELADW, DSCOLUNAS FROM QEL_AGREGADOS").rows;
    std::set<std::string> emptied;
    auto keep = [&](const std::string& table, const std::string& column, const std::string& seq) {
        if (nobody) return emptied.insert(table), void();
        if (!allowed.count(seq)) return;
        db.Exec("DELETE FROM " + table + " WHERE " + column + " IS NULL OR " + column + " NOT IN (" + inList(allowed[seq]) + ")");
    };
    for (auto& l : links) keep(l[1], l[2], l[0]);
    for (auto& d : dims) keep(d[1], d[2], d[0]);
    for (auto& s : summaries) {
        if (nobody) emptied.insert(s[0]);
        for (auto& l : links) {
            if (l[1] != s[1] || !allowed.count(l[0])) continue;
            std::string columns = "," + s[2] + ",";
            if (columns.find("," + l[2] + ",") != std::string::npos) keep(s[0], l[2], l[0]);
            else emptied.insert(s[0]);
        }
    }
    for (const std::string& t : emptied) db.Exec("DELETE FROM " + t);
    for (const char* t : {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP"}) db.Exec(std::string("DELETE FROM ") + t + " WHERE CDOPERADOR IS NOT " + me);
    db.Exec("DELETE FROM FILDIMEGRUPOP WHERE CDGRUPOPER NOT IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = " + me + ")");
    db.Exec("COMMIT");
}

Answer ViaServer(const std::string& address, const std::optional<std::string>& op, const std::string& sql) {
    auto colon = address.rfind(':');
    httplib::Client c(address.substr(0, colon), std::stoi(address.substr(colon + 1)));
    c.set_read_timeout(60, 0);
    httplib::Headers headers;
    if (op) headers.emplace("X-Qel-Operador", *op);
    auto res = c.Post("/QEL00100.rdmOpcoesDW/getInfo", headers, J{{"args", {sql}}}.dump(), "application/json");
    if (!res) throw std::runtime_error("no answer");
    J body = J::parse(res->body);
    Answer a;
    const J& result = body["result"];
    if (!result.value("ok", false)) {
        a.error = result.value("error", "?");
        return a;
    }
    a.ok = true;
    for (const J& f : result["data"]["fields"]) a.columns.push_back(f["name"]);
    for (const J& r : result["data"]["rows"]) {
        std::vector<std::string> row;
        for (const J& v : r) row.push_back(v.is_null() ? "<null>" : v.is_string() ? v.get<std::string>() : v.dump());
        a.rows.push_back(std::move(row));
    }
    std::sort(a.rows.begin(), a.rows.end());
    return a;
}

std::string Show(const Answer& a) {
    if (!a.ok) return "refused: " + a.error;
    J j = a.rows;
    return std::to_string(a.rows.size()) + " rows " + j.dump().substr(0, 600);
}

// The demo warehouse with more of everything: seeded sales over every branch and product (some keys
// null), other operators' and groups' rules, so that a leak shows as rows the oracle lacks.
std::string Warehouse(unsigned seed) {
    std::string sql;
    for (const char* f : {"catalogue_schema.sql", "access_rules_schema.sql", "operators_schema.sql", "warehouse.sql"})
        sql += ReadFile(std::string(QEL_DEMO_DIR) + "/" + f) + "\n";
    std::mt19937 rng(seed);
    auto pick = [&](std::vector<std::string> v) { return v[rng() % v.size()]; };
    sql += "BEGIN;\n";
    for (int i = 0; i < 1200; ++i) {
        std::string filial = rng() % 40 == 0 ? "NULL" : quoted(pick({"01", "02", "03", "04", "05"}));
        sql += "INSERT INTO FVENDA VALUES (" + quoted(pick({"P01", "P02", "P03", "P04", "P05"})) + "," + quoted(pick({"C01", "C02", "C03"})) + "," +
               filial + "," + quoted(pick({"202601", "202602", "202603"})) + "," + quoted(pick({"V01", "V02"})) + "," +
               quoted(pick({"01", "03"})) + "," + std::to_string(rng() % 400) + ".25," + std::to_string(rng() % 9) + ");\n";
    }
    for (int i = 0; i < 200; ++i)
        sql += "INSERT INTO FESTOQ VALUES (" + quoted(pick({"P01", "P02", "P03"})) + "," + quoted(pick({"01", "02", "03", "04"})) + "," +
               quoted(pick({"202601", "202602"})) + "," + quoted(pick({"F01", "F02", "F03"})) + "," + std::to_string(rng() % 50) + ");\n";
    sql += "INSERT INTO DIMEODWOPER VALUES ('PEDRO');\n"
           "INSERT INTO FILDIMEOPER VALUES ('3', 'PEDRO', '05'), ('1', 'PEDRO', 'P05'), ('3', 'JOAO', '05');\n"
           "INSERT INTO OPERGRUPOP VALUES ('LUCIA', 'NORTE'), ('MARIA', 'SUL');\n"
           "INSERT INTO FILDIMEGRUPOP VALUES ('3', 'NORTE', '02'), ('1', 'NORTE', 'P02');\n"
           "COMMIT;\n";
    return sql;
}

}  // namespace

TEST(RowScopeOracle, EveryStatementAnswersAsTheOperatorsOwnRowsDoOrIsRefused) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (QEL_ORACLE_SEED to repeat)");
    const unsigned used = std::getenv("QEL_ORACLE_SEED") ? static_cast<unsigned>(std::stoul(std::getenv("QEL_ORACLE_SEED"))) : seed;
    std::printf("row scope oracle seed %u\n", used);
    TempDatabase warehouse(Warehouse(used));
    CommandResult built = RunCommand({QEL_BIN_DIR "/qelserver", "--db", warehouse.Path(), "--build-aggregates"});
    ASSERT_EQ(built.status, 0) << built.err;
    Sqlite whole(warehouse.Path());
    const std::vector<std::string> summaries = whole.Column("SELECT CDTABELAAGR FROM QEL_AGREGADOS");
    ASSERT_FALSE(summaries.empty()) << "the warehouse should have summary tables to probe";
    ServerProcess server(warehouse.Path());

    OracleTables tables;
    tables.restricted = {"FVENDA", "FESTOQ", "FDEVOL", "DFILIAL", "DPRODUTO", "DFORNEC"};
    tables.restricted.insert(tables.restricted.end(), summaries.begin(), summaries.end());
    tables.open = {"DCLIENTE", "DPERIODO", "FADMIS", "AREANEGDW", "ITEMDW"};
    tables.rules = {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP", "FILDIMEGRUPOP"};
    for (const auto& group : {tables.restricted, tables.open, tables.rules})
        for (const std::string& t : group) tables.columns[t] = whole.Column("SELECT name FROM pragma_table_info('" + t + "')");
    const std::vector<std::string> corpus = OracleCorpus(tables, used, 260);
    ASSERT_GE(corpus.size(), 300u);

    const std::vector<std::optional<std::string>> operators = {"MARIA", "JOAO", "PEDRO", "ADMIN", std::nullopt};
    for (const auto& op : operators) {
        SCOPED_TRACE("operator " + op.value_or("(none named)"));
        const std::string oraclePath = warehouse.Path() + ".oracle";
        std::filesystem::copy_file(warehouse.Path(), oraclePath, std::filesystem::copy_options::overwrite_existing);
        KeepOnlyRowsOf(oraclePath, op);
        Sqlite oracle(oraclePath);
        // The same names resolve alike on both sides: the server's session shadows the restricted
        // and rule tables in its temporary schema, and so does the oracle's.
        for (const std::string& t : whole.Column("SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'QELOPERADOR'"))
            oracle.Exec("CREATE TEMP VIEW \"" + t + "\" AS SELECT * FROM main.\"" + t + "\"");
        size_t answered = 0, leaks = 0;
        for (const std::string& sql : corpus) {
            Answer ours = ViaServer(server.Address(), op, sql);
            if (!ours.ok) continue;
            ++answered;
            Answer truth = oracle.Query(sql);
            bool same = truth.ok && ours.rows == truth.rows && ours.columns.size() == truth.columns.size();
            if (!same && ++leaks <= 8)
                ADD_FAILURE() << "statement: " << sql << "\n  server: " << Show(ours) << "\n  oracle: " << Show(truth);
        }
        EXPECT_EQ(leaks, 0u);
        // Refusing everything would pass the comparison: the plain reads must be answered.
        std::printf("%s: %zu of %zu statements answered, the rest refused\n", op.value_or("(none named)").c_str(), answered, corpus.size());
        EXPECT_GT(answered, corpus.size() / 3) << "too much refused";
        for (const std::string& sql : {std::string("SELECT CDFILIAL, VLFATURADO FROM FVENDA"), std::string("SELECT * FROM DFILIAL"),
                                       std::string("SELECT * FROM ") + summaries.front(), std::string("SELECT * FROM FILDIMEOPER")}) {
            Answer ours = ViaServer(server.Address(), op, sql), truth = oracle.Query(sql);
            EXPECT_TRUE(ours.ok && ours.rows == truth.rows) << sql << "\n  server: " << Show(ours) << "\n  oracle: " << Show(truth);
        }
        std::filesystem::remove(oraclePath);
    }
}

TEST(RowScopeOracle, TheReservedViewNamesCannotBeSpelledAndRefusalsSpeakPortuguese) {
    TempDatabase warehouse(Warehouse(7));
    ServerProcess server(warehouse.Path());
    for (const std::string& sql : {std::string("WITH qel_escopo_x_FVENDA AS (SELECT * FROM main.FVENDA) SELECT * FROM qel_escopo_x_FVENDA"),
                                   std::string("SELECT * FROM \"QEL_ESCOPO_\"")}) {
        Answer a = ViaServer(server.Address(), std::string("MARIA"), sql);
        EXPECT_FALSE(a.ok) << sql;
        EXPECT_NE(a.error.find("nome reservado"), std::string::npos) << a.error;
    }
    Answer a = ViaServer(server.Address(), std::string("MARIA"), "SELECT VLFATURADO FROM main.FVENDA");
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.error.find("Acesso negado à coluna FVENDA.VLFATURADO"), std::string::npos) << a.error;
}
